#pragma once

#include <QString>

#include <functional>

// The guidance shown when screen access is missing, and the way to the desktop's settings.
class PermissionService {
public:
    struct Environment {
        QString applicationPath; // where the program runs from ($APPIMAGE when set)
        QString displayName; // empty means unset
        // Opens the desktop's privacy or screenshot settings; returns false when nothing opened.
        std::function<bool()> openSettings;
    };

    // Reads the running program's path, display name and desktop.
    static Environment currentEnvironment();

    explicit PermissionService(Environment environment = currentEnvironment());

    void openScreenRecordingSettings() const;
    QString screenRecordingGuidanceMessage() const;
    bool isTranslocatedOrOnMountedVolume() const;

private:
    Environment m_environment;
};
