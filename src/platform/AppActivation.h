#pragma once

#include <QObject>

// Tells when the application becomes the active one. The Qt back-end forwards
// QGuiApplication::applicationStateChanged; tests emit the signals themselves.
class AppActivation : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Connects to QGuiApplication; call once, where a QGuiApplication exists.
    void followApplicationState();

Q_SIGNALS:
    void willBecomeActive();
    void didBecomeActive();
};
