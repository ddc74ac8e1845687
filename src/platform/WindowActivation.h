#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

// Brings a window of ours to the front with the keyboard focus when the user asked for it
// from elsewhere (a second start, a launcher, the tray). Desktops guard the focus against
// programs that grab it on their own; startupId is the launcher's token (DESKTOP_STARTUP_ID
// on X11, XDG_ACTIVATION_TOKEN on Wayland, of the start that asked), empty when there is none.
class WindowActivation {
public:
    virtual ~WindowActivation() = default;
    virtual void activate(QWidget &window, const QString &startupId) = 0;
    // A window of ours is about to ask for the focus by itself (the capture overlay) because
    // the launch with this token asked for it. Nothing to do where the overlay takes the
    // keyboard without asking (X11).
    virtual void expectActivation(const QString &startupId) { Q_UNUSED(startupId); }
};

// What Qt does by itself: show, raise, activate.
class QtWindowActivation : public WindowActivation {
public:
    void activate(QWidget &window, const QString &startupId) override;
};

// Wayland: the compositor gives the focus to a window that shows a launch's activation token.
// Qt's Wayland plugin sends the token in XDG_ACTIVATION_TOKEN with the next activation request
// and then forgets it, so the token is put there just before. One handed over earlier that no
// window used (a capture that ended before its overlay) is taken back, so that a later
// activation asks the desktop for a fresh token instead of showing a stale one.
class WaylandWindowActivation : public QtWindowActivation {
public:
    void activate(QWidget &window, const QString &startupId) override;
    void expectActivation(const QString &startupId) override;

private:
    QByteArray m_handedOver;
};
