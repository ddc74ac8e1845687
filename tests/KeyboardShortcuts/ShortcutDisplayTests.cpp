#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Localization.h"

#include <gtest/gtest.h>

using namespace KeyboardShortcuts;

namespace {

// Layout lookups from the XKB environment only, never from an X server.
class ShortcutDisplay : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedDisplay = qgetenv("DISPLAY");
        qunsetenv("DISPLAY");
        for (const char *name :
            { "XKB_DEFAULT_RULES", "XKB_DEFAULT_MODEL", "XKB_DEFAULT_VARIANT", "XKB_DEFAULT_OPTIONS" })
            qunsetenv(name);
        useLayout("us");
    }

    void TearDown() override
    {
        if (!savedDisplay.isEmpty())
            qputenv("DISPLAY", savedDisplay);
        refreshKeyboardLayout();
    }

    static void useLayout(
        const char *layout, KeyboardLayoutSource source = KeyboardLayoutSource::xkbEnvironment)
    {
        qputenv("XKB_DEFAULT_LAYOUT", layout);
        refreshKeyboardLayout(source);
    }

    QByteArray savedDisplay;
};

QString text(const char16_t *utf16)
{
    return QString::fromUtf16(utf16);
}

} // namespace

TEST_F(ShortcutDisplay, Descriptions_ModifierSymbolsThenTheKey)
{
    const struct {
        int64_t keyCode, carbonModifiers;
        const char16_t *expected;
    } rows[] = {
        { 0, 0x1100, u"\u2303\u2318A" }, // a character key shows as a capital
        { 7, 768, u"\u21E7\u2318X" },
        { 122, 0, u"F1" },
        { 90, 0x200, u"\u21E7F20" },
        { 76, 0, u"\u21A9\u20E3" },
        { 49, 0x100, u"\u2318Space" },
    };
    for (const auto &row : rows)
        EXPECT_EQ(Shortcut(row.keyCode, row.carbonModifiers).description(), text(row.expected)) << row.keyCode;
}

TEST_F(ShortcutDisplay, AllFiveModifiers_ShowInFixedOrderWhateverOrderTheyWereSet)
{
    const QString expected = text(u"\u2303\u2325\u21E7\u2318\U0001F310\uFE0E") + QStringLiteral("F1");
    const ModifierFlags forward = ModifierFlags::control | ModifierFlags::option | ModifierFlags::shift
        | ModifierFlags::command | ModifierFlags::function;
    const ModifierFlags backward = ModifierFlags::function | ModifierFlags::command | ModifierFlags::shift
        | ModifierFlags::option | ModifierFlags::control;
    EXPECT_EQ(Shortcut(Key::f1, forward).description(), expected);
    EXPECT_EQ(Shortcut(Key::f1, backward).description(), expected);
    EXPECT_EQ(Shortcut(122, 0x20000 | 0x100 | 0x200 | 0x800 | 0x1000).description(), expected);
    EXPECT_EQ(ks_symbolicRepresentation(backward | ModifierFlags::capsLock | ModifierFlags::numericPad),
        text(u"\u2303\u2325\u21E7\u2318\U0001F310\uFE0E"));
    EXPECT_EQ(ks_symbolicRepresentation(ModifierFlags::capsLock | ModifierFlags::help), QString());
}

TEST_F(ShortcutDisplay, KeyTheLayoutCannotType_ShowsReplacementCharacter)
{
    // 52 and fn (63) have no place in the positional table.
    EXPECT_EQ(Shortcut(52, 0x100).description(), text(u"\u2318\uFFFD"));
    EXPECT_EQ(Shortcut(63, 0).description(), text(u"\uFFFD"));
    EXPECT_EQ(Shortcut(INT64_C(1) << 33, 0).description(), text(u"\uFFFD"));
}

TEST_F(ShortcutDisplay, KeyToCharacter_GivesOneLowerCaseCharacterOfTheLayout)
{
    EXPECT_EQ(keyToCharacter(Key::a.rawValue), QStringLiteral("a"));
    EXPECT_EQ(keyToCharacter(Key::y.rawValue), QStringLiteral("y"));
    EXPECT_EQ(keyToCharacter(Key::backtick.rawValue), QStringLiteral("`"));
    EXPECT_EQ(keyToCharacter(Key::one.rawValue), QStringLiteral("1"));
    // Special keys never go through the layout.
    EXPECT_FALSE(keyToCharacter(Key::space.rawValue));
    EXPECT_FALSE(keyToCharacter(Key::f5.rawValue));
    EXPECT_FALSE(keyToCharacter(52));
    // Modifier keys type nothing.
    EXPECT_FALSE(keyToCharacter(Key::shift.rawValue));
}

