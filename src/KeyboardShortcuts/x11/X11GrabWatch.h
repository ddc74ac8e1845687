#pragma once

#include "X11HotKeyBackend.h"

#include <QAbstractNativeEventFilter>
#include <QMetaObject>

namespace KeyboardShortcuts {

// A passive grab of another client takes a combination before any window hears it; all the
// focused window gets is a FocusOut of mode Grab. While a recorder records, the Notifier then
// tells it the combination held down, so the user learns that another program has it instead of
// seeing nothing happen.
class X11HotKeyBackend::KeyboardGrabWatch : public QAbstractNativeEventFilter {
public:
    explicit KeyboardGrabWatch(X11HotKeyBackend &backend);
    ~KeyboardGrabWatch() override;
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override;

private:
    X11HotKeyBackend &m_backend;
    bool m_recording = false;
    QMetaObject::Connection m_recordingFollowed;
};

} // namespace KeyboardShortcuts
