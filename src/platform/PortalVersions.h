#pragma once

#include <QDBusConnection>

#include <optional>

// The "version" property of one portal interface; absent where the portal or the interface
// is not there.
std::optional<uint> portalInterfaceVersion(const QDBusConnection &bus, const QString &interface);

// The versions of the desktop portal interfaces that capture needs on Wayland, read from the
// `version` property of each on org.freedesktop.portal.Desktop; absent where the portal (or
// the interface) is not there.
struct PortalVersions {
    std::optional<uint> screenshot;
    std::optional<uint> globalShortcuts;

    static PortalVersions query(const QDBusConnection &bus);
};
