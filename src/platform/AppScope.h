#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QString>

#include <chrono>
#include <optional>

// The desktop portals name a program that is not sandboxed by its systemd unit: launchers
// start it in a scope "app-[LAUNCHER-]APPID-RANDOM.scope". Started otherwise (a terminal, a
// script), the program has no name there, or its terminal's; it can move itself into such a
// scope, so that the portals (and the shortcuts KDE files under the name) know it.
namespace AppScope {

// The unit this process's cgroup line names (the last path element of the unified "0::"
// hierarchy), or empty.
QString unitOf(const QByteArray &procSelfCgroup);
// The application id a portal reads from that unit name, as xdg-desktop-portal does.
std::optional<QString> appIdOfUnit(const QString &unit);

// Moves this process into "app-APPID-PID.scope" through the systemd user manager on the bus,
// unless its unit already names appId; waits at most `wait` for the move to show. True when
// the process ends up in a unit that names appId. Nothing happens without a user manager.
bool moveInto(QDBusConnection bus, const QString &appId, std::chrono::milliseconds wait);

} // namespace AppScope
