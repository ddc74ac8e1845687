#include "KeyboardLayout.h"

#include "KeyboardShortcuts/KeyCodeMap.h"
#include "KeyboardShortcuts/KeySymbols.h"

#include <QList>
#include <QtGlobal>

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include <linux/input-event-codes.h>

#include <algorithm>
#include <memory>

namespace KeyboardShortcuts {

namespace {

struct ContextDeleter {
    void operator()(xkb_context *context) const { xkb_context_unref(context); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap *keymap) const { xkb_keymap_unref(keymap); }
};
struct StateDeleter {
    void operator()(xkb_state *state) const { xkb_state_unref(state); }
};
using ContextPtr = std::unique_ptr<xkb_context, ContextDeleter>;
using KeymapPtr = std::unique_ptr<xkb_keymap, KeymapDeleter>;
using StatePtr = std::unique_ptr<xkb_state, StateDeleter>;

struct Layout {
    ContextPtr context;
    KeymapPtr keymap;
    // Level 0 of the chosen layout group, no modifiers held.
    StatePtr state;
};

struct Cache {
    KeyboardLayoutSource source = KeyboardLayoutSource::automatic;
    DisplayKeymapReader displayKeymap = nullptr;
    bool loaded = false;
    std::optional<Layout> layout;
};

Cache &cache()
{
    static Cache instance;
    return instance;
}

// A layout group types Latin letters when the A key gives 'a' or 'A' on its first level.
bool isAsciiCapable(xkb_keymap *keymap, xkb_layout_index_t group)
{
    const xkb_keysym_t *symbols = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap, KEY_A + 8, group, 0, &symbols);
    for (int i = 0; i < count; ++i) {
        if ((symbols[i] >= XKB_KEY_a && symbols[i] <= XKB_KEY_z)
            || (symbols[i] >= XKB_KEY_A && symbols[i] <= XKB_KEY_Z))
            return true;
    }
    return false;
}

// Shortcuts name Latin keys, so a Cyrillic or Greek group in use gives way to the first group
// that has Latin letters, as long as there is one.
xkb_layout_index_t asciiCapableGroup(xkb_keymap *keymap, xkb_layout_index_t current)
{
    const xkb_layout_index_t groups = xkb_keymap_num_layouts(keymap);
    if (current >= groups)
        current = 0;
    if (isAsciiCapable(keymap, current))
        return current;
    for (xkb_layout_index_t group = 0; group < groups; ++group) {
        if (isAsciiCapable(keymap, group))
            return group;
    }
    return current;
}

std::optional<Layout> loadLayout(KeyboardLayoutSource source);

// A dead key types nothing by itself; people know it by the accent it puts on the next letter.
std::optional<QString> spacingAccent(xkb_keysym_t keysym)
{
    static constexpr std::pair<xkb_keysym_t, char16_t> accents[] = {
        { XKB_KEY_dead_grave, u'`' },
        { XKB_KEY_dead_acute, u'\u00B4' },
        { XKB_KEY_dead_circumflex, u'^' },
        { XKB_KEY_dead_tilde, u'~' },
        { XKB_KEY_dead_macron, u'\u00AF' },
        { XKB_KEY_dead_breve, u'\u02D8' },
        { XKB_KEY_dead_abovedot, u'\u02D9' },
        { XKB_KEY_dead_diaeresis, u'\u00A8' },
        { XKB_KEY_dead_abovering, u'\u02DA' },
        { XKB_KEY_dead_doubleacute, u'\u02DD' },
        { XKB_KEY_dead_caron, u'\u02C7' },
        { XKB_KEY_dead_cedilla, u'\u00B8' },
        { XKB_KEY_dead_ogonek, u'\u02DB' },
    };
    for (const auto &[dead, accent] : accents) {
        if (dead == keysym)
            return QString(QChar(accent));
    }
    return std::nullopt;
}

const Layout *currentLayout()
{
    Cache &c = cache();
    if (!c.loaded) {
        c.layout = loadLayout(c.source);
        c.loaded = true;
    }
    return c.layout ? &*c.layout : nullptr;
}

std::optional<Layout> loadLayout(KeyboardLayoutSource source)
{
    ContextPtr context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context)
        return std::nullopt;
    KeymapPtr keymap;
    xkb_layout_index_t group = 0;
    if (source == KeyboardLayoutSource::automatic && cache().displayKeymap)
        keymap.reset(cache().displayKeymap(context.get(), group));
    if (!keymap) {
        // With no names given, xkbcommon takes them from XKB_DEFAULT_* or its built-in default.
        keymap.reset(xkb_keymap_new_from_names(context.get(), nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
    }
    if (!keymap)
        return std::nullopt;
    StatePtr state(xkb_state_new(keymap.get()));
    if (!state)
        return std::nullopt;
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, asciiCapableGroup(keymap.get(), group));
    return Layout { std::move(context), std::move(keymap), std::move(state) };
}

} // namespace

