#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Localization.h"
#include "XkbEnvironmentLayout.h"

#include <gtest/gtest.h>

using namespace KeyboardShortcuts;

namespace {

class ShortcutDisplay : public ::testing::Test, protected XkbEnvironmentLayout { };

QString text(const char16_t *utf16)
{
    return QString::fromUtf16(utf16);
}

} // namespace

// The text users read: the modifiers in a fixed order, then the key as the layout types it.
// (The Mac symbolic form and menu key equivalents are shown nowhere in this program.)
TEST_F(ShortcutDisplay, DisplayText_ModifiersInFixedOrderThenTheKey)
{
    const struct Case {
        int64_t keyCode, carbonModifiers;
        const char *displayText;
        const char *layout = "us";
    } cases[] = {
        { 0, 0x1100, "Ctrl+Super+A" }, // a character key shows as a capital
        { 7, 768, "Shift+Super+X" },
        { 122, 0, "F1" },
        { 90, 0x200, "Shift+F20" },
        { 76, 0, "Keypad Enter" },
        { 87, 0, "Keypad 5" },
        { 69, 0x1000, "Ctrl+Keypad +" },
        { 116, 0x800, "Alt+Page Up" },
        { 53, 0x100, "Super+Esc" },
        { 51, 0x1000, "Ctrl+Backspace" },
        { Key::space.rawValue, 0x100, "Super+Space" }, // named by the string table, capitalised
        { 122, 0x20000 | 0x100 | 0x200 | 0x800 | 0x1000, "Ctrl+Alt+Shift+Super+Fn+F1" },
        // 52 and fn (63) have no place in the positional table.
        { 52, 0x100, "Super+\uFFFD" },
        { 63, 0, "\uFFFD" },
        { INT64_C(1) << 33, 0, "\uFFFD" },
        { Key::y.rawValue, 0x100, "Super+Z", "de" }, // the key in the Y position types Z
        { Key::semicolon.rawValue, 0, "\u00D6", "de" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.displayText);
        useLayout(c.layout);
        EXPECT_EQ(Shortcut(c.keyCode, c.carbonModifiers).displayText(), QString::fromUtf8(c.displayText));
    }
}

TEST_F(ShortcutDisplay, KeyToCharacter_TheOneCharacterTheLayoutTypesAtTheKeyPosition)
{
    const struct Case {
        const char *layout;
        Key key;
        const char16_t *expected; // nullptr: nothing
        KeyboardLayoutSource source = KeyboardLayoutSource::xkbEnvironment;
    } cases[] = {
        { "us", Key::a, u"a" },
        { "us", Key::y, u"y" },
        { "us", Key::backtick, u"`" },
        { "us", Key::one, u"1" },
        { "us", Key::space, nullptr }, // special keys never go through the layout
        { "us", Key::f5, nullptr },
        { "us", Key(52), nullptr },
        { "us", Key::shift, nullptr }, // modifier keys type nothing
        { "de", Key::y, u"z" },
        { "de", Key::semicolon, u"\u00F6" },
        { "de", Key::backtick, u"^" }, // a dead key shows the accent it puts on the next letter
        { "de", Key::equal, u"\u00B4" },
        { "de", Key::z, u"y", KeyboardLayoutSource::automatic }, // no display: the XKB environment
        { "ru,us", Key::a, u"a" }, // a non-Latin first layout gives way to the Latin group
        { "ru", Key::a, u"\u0444" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.layout) + " " + std::to_string(c.key.rawValue));
        useLayout(c.layout, c.source);
        EXPECT_EQ(
            keyToCharacter(c.key.rawValue), c.expected ? std::optional(text(c.expected)) : std::nullopt);
    }
}

TEST_F(ShortcutDisplay, CachedLayout_ChangesOnlyOnRefresh)
{
    EXPECT_EQ(keyToCharacter(Key::y.rawValue), QStringLiteral("y"));
    qputenv("XKB_DEFAULT_LAYOUT", "de");
    EXPECT_EQ(keyToCharacter(Key::y.rawValue), QStringLiteral("y"));
    refreshKeyboardLayout(KeyboardLayoutSource::xkbEnvironment);
    EXPECT_EQ(keyToCharacter(Key::y.rawValue), QStringLiteral("z"));
}

TEST(Localization, EnglishTable_HasEveryKeyLookedUp_StandsInForUnknownLanguages_WordsCapitalized)
{
    for (const char *key :
        { "space_key", "record_shortcut", "press_shortcut", "keyboard_shortcut_used_by_menu_item",
            "keyboard_shortcut_disallowed", "keyboard_shortcut_used_by_system",
            "keyboard_shortcuts_can_be_changed", "ok", "force_use_shortcut" })
        EXPECT_FALSE(localized(QString::fromLatin1(key)).isEmpty()) << key;
    EXPECT_TRUE(
        localized(QStringLiteral("keyboard_shortcut_used_by_menu_item")).contains(QStringLiteral("%1")));
    EXPECT_EQ(localized(QStringLiteral("no_such_key")), QString());
    EXPECT_EQ(capitalizedText(QStringLiteral("SPACE bar")), QStringLiteral("Space Bar"));
    EXPECT_EQ(capitalizedText(text(u"\u00E9")), text(u"\u00C9"));
    const QHash<QString, QString> english = detail::loadStringTable(bundlePath(), { QStringLiteral("en") });
    EXPECT_EQ(
        detail::loadStringTable(bundlePath(), { QStringLiteral("xx-YY"), QStringLiteral("zz") }), english);
}

TEST(LocalizationDeathTest, MissingBundle_StopsWithItsName)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(detail::loadStringTable(QStringLiteral(":/NoSuchBundle"), { QStringLiteral("en") }),
        "unable to find bundle named KeyboardShortcuts_KeyboardShortcuts");
}
