#include "X11HotKeyBackend.h"

#include "X11GrabWatch.h"
#include "X11Keymap.h"

#include "KeyboardShortcuts/KeyCodeMap.h"
#include "KeyboardShortcuts/ModifierFlags.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>

// xkb.h names a struct member "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>

namespace KeyboardShortcuts {

Q_LOGGING_CATEGORY(lcHotKeys, "glyphwell.shortcuts.x11", QtInfoMsg)

X11HotKeyBackend::X11HotKeyBackend(const char *display, QObject *parent, AutoRepeat autoRepeat)
    : QObject(parent)
    , m_connection(connectToDisplay(display))
    , m_heldBeforeGrabCheck(new QTimer(this))
{
    // Shortcut texts follow the layout this server reports changes of.
    useX11Keymap();
    m_heldBeforeGrabCheck->setInterval(50);
    connect(m_heldBeforeGrabCheck, &QTimer::timeout, this, &X11HotKeyBackend::checkKeysHeldBeforeGrab);
    if (!m_connection) {
        qCWarning(lcHotKeys) << "cannot connect to the X server; global hot keys are unavailable";
        return;
    }
    xcb_connection_t *c = m_connection.get();
    const xcb_setup_t *setup = xcb_get_setup(c);
    m_minKeycode = setup->min_keycode;
    m_maxKeycode = setup->max_keycode;
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup); it.rem; xcb_screen_next(&it))
        m_roots.push_back(it.data->root);

    setUpXkb(autoRepeat);
    updateModifierMap();

    if (qobject_cast<QApplication *>(QCoreApplication::instance())
        && QGuiApplication::platformName() == QLatin1String("xcb"))
        m_grabWatch = std::make_unique<KeyboardGrabWatch>(*this);
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &X11HotKeyBackend::readEvents);
    // The set-up round trips may have queued events already; the notifier would not see them.
    scheduleRead();
}

X11HotKeyBackend::~X11HotKeyBackend()
{
    if (!isConnected())
        return;
    for (const HotKey &hotKey : m_hotKeys)
        ungrab(hotKey.keycode, hotKey.modifiers, hotKey.grabbedLockCombinations);
    xcb_flush(m_connection.get());
}

bool X11HotKeyBackend::isConnected() const
{
    return m_connection && !xcb_connection_has_error(m_connection.get());
}

void X11HotKeyBackend::setUpXkb(AutoRepeat autoRepeat)
{
    xcb_connection_t *c = m_connection.get();
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(c, &xcb_xkb_id);
    if (!extension || !extension->present) {
        qCInfo(lcHotKeys) << "no XKB: a held hot key is told from a new press by its time stamps";
        return;
    }
    XcbReply<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
        c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
    if (!use || !use->supported)
        return;
    m_xkbPresent = true;
    m_xkbFirstEvent = extension->first_event;

    // Once a client uses XKB, a new keyboard no longer reaches it as a core MappingNotify,
    // so the changes that move the lock modifiers are asked for here.
    const uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    const uint16_t mapParts = XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP;
    // A switch between the layouts of a us,de keyboard changes only the group: the keys then
    // type other characters, so the shortcut texts follow it. Other state changes (every
    // modifier press) are not asked for.
    xcb_xkb_select_events_details_t details {};
    details.affectState = XCB_XKB_STATE_PART_GROUP_STATE;
    details.stateDetails = XCB_XKB_STATE_PART_GROUP_STATE;
    xcb_xkb_select_events_aux(c, XCB_XKB_ID_USE_CORE_KBD, events | XCB_XKB_EVENT_TYPE_STATE_NOTIFY, 0, events,
        mapParts, mapParts, &details);

    if (autoRepeat == AutoRepeat::asSent)
        return;
    // A held key then comes as repeated presses and one release instead of press/release
    // pairs, which would look like the hot key being let go and pressed again.
    const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    XcbReply<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
        c, xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
    m_detectableAutoRepeat = flags && (flags->value & flag);
    if (!m_detectableAutoRepeat)
        qCInfo(lcHotKeys) << "the server refused detectable auto-repeat";
}

