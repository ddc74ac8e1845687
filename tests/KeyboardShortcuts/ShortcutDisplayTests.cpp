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

// What people see (the symbolic form and the Linux text users read), and the key
// equivalent a menu item with the shortcut gets.
TEST_F(ShortcutDisplay, DescriptionAndMenuEquivalent_ModifierSymbolsInFixedOrderThenTheKey)
{
    const struct Case {
        int64_t keyCode, carbonModifiers;
        const char16_t *description;
        const char *displayText;
        const char16_t *equivalent; // nullptr: none
        const char *layout = "us";
    } cases[] = {
        { 0, 0x1100, u"\u2303\u2318A", "Ctrl+Super+A", u"a" }, // a character key shows as a capital
        { 7, 768, u"\u21E7\u2318X", "Shift+Super+X", u"x" },
        { 122, 0, u"F1", "F1", u"\uF704" },
        { 120, 0, u"F2", "F2", u"\uF705" },
        { 90, 0x200, u"\u21E7F20", "Shift+F20", u"\uF717" },
        { 76, 0, u"\u21A9\u20E3", "Keypad Enter", nullptr },
        { 87, 0, u"5\u20E3", "Keypad 5", nullptr },
        { 69, 0x1000, u"\u2303+\u20E3", "Ctrl+Keypad +", nullptr },
        { 116, 0x800, u"\u2325\u21DE", "Alt+Page Up", u"\u21DE" },
        { 53, 0x100, u"\u2318\u238B", "Super+Esc", u"\u238B" },
        { 51, 0x1000, u"\u2303\u232B", "Ctrl+Backspace", u"\u232B" },
        { 122, 0x20000 | 0x100 | 0x200 | 0x800 | 0x1000, u"\u2303\u2325\u21E7\u2318\U0001F310\uFE0EF1",
            "Ctrl+Alt+Shift+Super+Fn+F1", u"\uF704" },
        // 52 and fn (63) have no place in the positional table.
        { 52, 0x100, u"\u2318\uFFFD", "Super+\uFFFD", nullptr },
        { 63, 0, u"\uFFFD", "\uFFFD", nullptr },
        { INT64_C(1) << 33, 0, u"\uFFFD", "\uFFFD", nullptr },
        // The key in the Y position types Z on a German layout.
        { Key::y.rawValue, 0x100, u"\u2318Z", "Super+Z", u"z", "de" },
        { Key::semicolon.rawValue, 0, u"\u00D6", "\u00D6", u"\u00F6", "de" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keyCode);
        useLayout(c.layout);
        const Shortcut shortcut(c.keyCode, c.carbonModifiers);
        EXPECT_EQ(shortcut.description(), text(c.description));
        EXPECT_EQ(shortcut.displayText(), QString::fromUtf8(c.displayText));
        EXPECT_EQ(shortcut.nsMenuItemKeyEquivalent(),
            c.equivalent ? std::optional(text(c.equivalent)) : std::nullopt);
    }
    // The space key is named by the string table, capitalised; its equivalent is a space.
    const Shortcut commandSpace(Key::space, ModifierFlags::command);
    EXPECT_EQ(commandSpace.description(),
        text(u"\u2318") + capitalizedText(localized(QStringLiteral("space_key"))));
    EXPECT_EQ(commandSpace.displayText(),
        QStringLiteral("Super+") + capitalizedText(localized(QStringLiteral("space_key"))));
    EXPECT_EQ(commandSpace.nsMenuItemKeyEquivalent(), QStringLiteral(" "));
    const ModifierFlags all = ModifierFlags::function | ModifierFlags::command | ModifierFlags::shift
        | ModifierFlags::option | ModifierFlags::control;
    EXPECT_EQ(ks_symbolicRepresentation(all | ModifierFlags::capsLock | ModifierFlags::numericPad),
        text(u"\u2303\u2325\u21E7\u2318\U0001F310\uFE0E"));
    EXPECT_EQ(ks_symbolicRepresentation(ModifierFlags::capsLock | ModifierFlags::help), QString());
}

TEST_F(ShortcutDisplay, KeyToCharacter_WhatTheLayoutTypesAtTheKeyPosition_KeptUntilRefreshed)
{
    const struct Case {
        const char *layout;
        Key key;
        const char16_t *expected; // nullptr: nothing
        KeyboardLayoutSource source = KeyboardLayoutSource::xkbEnvironment;
    } cases[] = {
        { "us", Key::a, u"a" },
        { "us", Key::backtick, u"`" },
        { "us", Key::one, u"1" },
        { "us", Key::space, nullptr }, // special keys never go through the layout
        { "us", Key::f5, nullptr },
        { "us", Key(52), nullptr },
        { "us", Key::shift, nullptr }, // modifier keys type nothing
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
    // The layout is kept until it is refreshed.
    useLayout("us");
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
