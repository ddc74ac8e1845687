#pragma once

#include <QObject>

class LoginItem;
class UserDefaults;

// The user's settings. The clipboard settings live in the user defaults and are read by the
// capture workflow at the moment of use; every assignment is written at once. Starting at
// login is not stored here: it is the desktop's autostart entry, read at start.
class Preferences : public QObject {
    Q_OBJECT
public:
    Preferences(UserDefaults &defaults, LoginItem &loginItem, QObject *parent = nullptr);

    // The process-wide instance over the standard user defaults and the autostart entry,
    // made on first use.
    static Preferences &shared();

    bool autoCopy() const { return m_autoCopy; }
    void setAutoCopy(bool value);
    bool additiveClipboard() const { return m_additiveClipboard; }
    void setAdditiveClipboard(bool value);
    bool launchAtLogin() const { return m_launchAtLogin; }
    // Registers or unregisters at once; when the desktop refuses, the value springs back to
    // what the desktop actually has, without a message.
    void setLaunchAtLogin(bool value);

Q_SIGNALS:
    // Sent before a field changes.
    void objectWillChange();

private:
    UserDefaults &m_defaults;
    LoginItem &m_loginItem;
    bool m_autoCopy;
    bool m_additiveClipboard;
    bool m_launchAtLogin;
};