void X11HotKeyBackend::updateModifierMap()
{
    xcb_connection_t *c = m_connection.get();
    const xcb_get_modifier_mapping_cookie_t modifierCookie = xcb_get_modifier_mapping(c);
    const xcb_get_keyboard_mapping_cookie_t keyboardCookie
        = xcb_get_keyboard_mapping(c, m_minKeycode, m_maxKeycode - m_minKeycode + 1);
    XcbReply<xcb_get_modifier_mapping_reply_t> modifiers(
        xcb_get_modifier_mapping_reply(c, modifierCookie, nullptr));
    XcbReply<xcb_get_keyboard_mapping_reply_t> keyboard(
        xcb_get_keyboard_mapping_reply(c, keyboardCookie, nullptr));
    if (!modifiers || !keyboard) {
        qCWarning(lcHotKeys) << "cannot read the keyboard mapping; keeping the modifiers as they were";
        return;
    }

    const X11ModifierMap map = X11ModifierMap::fromMappings(
        { xcb_get_modifier_mapping_keycodes(modifiers.get()),
            size_t(xcb_get_modifier_mapping_keycodes_length(modifiers.get())) },
        modifiers->keycodes_per_modifier,
        { xcb_get_keyboard_mapping_keysyms(keyboard.get()),
            size_t(xcb_get_keyboard_mapping_keysyms_length(keyboard.get())) },
        keyboard->keysyms_per_keycode, m_minKeycode);
    if (map.lockMask != m_modifiers.lockMask)
        qCDebug(lcHotKeys) << "lock modifiers" << Qt::hex << m_modifiers.lockMask << "->" << map.lockMask;
    m_modifiers = map;
}

std::optional<X11HotKeyBackend::XCombination> X11HotKeyBackend::xCombinationFor(
    uint32_t keyCode, uint32_t carbonModifiers) const
{
    if (!isConnected() || (carbonModifiers & CarbonModifier::function))
        return std::nullopt;
    const std::optional<uint32_t> keycode = KeyCodeMap::xKeycodeForKeyCode(keyCode);
    if (!keycode || *keycode < m_minKeycode || *keycode > m_maxKeycode)
        return std::nullopt;
    return XCombination { uint8_t(*keycode), m_modifiers.xModifiersFor(carbonModifiers) };
}

bool X11HotKeyBackend::isOurs(const XCombination &combination) const
{
    return std::any_of(m_hotKeys.begin(), m_hotKeys.end(), [&](const HotKey &hotKey) {
        return hotKey.keycode == combination.keycode && hotKey.modifiers == combination.modifiers;
    });
}

