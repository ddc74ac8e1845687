#include "Shortcut.h"

#include "KeyboardShortcuts/QtKeys.h"

#include "KeyboardShortcuts/KeyCodeMap.h"
#include "KeyboardShortcuts/KeySymbols.h"
#include "KeyboardShortcuts/KeyboardLayout.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Localization.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QKeyEvent>
#include <QStringList>

#include <cmath>

namespace KeyboardShortcuts {

namespace {

// X11 core modifier mask bits.
constexpr uint32_t xShiftMask = 1 << 0;
constexpr uint32_t xControlMask = 1 << 2;
constexpr uint32_t xMod1Mask = 1 << 3; // Alt
constexpr uint32_t xMod4Mask = 1 << 6; // Super
constexpr int xKeyPress = 2;
constexpr int xKeyRelease = 3;

std::optional<int64_t> integerMember(const QJsonObject &object, QLatin1StringView name)
{
    const QJsonValue value = object.value(name);
    if (!value.isDouble())
        return std::nullopt;
    // Integers in the text are kept as 64-bit integers by the parser, so large values stay
    // exact; a fraction such as 7.5 is not a key code.
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong)
        return variant.toLongLong();
    const double number = value.toDouble();
    if (std::trunc(number) != number || number < -9223372036854775808.0 || number >= 9223372036854775808.0)
        return std::nullopt;
    return static_cast<int64_t>(number);
}

} // namespace

Shortcut::Shortcut(int64_t carbonKeyCode, int64_t carbonModifiers)
    : carbonKeyCode(carbonKeyCode)
    , carbonModifiers(ModifierFlags::fromCarbon(carbonModifiers).carbon())
{ }

Shortcut::Shortcut(Key key, ModifierFlags modifiers)
    : carbonKeyCode(key.rawValue)
    , carbonModifiers(modifiers.carbon())
{ }

Shortcut Shortcut::unnormalized(int64_t carbonKeyCode, int64_t carbonModifiers)
{
    return Shortcut(Unnormalized {}, carbonKeyCode, carbonModifiers);
}

std::optional<Shortcut> Shortcut::fromEvent(int type, int keyCode, uint64_t eventModifierFlags)
{
    if (type != RawEventType::keyDown && type != RawEventType::keyUp)
        return std::nullopt;
    const ModifierFlags flags = ModifierFlags(eventModifierFlags) - ModifierFlags::function;
    return Shortcut(static_cast<uint16_t>(keyCode), flags.carbon());
}

std::optional<Shortcut> Shortcut::fromEvent(const QKeyEvent &event)
{
    if (event.type() != QEvent::KeyPress && event.type() != QEvent::KeyRelease)
        return std::nullopt;
    const std::optional<int64_t> keyCode = KeyCodeMap::keyCodeForXKeycode(event.nativeScanCode());
    if (!keyCode)
        return std::nullopt;
    // AltGr is a modifier no shortcut can hold (grabs and storage know Shift, Control, Alt
    // and Super): a combination with it is not one of ours rather than the same keys without it.
    if (event.modifiers() & Qt::GroupSwitchModifier)
        return std::nullopt;
    // The keypad modifier only says where the key sits; the key code already tells that.
    const ModifierFlags flags = modifierFlags(event.modifiers());
    const int type = event.type() == QEvent::KeyPress ? RawEventType::keyDown : RawEventType::keyUp;
    return fromEvent(type, static_cast<int>(*keyCode), flags.rawValue);
}

std::optional<Shortcut> Shortcut::fromX11KeyEvent(int responseType, uint32_t keycode, uint32_t state)
{
    const int kind = responseType & 0x7f; // the top bit only marks events sent by clients
    if (kind != xKeyPress && kind != xKeyRelease)
        return std::nullopt;
    const std::optional<int64_t> keyCode = KeyCodeMap::keyCodeForXKeycode(keycode);
    if (!keyCode)
        return std::nullopt;
    ModifierFlags flags;
    if (state & xShiftMask)
        flags |= ModifierFlags::shift;
    if (state & xControlMask)
        flags |= ModifierFlags::control;
    if (state & xMod1Mask)
        flags |= ModifierFlags::option;
    if (state & xMod4Mask)
        flags |= ModifierFlags::command;
    const int type = kind == xKeyPress ? RawEventType::keyDown : RawEventType::keyUp;
    return fromEvent(type, static_cast<int>(*keyCode), flags.rawValue);
}

std::optional<Shortcut> Shortcut::fromName(const Name &name)
{
    return getShortcut(name);
}

QString Shortcut::description() const
{
    const QString prefix = modifiers().ks_symbolicRepresentation();
    if (const std::optional<SpecialKey> special = specialKeyForKeyCode(carbonKeyCode))
        return prefix + presentableDescription(*special);
    const QString character
        = keyToCharacter(carbonKeyCode).value_or(QString(QChar(QChar::ReplacementCharacter)));
    return prefix + capitalizedText(character);
}

QString Shortcut::displayText() const
{
    static constexpr std::pair<ModifierFlags, const char *> names[] = {
        { ModifierFlags::control, "Ctrl" },
        { ModifierFlags::option, "Alt" },
        { ModifierFlags::shift, "Shift" },
        { ModifierFlags::command, "Super" },
        { ModifierFlags::function, "Fn" },
    };
    QStringList parts;
    const ModifierFlags flags = modifiers();
    for (const auto &[flag, name] : names) {
        if (flags.contains(flag))
            parts << QLatin1String(name);
    }
    if (const std::optional<SpecialKey> special = specialKeyForKeyCode(carbonKeyCode))
        parts << keyName(*special);
    else
        parts << capitalizedText(
            keyToCharacter(carbonKeyCode).value_or(QString(QChar(QChar::ReplacementCharacter))));
    return parts.join(QLatin1Char('+'));
}

std::optional<QString> Shortcut::nsMenuItemKeyEquivalent() const
{
    if (const std::optional<SpecialKey> special = specialKeyForKeyCode(carbonKeyCode))
        return keyEquivalent(*special);
    return keyToCharacter(carbonKeyCode);
}

QByteArray Shortcut::toJson() const
{
    return QByteArrayLiteral("{\"carbonKeyCode\":") + QByteArray::number(static_cast<qint64>(carbonKeyCode))
        + QByteArrayLiteral(",\"carbonModifiers\":")
        + QByteArray::number(static_cast<qint64>(carbonModifiers)) + '}';
}

std::optional<Shortcut> Shortcut::fromJson(QByteArrayView json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const std::optional<int64_t> keyCode = integerMember(object, QLatin1StringView("carbonKeyCode"));
    const std::optional<int64_t> modifiers = integerMember(object, QLatin1StringView("carbonModifiers"));
    if (!keyCode || !modifiers)
        return std::nullopt;
    return unnormalized(*keyCode, *modifiers);
}

} // namespace KeyboardShortcuts
