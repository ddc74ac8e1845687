#include "PlatformLoader.h"

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/NullHotKeyBackend.h"
#include "KeyboardShortcuts/portal/PortalHotKeyBackend.h"
#include "KeyboardShortcuts/x11/X11HotKeyBackend.h"
#include "KeyboardShortcuts/x11/X11Keymap.h"
#include "app/AppShortcutNames.h"
#include "capture/NullPlatform.h"
#include "capture/RegionCaptureOverlayController.h"
#include "capture/ScreenList.h"
#include "capture/portal/PortalScreenshot.h"
#include "capture/x11/X11ScreenAccess.h"
#include "capture/x11/X11ScreenGrabber.h"
#include "platform/DesktopBinding.h"
#include "platform/QtDialogs.h"
#include "platform/QtPasteboard.h"
#include "platform/x11/X11WindowActivation.h"
#include "platform/x11/XcbPointers.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtGlobal>

#include <cstdio>

Platform::Platform() = default;
Platform::Platform(Platform &&) noexcept = default;
Platform::~Platform() = default;

SessionEnvironment SessionEnvironment::current()
{
    return { qEnvironmentVariable("GLYPHWELL_PLATFORM"), qEnvironmentVariable("XDG_SESSION_TYPE"),
        qEnvironmentVariable("WAYLAND_DISPLAY"), qEnvironmentVariable("DISPLAY") };
}

QString detectPlatform(const SessionEnvironment &environment)
{
    const QString forced = environment.forced.trimmed().toLower();
    if (forced == QLatin1String("x11") || forced == QLatin1String("wayland")
        || forced == QLatin1String("null"))
        return forced;
    const QString session = environment.sessionType.trimmed().toLower();
    if (session == QLatin1String("wayland") || session == QLatin1String("x11"))
        return session;
    if (!environment.waylandDisplay.isEmpty())
        return QStringLiteral("wayland");
    if (!environment.x11Display.isEmpty())
        return QStringLiteral("x11");
    return QStringLiteral("null");
}

namespace {

void useNullCapture(Platform &platform, const QString &reason)
{
    platform.unavailableReason = reason;
    platform.screenAccess = std::make_unique<NullScreenAccess>();
    platform.screenGrabber = std::make_unique<NullScreenGrabber>();
    platform.regionSelector = std::make_unique<NullRegionSelector>();
}

// The program's three slots as the desktop is to list them, read when a bind happens.
std::vector<KeyboardShortcuts::PortalShortcutSlot> programShortcutSlots()
{
    using namespace KeyboardShortcuts;
    std::vector<PortalShortcutSlot> slots;
    const std::pair<const Name *, QString> names[] = {
        { &AppShortcutNames::captureText(), QStringLiteral("Capture Text") },
        { &AppShortcutNames::captureWithoutLineBreaks(), QStringLiteral("Capture Without Line Breaks") },
        { &AppShortcutNames::captureLastSelection(), QStringLiteral("Capture Last Selection") },
    };
    for (const auto &[name, description] : names)
        slots.push_back(PortalShortcutSlot { name->rawValue(), description, getShortcut(*name) });
    return slots;
}

// A portal that answers is not yet one that binds (a back-end of another desktop may answer
// and refuse everything): what the bind gave decides, and is said, and kept for --doctor.
void followPortalBinding(KeyboardShortcuts::PortalHotKeyBackend &backend)
{
    using BindState = KeyboardShortcuts::PortalHotKeyBackend::BindState;
    QObject::connect(
        &backend, &KeyboardShortcuts::PortalHotKeyBackend::bindingFinished, &backend, [&backend] {
            const bool bound = backend.bindState() == BindState::bound;
            QStringList record;
            if (bound) {
                record << QStringLiteral("bound");
                for (const auto &[slot, trigger] : backend.triggerDescriptions())
                    record << slot + QLatin1Char('=') + trigger;
            } else {
                record << QStringLiteral("not bound") << backend.bindProblem();
            }
            writeShortcutBindingRecord(record.join(QLatin1Char('\n')));
            PlatformMethods methods = platformMethods();
            const QString wanted
                = bound ? QStringLiteral("portal shortcuts") : QStringLiteral("desktop binding");
            if (methods.shortcuts == wanted || methods.capture.isEmpty())
                return;
            methods.shortcuts = wanted;
            setPlatformMethods(methods);
            std::printf("glyphwell: shortcuts: %s%s\n", qPrintable(wanted),
                bound ? ""
                      : qPrintable(
                          QStringLiteral(" (%1). %2")
                              .arg(backend.bindProblem(), desktopBindingHint(currentDesktopFamily()))));
            std::fflush(stdout);
        });
}

void loadWayland(Platform &platform)
{
    auto portal = std::make_shared<PortalScreenshot>();
    platform.portal = portal;
    platform.methods.capture = QStringLiteral("portal screenshot");
    platform.screenAccess = std::make_unique<PortalScreenAccess>(*portal);
    platform.screenList = std::make_unique<WaylandScreenList>();
    auto grabber = std::make_unique<PortalScreenGrabber>(*portal, *platform.screenList);
    platform.regionSelector = std::make_unique<RegionCaptureOverlayController>(
        *grabber, *platform.screenList, RegionCaptureOverlay::Placement::fullScreen);
    platform.screenGrabber = std::move(grabber);
    platform.windowActivation = std::make_unique<WaylandWindowActivation>();
    if (portal->version() == 0) {
        platform.unavailableReason = QStringLiteral(
            "this Wayland desktop offers no screenshot portal (org.freedesktop.portal.Screenshot); install "
            "xdg-desktop-portal with the back-end of your desktop (xdg-desktop-portal-gnome, -kde or -wlr).");
    }
    if (KeyboardShortcuts::PortalHotKeyBackend::portalVersion() > 0) {
        auto portalShortcuts = std::make_unique<KeyboardShortcuts::PortalHotKeyBackend>(programShortcutSlots);
        followPortalBinding(*portalShortcuts);
        platform.hotKeys = std::move(portalShortcuts);
        platform.methods.shortcuts = QStringLiteral("portal shortcuts");
    } else {
        platform.methods.shortcuts = QStringLiteral("desktop binding");
        platform.shortcutNotice = QStringLiteral("this desktop offers no global shortcuts to programs (no "
                                                 "org.freedesktop.portal.GlobalShortcuts). ")
            + desktopBindingHint(currentDesktopFamily());
    }
}

} // namespace