int32_t X11HotKeyBackend::grab(uint8_t keycode, uint16_t modifiers, std::vector<uint16_t> &grabbed)
{
    xcb_connection_t *c = m_connection.get();
    const std::vector<uint16_t> combinations = m_modifiers.lockCombinations();
    std::vector<xcb_void_cookie_t> cookies;
    for (const uint32_t root : m_roots) {
        for (const uint16_t locks : combinations) {
            cookies.push_back(xcb_grab_key_checked(
                c, 1, root, modifiers | locks, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    int32_t status = 0;
    // Every cookie is checked, also after a refusal, so that no error is left behind.
    for (const xcb_void_cookie_t cookie : cookies) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
        if (error && status == 0) {
            qCDebug(lcHotKeys) << "grab of keycode" << keycode << "modifiers" << Qt::hex << modifiers
                               << "refused with error" << Qt::dec << error->error_code;
            status = error->error_code == XCB_ACCESS ? hotKeyExistsStatus : hotKeyInvalidStatus;
        }
    }
    grabbed = combinations;
    scheduleRead();
    return status;
}

void X11HotKeyBackend::ungrab(uint8_t keycode, uint16_t modifiers, const std::vector<uint16_t> &combinations)
{
    // Releasing a combination that someone else holds does nothing to theirs.
    for (const uint32_t root : m_roots) {
        for (const uint16_t locks : combinations)
            xcb_ungrab_key(m_connection.get(), keycode, root, modifiers | locks);
    }
}

int32_t X11HotKeyBackend::registerHotKey(
    uint32_t keyCode, uint32_t carbonModifiers, uint32_t signature, uint32_t id, Reference &reference)
{
    const std::optional<XCombination> combination = xCombinationFor(keyCode, carbonModifiers);
    if (!combination)
        return hotKeyInvalidStatus;
    const auto [keycode, modifiers] = *combination;
    // The server would let us grab it twice, and the first unregistration would then take
    // the grab from the other one.
    if (isOurs(*combination))
        return hotKeyExistsStatus;

    HotKey hotKey;
    hotKey.keycode = keycode;
    hotKey.carbonModifiers = carbonModifiers;
    hotKey.modifiers = modifiers;
    hotKey.signature = signature;
    hotKey.id = id;
    const int32_t status = grab(hotKey.keycode, modifiers, hotKey.grabbedLockCombinations);
    if (status != 0) {
        ungrab(hotKey.keycode, modifiers, hotKey.grabbedLockCombinations);
        xcb_flush(m_connection.get());
        return status;
    }
    hotKey.reference = m_nextReference++;
    reference = hotKey.reference;
    // The key may still be down from being recorded: the server's next repeat would then
    // activate the new grab and look like a press.
    if (isKeyDown(keycode)) {
        m_active.push_back({ keycode, hotKey.reference, true });
        if (!m_heldBeforeGrabCheck->isActive())
            m_heldBeforeGrabCheck->start();
    }
    m_hotKeys.push_back(std::move(hotKey));
    return 0;
}

bool X11HotKeyBackend::isKeyDown(uint8_t keycode)
{
    xcb_connection_t *c = m_connection.get();
    XcbReply<xcb_query_keymap_reply_t> keymap(xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
    return keymap && (keymap->keys[keycode / 8] & (1u << (keycode % 8)));
}

void X11HotKeyBackend::checkKeysHeldBeforeGrab()
{
    if (isConnected()) {
        std::erase_if(m_active,
            [&](const ActiveKey &active) { return active.heldBeforeGrab && !isKeyDown(active.keycode); });
    } else {
        m_active.clear();
    }
    if (std::none_of(
            m_active.begin(), m_active.end(), [](const ActiveKey &active) { return active.heldBeforeGrab; }))
        m_heldBeforeGrabCheck->stop();
}

void X11HotKeyBackend::unregisterHotKey(Reference reference)
{
    const auto it = std::find_if(m_hotKeys.begin(), m_hotKeys.end(),
        [&](const HotKey &hotKey) { return hotKey.reference == reference; });
    if (it == m_hotKeys.end())
        return;
    if (isConnected()) {
        ungrab(it->keycode, it->modifiers, it->grabbedLockCombinations);
        xcb_flush(m_connection.get());
    }
    m_hotKeys.erase(it);
    std::erase_if(m_active, [&](const ActiveKey &active) { return active.reference == reference; });
}

bool X11HotKeyBackend::installEventHandler(std::function<int32_t(const HotKeyEvent &)> handler)
{
    if (!isConnected())
        return false;
    m_handler = std::move(handler);
    return true;
}

void X11HotKeyBackend::setHotKeyEventsEnabled(bool enabled)
{
    m_eventsEnabled = enabled;
}

bool X11HotKeyBackend::isHeldByAnotherProgram(uint32_t keyCode, uint32_t carbonModifiers)
{
    const std::optional<XCombination> combination = xCombinationFor(keyCode, carbonModifiers);
    if (!combination || isOurs(*combination))
        return false;
    const auto [keycode, modifiers] = *combination;
    std::vector<uint16_t> grabbed;
    const int32_t status = grab(keycode, modifiers, grabbed);
    // Released at once, granted or not: releasing what another client holds leaves it theirs.
    ungrab(keycode, modifiers, grabbed);
    xcb_flush(m_connection.get());
    return status == hotKeyExistsStatus;
}

void X11HotKeyBackend::regrabAll()
{
    for (HotKey &hotKey : m_hotKeys) {
        ungrab(hotKey.keycode, hotKey.modifiers, hotKey.grabbedLockCombinations);
        hotKey.modifiers = m_modifiers.xModifiersFor(hotKey.carbonModifiers);
        // Kept even when a new lock combination is refused: the others still work, and
        // releasing one we do not hold is harmless.
        const int32_t status = grab(hotKey.keycode, hotKey.modifiers, hotKey.grabbedLockCombinations);
        if (status != 0) {
            qCWarning(lcHotKeys) << "after a keyboard mapping change, keycode" << hotKey.keycode
                                 << "modifiers" << Qt::hex << hotKey.modifiers
                                 << "is partly held by another client";
        }
    }
}

} // namespace KeyboardShortcuts