TEST_F(ShortcutDisplay, OtherLayout_FollowsTheKeyPosition)
{
    useLayout("de");
    EXPECT_EQ(keyToCharacter(Key::y.rawValue), QStringLiteral("z"));
    EXPECT_EQ(Shortcut(Key::y, ModifierFlags::command).description(), text(u"\u2318Z"));
    EXPECT_EQ(keyToCharacter(Key::semicolon.rawValue), text(u"\u00F6"));
    EXPECT_EQ(Shortcut(Key::semicolon, {}).description(), text(u"\u00D6"));
}

TEST_F(ShortcutDisplay, NonLatinLayoutFirst_UsesTheLatinGroup)
{
    useLayout("ru,us");
    EXPECT_EQ(keyToCharacter(Key::a.rawValue), QStringLiteral("a"));
    useLayout("ru");
    EXPECT_EQ(keyToCharacter(Key::a.rawValue), text(u"\u0444"));
}

TEST_F(ShortcutDisplay, AutomaticSourceWithoutDisplay_FallsBackToXkbEnvironment)
{
    useLayout("de", KeyboardLayoutSource::automatic);
    EXPECT_EQ(keyToCharacter(Key::z.rawValue), QStringLiteral("y"));
}

TEST_F(ShortcutDisplay, CachedLayout_ChangesOnlyOnRefresh)
{
    EXPECT_EQ(keyToCharacter(Key::y.rawValue), QStringLiteral("y"));
    qputenv("XKB_DEFAULT_LAYOUT", "de");
    EXPECT_EQ(keyToCharacter(Key::y.rawValue), QStringLiteral("y"));
    refreshKeyboardLayout(KeyboardLayoutSource::xkbEnvironment);
    EXPECT_EQ(keyToCharacter(Key::y.rawValue), QStringLiteral("z"));
}

TEST_F(ShortcutDisplay, NsMenuItemKeyEquivalent_SpecialKeysThenLayoutCharacter)
{
    EXPECT_EQ(Shortcut(Key::x, ModifierFlags::command).nsMenuItemKeyEquivalent(), QStringLiteral("x"));
    EXPECT_EQ(Shortcut(Key::space, ModifierFlags::command).nsMenuItemKeyEquivalent(), QStringLiteral(" "));
    EXPECT_EQ(Shortcut(Key::f2, {}).nsMenuItemKeyEquivalent(), QString(QChar(0xF705)));
    EXPECT_FALSE(Shortcut(Key::keypad5, {}).nsMenuItemKeyEquivalent());
    EXPECT_FALSE(Shortcut(52, 0).nsMenuItemKeyEquivalent());
}

