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

TEST_F(ShortcutDisplay, ControlCommandA_OnUsLayout_ShowsSymbolsAndCapitalLetter)
{
    EXPECT_EQ(Shortcut(0, 0x1100).description(), text(u"\u2303\u2318A"));
}

TEST_F(ShortcutDisplay, ShiftCommandX_ShowsShiftCommandX)
{
    EXPECT_EQ(Shortcut(7, 768).description(), text(u"\u21E7\u2318X"));
}

TEST_F(ShortcutDisplay, FunctionKeyWithoutModifiers_ShowsF1)
{
    EXPECT_EQ(Shortcut(122, 0).description(), QStringLiteral("F1"));
    EXPECT_EQ(Shortcut(90, 0x200).description(), text(u"\u21E7F20"));
}

TEST_F(ShortcutDisplay, KeypadEnter_ShowsReturnKeycap)
{
    EXPECT_EQ(Shortcut(76, 0).description(), text(u"\u21A9\u20E3"));
}

TEST_F(ShortcutDisplay, CommandSpace_ShowsCapitalisedSpaceName)
{
    EXPECT_EQ(Shortcut(49, 0x100).description(), text(u"\u2318Space"));
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

TEST_F(ShortcutDisplay, MenuKeyEquivalents_KeypadNone_SpaceOneSpace_FunctionKeysPrivateUse)
{
    for (SpecialKey key :
        { SpecialKey::keypad0, SpecialKey::keypad9, SpecialKey::keypadClear, SpecialKey::keypadDecimal,
            SpecialKey::keypadDivide, SpecialKey::keypadEnter, SpecialKey::keypadEquals,
            SpecialKey::keypadMinus, SpecialKey::keypadMultiply, SpecialKey::keypadPlus })
        EXPECT_FALSE(keyEquivalent(key)) << static_cast<int>(key);
    EXPECT_EQ(keyEquivalent(SpecialKey::space), QStringLiteral(" "));
    const SpecialKey functionKeys[] = {
        SpecialKey::f1,
        SpecialKey::f2,
        SpecialKey::f3,
        SpecialKey::f4,
        SpecialKey::f5,
        SpecialKey::f6,
        SpecialKey::f7,
        SpecialKey::f8,
        SpecialKey::f9,
        SpecialKey::f10,
        SpecialKey::f11,
        SpecialKey::f12,
        SpecialKey::f13,
        SpecialKey::f14,
        SpecialKey::f15,
        SpecialKey::f16,
        SpecialKey::f17,
        SpecialKey::f18,
        SpecialKey::f19,
        SpecialKey::f20,
    };
    char16_t expected = 0xF704;
    for (SpecialKey key : functionKeys) {
        EXPECT_EQ(keyEquivalent(key), QString(QChar(expected))) << static_cast<int>(key);
        ++expected;
    }
    EXPECT_EQ(expected, 0xF718);
    EXPECT_EQ(keyEquivalent(SpecialKey::return_), text(u"\u21A9"));
    EXPECT_EQ(keyEquivalent(SpecialKey::help), text(u"?\u20DD"));
}

TEST_F(ShortcutDisplay, NsMenuItemKeyEquivalent_SpecialKeysThenLayoutCharacter)
{
    EXPECT_EQ(Shortcut(Key::x, ModifierFlags::command).nsMenuItemKeyEquivalent(), QStringLiteral("x"));
    EXPECT_EQ(Shortcut(Key::space, ModifierFlags::command).nsMenuItemKeyEquivalent(), QStringLiteral(" "));
    EXPECT_EQ(Shortcut(Key::f2, {}).nsMenuItemKeyEquivalent(), QString(QChar(0xF705)));
    EXPECT_FALSE(Shortcut(Key::keypad5, {}).nsMenuItemKeyEquivalent());
    EXPECT_FALSE(Shortcut(52, 0).nsMenuItemKeyEquivalent());
}

TEST(SpecialKey, Has53CasesWithTheirKeyCodesAndTexts)
{
    ASSERT_EQ(allSpecialKeys().size(), 53u);
    for (SpecialKey key : allSpecialKeys())
        EXPECT_EQ(specialKeyForKeyCode(keyCode(key)), key);
    EXPECT_EQ(keyCode(SpecialKey::return_), 36);
    EXPECT_EQ(keyCode(SpecialKey::keypad8), 91);
    EXPECT_EQ(keyCode(SpecialKey::f17), 64);
    EXPECT_FALSE(specialKeyForKeyCode(Key::a.rawValue));
    EXPECT_FALSE(specialKeyForKeyCode(Key::command.rawValue));
    EXPECT_EQ(presentableDescription(SpecialKey::keypad7), text(u"7\u20E3"));
    EXPECT_EQ(presentableDescription(SpecialKey::keypadClear), text(u"\u2612\u20E3"));
    EXPECT_EQ(presentableDescription(SpecialKey::help), text(u"?\u20DD"));
    EXPECT_EQ(presentableDescription(SpecialKey::escape), text(u"\u238B"));
    EXPECT_EQ(presentableDescription(SpecialKey::f13), QStringLiteral("F13"));
    EXPECT_EQ(presentableDescription(SpecialKey::space), QStringLiteral("Space"));
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
