#include "PermissionService.h"

#include "platform/RunningProgram.h"

#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>

namespace {

bool startSettingsProgram(const QString &program, const QStringList &arguments)
{
    const QString executable = QStandardPaths::findExecutable(program);
    if (executable.isEmpty())
        return false;
    return QProcess::startDetached(executable, arguments);
}

bool desktopIs(const QStringList &desktops, const char *name)
{
    return desktops.contains(QLatin1String(name), Qt::CaseInsensitive);
}

std::function<bool()> settingsOpenerForDesktop()
{
    // XDG_CURRENT_DESKTOP is a colon-separated list, e.g. "ubuntu:GNOME".
    const QStringList desktops
        = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (desktopIs(desktops, "GNOME")) {
        return [] {
            return startSettingsProgram(
                QStringLiteral("gnome-control-center"), { QStringLiteral("privacy") });
        };
    }
    if (desktopIs(desktops, "KDE")) {
        // Plasma has no screen-capture permission page for programs outside a sandbox, and the
        // module names of its permission pages differ between releases. The overview of
        // System Settings (same program name on Plasma 5 and 6) is the page that always exists.
        return [] { return startSettingsProgram(QStringLiteral("systemsettings"), {}); };
    }
    return [] { return false; };
}

} // namespace

PermissionService::Environment PermissionService::currentEnvironment()
{
    Environment environment;
    environment.applicationPath = runningProgramPath();
    environment.displayName = QGuiApplication::applicationDisplayName();
    environment.openSettings = settingsOpenerForDesktop();
    return environment;
}

PermissionService::PermissionService(Environment environment)
    : m_environment(std::move(environment))
{ }

void PermissionService::openScreenRecordingSettings() const
{
    // The guidance text already tells the way, so a desktop without a settings page is fine.
    if (m_environment.openSettings)
        m_environment.openSettings();
}

QString PermissionService::screenRecordingGuidanceMessage() const
{
    const QString name
        = m_environment.displayName.isEmpty() ? QStringLiteral("Glyphwell") : m_environment.displayName;
    QString message = QStringLiteral("Enable Screen Recording for ") + name
        + QStringLiteral(
            " in System Settings > Privacy & Security > Screen Recording, then quit and reopen the app.");
    if (isTranslocatedOrOnMountedVolume()) {
        message += QStringLiteral(
            " If this keeps repeating, move the app to /Applications and open it from there "
            "before granting permission again.");
    }
    return message;
}

bool PermissionService::isTranslocatedOrOnMountedVolume() const
{
    const QString &path = m_environment.applicationPath;
    return path.contains(QLatin1String("/AppTranslocation/")) || path.startsWith(QLatin1String("/Volumes/"));
}
