#pragma once

#include <QString>

class QWidget;

// Brings a window of ours to the front with the keyboard focus when the user asked for it
// from elsewhere (a second start, a launcher, the tray). Desktops guard the focus against
// programs that grab it on their own; startupId is the launcher's token
// (DESKTOP_STARTUP_ID of the start that asked), empty when there is none.
class WindowActivation {
public:
    virtual ~WindowActivation() = default;
    virtual void activate(QWidget &window, const QString &startupId) = 0;
};

// What Qt does by itself: show, raise, activate.
class QtWindowActivation : public WindowActivation {
public:
    void activate(QWidget &window, const QString &startupId) override;
};