void refreshKeyboardLayout(KeyboardLayoutSource source)
{
    Cache &c = cache();
    c.layout.reset();
    c.loaded = false;
    c.source = source;
}

void setDisplayKeymapReader(DisplayKeymapReader reader)
{
    cache().displayKeymap = reader;
    refreshKeyboardLayout(cache().source);
}

std::optional<QString> keyToCharacter(int64_t keyCode)
{
    if (specialKeyForKeyCode(keyCode))
        return std::nullopt;
    const std::optional<uint32_t> xKeycode = KeyCodeMap::xKeycodeForKeyCode(keyCode);
    if (!xKeycode)
        return std::nullopt;
    const Layout *layout = currentLayout();
    if (!layout)
        return std::nullopt;
    xkb_state *state = layout->state.get();
    if (const std::optional<QString> accent = spacingAccent(xkb_state_key_get_one_sym(state, *xKeycode)))
        return accent;
    const int size = xkb_state_key_get_utf8(state, *xKeycode, nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    QByteArray utf8(size + 1, '\0');
    xkb_state_key_get_utf8(state, *xKeycode, utf8.data(), utf8.size());
    utf8.truncate(size);
    const QString text = QString::fromUtf8(utf8);
    // One code point, not one grapheme: a base letter with a combining mark is two.
    if (text.toUcs4().size() != 1)
        return std::nullopt;
    return text;
}

std::optional<uint32_t> keyToKeysym(int64_t keyCode)
{
    const std::optional<uint32_t> xKeycode = KeyCodeMap::xKeycodeForKeyCode(keyCode);
    const Layout *layout = xKeycode ? currentLayout() : nullptr;
    if (!layout)
        return std::nullopt;
    const xkb_keysym_t keysym = xkb_state_key_get_one_sym(layout->state.get(), *xKeycode);
    if (keysym == XKB_KEY_NoSymbol)
        return std::nullopt;
    return keysym;
}

std::optional<int64_t> keysymToKey(uint32_t keysym)
{
    const Layout *layout = currentLayout();
    if (!layout || keysym == XKB_KEY_NoSymbol)
        return std::nullopt;
    xkb_keymap *keymap = layout->keymap.get();
    const xkb_layout_index_t group
        = xkb_state_serialize_layout(layout->state.get(), XKB_STATE_LAYOUT_EFFECTIVE);
    std::optional<std::pair<xkb_level_index_t, int64_t>> best;
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap); keycode <= xkb_keymap_max_keycode(keymap);
         ++keycode) {
        const std::optional<int64_t> keyCode = KeyCodeMap::keyCodeForXKeycode(keycode);
        if (!keyCode)
            continue;
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, keycode, group);
        for (xkb_level_index_t level = 0; level < levels && (!best || level < best->first); ++level) {
            const xkb_keysym_t *symbols = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, keycode, group, level, &symbols);
            if (std::find(symbols, symbols + count, keysym) != symbols + count)
                best = std::pair(level, *keyCode);
        }
    }
    if (!best)
        return std::nullopt;
    return best->second;
}

} // namespace KeyboardShortcuts
