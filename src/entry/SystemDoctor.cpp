#include "SystemDoctor.h"

#include "KeyboardShortcuts/Name.h"
#include "KeyboardShortcuts/Shortcut.h"
#include "KeyboardShortcuts/x11/X11HotKeyBackend.h"
#include "PlatformLoader.h"
#include "app/AppShortcutNames.h"
#include "app/CaptureHistory.h"
#include "app/OCRLanguageOption.h"
#include "capture/TessdataLocation.h"
#include "platform/AtomicFile.h"
#include "platform/SingleInstance.h"
#include "platform/StandardUserDefaults.h"
#include "platform/UserDefaults.h"
#include "platform/portal/PortalReplies.h"
#include "platform/portal/PortalRequest.h"
#include "platform/x11/XcbPointers.h"

#include <QCoro/QCoroTask>
#include <QDBusObjectPath>

#include <QDBusConnectionInterface>
#include <QDBusInterface>

namespace {

QString describeSession(const SessionEnvironment &environment)
{
    QStringList parts;
    parts.append(environment.sessionType.isEmpty()
            ? QStringLiteral("XDG_SESSION_TYPE unset")
            : QStringLiteral("XDG_SESSION_TYPE=") + environment.sessionType);
    if (!environment.x11Display.isEmpty())
        parts.append(QStringLiteral("DISPLAY=") + environment.x11Display);
    if (!environment.waylandDisplay.isEmpty())
        parts.append(QStringLiteral("WAYLAND_DISPLAY=") + environment.waylandDisplay);
    if (!environment.forced.isEmpty())
        parts.append(QStringLiteral("GLYPHWELL_PLATFORM=") + environment.forced);
    return parts.join(QStringLiteral(", "));
}

bool selectionHasOwner(xcb_connection_t *connection, const QByteArray &name)
{
    XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()), nullptr));
    if (!atom)
        return false;
    XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr));
    return owner && owner->owner != XCB_NONE;
}

bool statusNotifierHostRunning(const QDBusConnection &bus)
{
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcher))
        return false;
    QDBusInterface properties(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return properties.property("IsStatusNotifierHostRegistered").toBool();
}

// The stored shortcut of a slot, read without making the slot (which would store defaults).
std::optional<KeyboardShortcuts::Shortcut> storedShortcut(const QString &name, bool hasDefault)
{
    UserDefaults &defaults = standardUserDefaults();
    const QString key = QLatin1StringView(KeyboardShortcuts::storageKeyPrefix) + name;
    if (!defaults.objectForKey(key))
        return hasDefault ? std::optional(KeyboardShortcuts::AppShortcutNames::captureTextDefault())
                          : std::nullopt;
    const std::optional<QString> text = defaults.stringForKey(key);
    return text ? KeyboardShortcuts::Shortcut::fromJson(text->toUtf8()) : std::nullopt;
}

