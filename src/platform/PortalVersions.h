#pragma once

#include <QDBusConnection>

#include <chrono>
#include <optional>

// How long to wait for the portal: a first answer, and then, when it stayed silent, the time a
// busy one may need before it counts as absent.
struct PortalPatience {
    std::chrono::milliseconds first { 5000 };
    std::chrono::milliseconds busy { 12000 };
};

// The "version" property of one portal interface; absent where the portal or the interface
// is not there, or where it stays silent for all of the patience.
std::optional<uint> portalInterfaceVersion(
    const QDBusConnection &bus, const QString &interface, PortalPatience patience = {});

// The versions of the desktop portal interfaces that capture needs on Wayland, read from the
// `version` property of each on org.freedesktop.portal.Desktop; absent where the portal (or
// the interface) is not there.
struct PortalVersions {
    std::optional<uint> screenshot;
    std::optional<uint> globalShortcuts;

    static PortalVersions query(const QDBusConnection &bus);
};
