#include "KeySymbols.h"

#include "KeyboardShortcuts/Localization.h"

#include <QHash>

#include <array>

namespace KeyboardShortcuts {

namespace {

constexpr char16_t firstFunctionKeyCharacter = 0xF704;

struct SpecialKeyInfo {
    SpecialKey key;
    int64_t keyCode;
    const char16_t *text; // nullptr for space, whose text is localised
    bool hasKeyEquivalent;
};

constexpr SpecialKeyInfo infos[] = {
    { SpecialKey::return_, 36, u"\u21A9", true },
    { SpecialKey::delete_, 51, u"\u232B", true },
    { SpecialKey::deleteForward, 117, u"\u2326", true },
    { SpecialKey::end, 119, u"\u2198", true },
    { SpecialKey::escape, 53, u"\u238B", true },
    { SpecialKey::help, 114, u"?\u20DD", true },
    { SpecialKey::home, 115, u"\u2196", true },
    { SpecialKey::space, 49, nullptr, true },
    { SpecialKey::tab, 48, u"\u21E5", true },
    { SpecialKey::pageUp, 116, u"\u21DE", true },
    { SpecialKey::pageDown, 121, u"\u21DF", true },
    { SpecialKey::upArrow, 126, u"\u2191", true },
    { SpecialKey::rightArrow, 124, u"\u2192", true },
    { SpecialKey::downArrow, 125, u"\u2193", true },
    { SpecialKey::leftArrow, 123, u"\u2190", true },
    { SpecialKey::f1, 122, u"F1", true },
    { SpecialKey::f2, 120, u"F2", true },
    { SpecialKey::f3, 99, u"F3", true },
    { SpecialKey::f4, 118, u"F4", true },
    { SpecialKey::f5, 96, u"F5", true },
    { SpecialKey::f6, 97, u"F6", true },
    { SpecialKey::f7, 98, u"F7", true },
    { SpecialKey::f8, 100, u"F8", true },
    { SpecialKey::f9, 101, u"F9", true },
    { SpecialKey::f10, 109, u"F10", true },
    { SpecialKey::f11, 103, u"F11", true },
    { SpecialKey::f12, 111, u"F12", true },
    { SpecialKey::f13, 105, u"F13", true },
    { SpecialKey::f14, 107, u"F14", true },
    { SpecialKey::f15, 113, u"F15", true },
    { SpecialKey::f16, 106, u"F16", true },
    { SpecialKey::f17, 64, u"F17", true },
    { SpecialKey::f18, 79, u"F18", true },
    { SpecialKey::f19, 80, u"F19", true },
    { SpecialKey::f20, 90, u"F20", true },
    { SpecialKey::keypad0, 82, u"0\u20E3", false },
    { SpecialKey::keypad1, 83, u"1\u20E3", false },
    { SpecialKey::keypad2, 84, u"2\u20E3", false },
    { SpecialKey::keypad3, 85, u"3\u20E3", false },
    { SpecialKey::keypad4, 86, u"4\u20E3", false },
    { SpecialKey::keypad5, 87, u"5\u20E3", false },
    { SpecialKey::keypad6, 88, u"6\u20E3", false },
    { SpecialKey::keypad7, 89, u"7\u20E3", false },
    { SpecialKey::keypad8, 91, u"8\u20E3", false },
    { SpecialKey::keypad9, 92, u"9\u20E3", false },
    { SpecialKey::keypadClear, 71, u"\u2612\u20E3", false },
    { SpecialKey::keypadDecimal, 65, u".\u20E3", false },
    { SpecialKey::keypadDivide, 75, u"/\u20E3", false },
    { SpecialKey::keypadEnter, 76, u"\u21A9\u20E3", false },
    { SpecialKey::keypadEquals, 81, u"=\u20E3", false },
    { SpecialKey::keypadMinus, 78, u"-\u20E3", false },
    { SpecialKey::keypadMultiply, 67, u"*\u20E3", false },
    { SpecialKey::keypadPlus, 69, u"+\u20E3", false },
};
static_assert(std::size(infos) == 53);

constexpr bool infosFollowDeclarationOrder()
{
    for (size_t i = 0; i < std::size(infos); ++i) {
        if (static_cast<size_t>(infos[i].key) != i)
            return false;
    }
    return true;
}
static_assert(infosFollowDeclarationOrder());

constexpr std::array<SpecialKey, std::size(infos)> allKeys = [] {
    std::array<SpecialKey, std::size(infos)> keys {};
    for (size_t i = 0; i < std::size(infos); ++i)
        keys[i] = infos[i].key;
    return keys;
}();

const SpecialKeyInfo &info(SpecialKey key)
{
    return infos[static_cast<size_t>(key)];
}

} // namespace

std::span<const SpecialKey> allSpecialKeys()
{
    return allKeys;
}

int64_t keyCode(SpecialKey key)
{
    return info(key).keyCode;
}

std::optional<SpecialKey> specialKeyForKeyCode(int64_t keyCode)
{
    static const QHash<int64_t, SpecialKey> byKeyCode = [] {
        QHash<int64_t, SpecialKey> table;
        for (const SpecialKeyInfo &entry : infos)
            table.insert(entry.keyCode, entry.key);
        return table;
    }();
    const auto it = byKeyCode.constFind(keyCode);
    if (it == byKeyCode.constEnd())
        return std::nullopt;
    return *it;
}

QString presentableDescription(SpecialKey key)
{
    if (key == SpecialKey::space)
        return capitalizedText(localized(QStringLiteral("space_key")));
    return QString::fromUtf16(info(key).text);
}

QString keyName(SpecialKey key)
{
    switch (key) {
    case SpecialKey::return_:
        return QStringLiteral("Return");
    case SpecialKey::delete_:
        return QStringLiteral("Backspace");
    case SpecialKey::deleteForward:
        return QStringLiteral("Delete");
    case SpecialKey::end:
        return QStringLiteral("End");
    case SpecialKey::escape:
        return QStringLiteral("Esc");
    case SpecialKey::help:
        return QStringLiteral("Help");
    case SpecialKey::home:
        return QStringLiteral("Home");
    case SpecialKey::space:
        return presentableDescription(key);
    case SpecialKey::tab:
        return QStringLiteral("Tab");
    case SpecialKey::pageUp:
        return QStringLiteral("Page Up");
    case SpecialKey::pageDown:
        return QStringLiteral("Page Down");
    case SpecialKey::upArrow:
        return QStringLiteral("Up");
    case SpecialKey::rightArrow:
        return QStringLiteral("Right");
    case SpecialKey::downArrow:
        return QStringLiteral("Down");
    case SpecialKey::leftArrow:
        return QStringLiteral("Left");
    case SpecialKey::keypadClear:
        return QStringLiteral("Keypad Clear");
    case SpecialKey::keypadEnter:
        return QStringLiteral("Keypad Enter");
    default:
        break;
    }
    const QString text = presentableDescription(key);
    // The keypad keys' keycaps: the character before the enclosing mark names the key.
    if (text.endsWith(QChar(0x20E3)))
        return QStringLiteral("Keypad ") + text.chopped(1);
    return text; // F1 … F20
}

std::optional<QString> keyEquivalent(SpecialKey key)
{
    const SpecialKeyInfo &entry = info(key);
    if (!entry.hasKeyEquivalent)
        return std::nullopt;
    if (key == SpecialKey::space)
        return QStringLiteral(" ");
    if (key >= SpecialKey::f1 && key <= SpecialKey::f20) {
        // The platform's function-key characters, one private-use code point per key.
        const auto offset = static_cast<char16_t>(static_cast<int>(key) - static_cast<int>(SpecialKey::f1));
        return QString(QChar(static_cast<char16_t>(firstFunctionKeyCharacter + offset)));
    }
    return QString::fromUtf16(entry.text);
}

} // namespace KeyboardShortcuts