void gatherX11(DoctorFindings &findings, const QDBusConnection &bus)
{
    int screen = 0;
    XcbConnection connection = connectToDisplay(nullptr, &screen);
    if (!connection)
        return; // the session line already says the display cannot be reached
    if (statusNotifierHostRunning(bus))
        findings.trayHost = QStringLiteral("StatusNotifierWatcher with a host");
    else if (selectionHasOwner(connection.get(), "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen)))
        findings.trayHost = QStringLiteral("XEmbed tray");
    findings.clipboardManager = selectionHasOwner(connection.get(), "CLIPBOARD_MANAGER");

    const bool glyphwellRunning
        = bus.isConnected() && bus.interface()->isServiceRegistered(SingleInstance::serviceName);
    KeyboardShortcuts::X11HotKeyBackend hotKeys;
    const struct {
        const char *name;
        const char *action;
        bool hasDefault;
    } slots[] = { { "captureText", "Capture Text", true },
        { "captureWithoutLineBreaks", "Capture Without Line Breaks", false },
        { "captureLastSelection", "Capture Last Selection", false } };
    using State = DoctorFindings::HotKey::State;
    for (const auto &slot : slots) {
        DoctorFindings::HotKey hotKey { QString::fromLatin1(slot.action), std::nullopt, State::grabbable };
        if (const auto shortcut = storedShortcut(QString::fromLatin1(slot.name), slot.hasDefault)) {
            hotKey.combination = shortcut->displayText();
            if (shortcut->modifiers().contains(KeyboardShortcuts::ModifierFlags::function))
                hotKey.state = State::notExpressible;
            else if (hotKeys.isHeldByAnotherProgram(
                         uint32_t(shortcut->carbonKeyCode), uint32_t(shortcut->carbonModifiers)))
                // The running Glyphwell holds its own shortcuts; X does not say who holds a grab.
                hotKey.state = glyphwellRunning ? State::heldByRunningGlyphwell : State::heldByAnotherClient;
        }
        findings.hotKeys.push_back(std::move(hotKey));
    }
}

// The running Glyphwell's last bind when it has one; otherwise whether the portal opens a
// session at all (a trial with no shortcuts in it, so the desktop lists nothing new).
DoctorFindings::ShortcutBinding shortcutBinding(const QDBusConnection &bus)
{
    using State = DoctorFindings::ShortcutBinding::State;
    // A few lines; read as the history is, so that nothing in its place can hang the doctor.
    const FileContent record = bus.interface()->isServiceRegistered(SingleInstance::serviceName)
        ? readRegularFile(shortcutBindingRecordPath(), 64 * 1024)
        : FileContent {};
    if (record.read) {
        QStringList lines = QString::fromUtf8(record.data).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QString state = lines.isEmpty() ? QString() : lines.takeFirst();
        if (state == QLatin1String("bound"))
            return { State::bound, lines.join(QStringLiteral(", ")) };
        if (state == QLatin1String("not bound"))
            return { State::notBound, lines.join(QStringLiteral(" ")) };
    }
    QDBusMessage create = QDBusMessage::createMethodCall(Portal::service, Portal::path,
        QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QStringLiteral("CreateSession"));
    create << QVariantMap { { QStringLiteral("session_handle_token"), newPortalToken() } };
    const PortalResponse created = QCoro::waitFor(callPortalRequest(bus, create, std::chrono::seconds(10)));
    const QString session = portalObjectPath(created.results.value(QStringLiteral("session_handle")));
    if (!created.succeeded())
        return { State::sessionRefused, {} };
    if (!session.isEmpty())
        bus.call(QDBusMessage::createMethodCall(
            Portal::service, session, Portal::sessionInterface, QStringLiteral("Close")));
    return { State::sessionOpens, {} };
}

} // namespace

DoctorFindings gatherDoctorFindings()
{
    DoctorFindings findings;
    const SessionEnvironment environment = SessionEnvironment::current();
    findings.sessionType = describeSession(environment);
    findings.platform = detectPlatform(environment);
    findings.platformProblem = displayProblem(environment);
    if (findings.platformProblem.isEmpty() && findings.platform == QLatin1String("null"))
        findings.platformProblem = QStringLiteral("the null platform captures nothing");
    const QDBusConnection bus = QDBusConnection::sessionBus();

    if (findings.platformProblem.isEmpty() && findings.platform == QLatin1String("x11"))
        gatherX11(findings, bus);
    else if (findings.platformProblem.isEmpty() && findings.platform == QLatin1String("wayland")) {
        findings.portals = PortalVersions::query(bus);
        if (findings.portals->globalShortcuts)
            findings.shortcutBinding = shortcutBinding(bus);
        if (statusNotifierHostRunning(bus))
            findings.trayHost = QStringLiteral("StatusNotifierWatcher with a host");
    }

    findings.dataDirectory = TessdataLocation::systemDirectory();
    findings.selectedLanguage = OCRLanguageOption::automaticIdentifier;
    // Never opened as it is: a FIFO there would hang the doctor, a device never end.
    const QString historyPath = historyFilePath();
    const FileContent history = readRegularFile(historyPath, maximumHistoryFileBytes);
    if (history.read) {
        if (const auto state = decodePersistedState(history.data))
            findings.selectedLanguage = state->selectedLanguageIdentifier;
    } else if (history.exists) {
        findings.historyProblem = historyPath + QStringLiteral(": ") + history.error;
    }
    return findings;
}