TEST(SpecialKey, EveryCaseWithItsKeyCodeTextAndMenuEquivalent)
{
    // The whole table in declaration order, written out rather than derived.
    const struct {
        SpecialKey key;
        int64_t keyCode;
        const char16_t *text;
        const char16_t *equivalent; // nullptr: none
    } rows[] = {
        { SpecialKey::return_, 36, u"\u21A9", u"\u21A9" },
        { SpecialKey::delete_, 51, u"\u232B", u"\u232B" },
        { SpecialKey::deleteForward, 117, u"\u2326", u"\u2326" },
        { SpecialKey::end, 119, u"\u2198", u"\u2198" },
        { SpecialKey::escape, 53, u"\u238B", u"\u238B" },
        { SpecialKey::help, 114, u"?\u20DD", u"?\u20DD" },
        { SpecialKey::home, 115, u"\u2196", u"\u2196" },
        { SpecialKey::space, 49, u"Space", u" " },
        { SpecialKey::tab, 48, u"\u21E5", u"\u21E5" },
        { SpecialKey::pageUp, 116, u"\u21DE", u"\u21DE" },
        { SpecialKey::pageDown, 121, u"\u21DF", u"\u21DF" },
        { SpecialKey::upArrow, 126, u"\u2191", u"\u2191" },
        { SpecialKey::rightArrow, 124, u"\u2192", u"\u2192" },
        { SpecialKey::downArrow, 125, u"\u2193", u"\u2193" },
        { SpecialKey::leftArrow, 123, u"\u2190", u"\u2190" },
        { SpecialKey::f1, 122, u"F1", u"\uF704" },
        { SpecialKey::f2, 120, u"F2", u"\uF705" },
        { SpecialKey::f3, 99, u"F3", u"\uF706" },
        { SpecialKey::f4, 118, u"F4", u"\uF707" },
        { SpecialKey::f5, 96, u"F5", u"\uF708" },
        { SpecialKey::f6, 97, u"F6", u"\uF709" },
        { SpecialKey::f7, 98, u"F7", u"\uF70A" },
        { SpecialKey::f8, 100, u"F8", u"\uF70B" },
        { SpecialKey::f9, 101, u"F9", u"\uF70C" },
        { SpecialKey::f10, 109, u"F10", u"\uF70D" },
        { SpecialKey::f11, 103, u"F11", u"\uF70E" },
        { SpecialKey::f12, 111, u"F12", u"\uF70F" },
        { SpecialKey::f13, 105, u"F13", u"\uF710" },
        { SpecialKey::f14, 107, u"F14", u"\uF711" },
        { SpecialKey::f15, 113, u"F15", u"\uF712" },
        { SpecialKey::f16, 106, u"F16", u"\uF713" },
        { SpecialKey::f17, 64, u"F17", u"\uF714" },
        { SpecialKey::f18, 79, u"F18", u"\uF715" },
        { SpecialKey::f19, 80, u"F19", u"\uF716" },
        { SpecialKey::f20, 90, u"F20", u"\uF717" },
        { SpecialKey::keypad0, 82, u"0\u20E3", nullptr },
        { SpecialKey::keypad1, 83, u"1\u20E3", nullptr },
        { SpecialKey::keypad2, 84, u"2\u20E3", nullptr },
        { SpecialKey::keypad3, 85, u"3\u20E3", nullptr },
        { SpecialKey::keypad4, 86, u"4\u20E3", nullptr },
        { SpecialKey::keypad5, 87, u"5\u20E3", nullptr },
        { SpecialKey::keypad6, 88, u"6\u20E3", nullptr },
        { SpecialKey::keypad7, 89, u"7\u20E3", nullptr },
        { SpecialKey::keypad8, 91, u"8\u20E3", nullptr },
        { SpecialKey::keypad9, 92, u"9\u20E3", nullptr },
        { SpecialKey::keypadClear, 71, u"\u2612\u20E3", nullptr },
        { SpecialKey::keypadDecimal, 65, u".\u20E3", nullptr },
        { SpecialKey::keypadDivide, 75, u"/\u20E3", nullptr },
        { SpecialKey::keypadEnter, 76, u"\u21A9\u20E3", nullptr },
        { SpecialKey::keypadEquals, 81, u"=\u20E3", nullptr },
        { SpecialKey::keypadMinus, 78, u"-\u20E3", nullptr },
        { SpecialKey::keypadMultiply, 67, u"*\u20E3", nullptr },
        { SpecialKey::keypadPlus, 69, u"+\u20E3", nullptr },
    };
    ASSERT_EQ(allSpecialKeys().size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto &row = rows[i];
        SCOPED_TRACE(row.keyCode);
        EXPECT_EQ(allSpecialKeys()[i], row.key);
        EXPECT_EQ(keyCode(row.key), row.keyCode);
        EXPECT_EQ(specialKeyForKeyCode(row.keyCode), row.key);
        EXPECT_EQ(presentableDescription(row.key), text(row.text));
        EXPECT_EQ(keyEquivalent(row.key), row.equivalent ? std::optional(text(row.equivalent)) : std::nullopt);
    }
    EXPECT_FALSE(specialKeyForKeyCode(Key::a.rawValue));
    EXPECT_FALSE(specialKeyForKeyCode(Key::command.rawValue));
}

TEST(Localization, EnglishTable_HasSpaceAndEveryRecorderText)
{
    EXPECT_EQ(localized(QStringLiteral("space_key")), QStringLiteral("space"));
    for (const char *key : { "record_shortcut", "press_shortcut", "keyboard_shortcut_used_by_menu_item",
             "keyboard_shortcut_disallowed", "keyboard_shortcut_used_by_system",
             "keyboard_shortcuts_can_be_changed", "ok", "force_use_shortcut" })
        EXPECT_FALSE(localized(QString::fromLatin1(key)).isEmpty()) << key;
    EXPECT_TRUE(
        localized(QStringLiteral("keyboard_shortcut_used_by_menu_item")).contains(QStringLiteral("%1")));
    EXPECT_EQ(localized(QStringLiteral("no_such_key")), QString());
}

TEST(Localization, UnknownLanguage_FallsBackToEnglish)
{
    const QHash<QString, QString> table
        = detail::loadStringTable(bundlePath(), { QStringLiteral("xx-YY"), QStringLiteral("zz") });
    EXPECT_EQ(table.value(QStringLiteral("space_key")), QStringLiteral("space"));
}

TEST(Localization, CapitalizedText_TitleCasesEachWord)
{
    EXPECT_EQ(capitalizedText(QStringLiteral("space")), QStringLiteral("Space"));
    EXPECT_EQ(capitalizedText(QStringLiteral("SPACE bar")), QStringLiteral("Space Bar"));
    EXPECT_EQ(capitalizedText(text(u"\u00E9")), text(u"\u00C9"));
}

TEST(LocalizationDeathTest, MissingBundle_StopsWithItsName)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(detail::loadStringTable(QStringLiteral(":/NoSuchBundle"), { QStringLiteral("en") }),
        "unable to find bundle named KeyboardShortcuts_KeyboardShortcuts");
}
