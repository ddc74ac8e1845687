#pragma once

#include <QString>

// Desktop notifications ("toasts"), behind an interface so tests can see what was sent.
class DesktopNotifications {
public:
    virtual ~DesktopNotifications() = default;
    // Returns false when the desktop has no notification service to take it.
    virtual bool notify(const QString &summary, const QString &body) = 0;
};

// org.freedesktop.Notifications on the session bus. The call does not wait for an answer,
// so a stuck notification daemon cannot stop the program.
class FreedesktopNotifications : public DesktopNotifications {
public:
    bool notify(const QString &summary, const QString &body) override;
};