Platform loadPlatform(const QString &name)
{
    Platform platform;
    platform.name = name;
    // On Wayland too: XWayland's keymap is the desktop's layout, which the XKB environment
    // does not know.
    KeyboardShortcuts::useX11Keymap();
    platform.pasteboard = std::make_unique<QtPasteboard>();
    platform.dialogs = std::make_unique<QtDialogs>();

    if (name == QLatin1String("x11")) {
        platform.screenAccess = std::make_unique<X11ScreenAccess>();
        platform.screenList = std::make_unique<QtScreenList>();
        auto grabber = std::make_unique<X11ScreenGrabber>(*platform.screenList);
        platform.regionSelector
            = std::make_unique<RegionCaptureOverlayController>(*grabber, *platform.screenList);
        platform.screenGrabber = std::move(grabber);
        platform.hotKeys = std::make_unique<KeyboardShortcuts::X11HotKeyBackend>();
        platform.windowActivation = std::make_unique<X11WindowActivation>();
        platform.methods.capture = QStringLiteral("X11 grab");
        platform.methods.shortcuts = QStringLiteral("X11 grab");
    } else if (name == QLatin1String("wayland")) {
        loadWayland(platform);
    } else {
        useNullCapture(platform, QStringLiteral("No display was found to capture."));
    }
    if (!platform.windowActivation)
        platform.windowActivation = std::make_unique<QtWindowActivation>();
    if (!platform.hotKeys)
        platform.hotKeys = std::make_unique<KeyboardShortcuts::NullHotKeyBackend>();
    return platform;
}

QString shortcutBindingRecordPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/glyphwell-shortcut-binding");
}

void writeShortcutBindingRecord(const QString &record)
{
    QSaveFile file(shortcutBindingRecordPath());
    if (file.open(QIODevice::WriteOnly)) {
        file.write(record.toUtf8() + '\n');
        file.commit();
    }
}

QString displayProblem(const SessionEnvironment &environment)
{
    if (environment.x11Display.isEmpty() && environment.waylandDisplay.isEmpty())
        return QStringLiteral("no graphical session was found: neither DISPLAY nor WAYLAND_DISPLAY is set.");
    if (detectPlatform(environment) == QLatin1String("x11") && !environment.x11Display.isEmpty()) {
        const QByteArray display = environment.x11Display.toLocal8Bit();
        if (!connectToDisplay(display.constData()))
            return QStringLiteral("cannot connect to the X display \"%1\".").arg(environment.x11Display);
    }
    return {};
}
