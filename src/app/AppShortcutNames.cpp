#include "AppShortcutNames.h"

namespace KeyboardShortcuts::AppShortcutNames {

Shortcut captureTextDefault()
{
    return Shortcut(Key::x, ModifierFlags::command | ModifierFlags::shift);
}

const Name &captureText()
{
    static const Name name(QStringLiteral("captureText"), captureTextDefault());
    return name;
}

const Name &captureWithoutLineBreaks()
{
    static const Name name(QStringLiteral("captureWithoutLineBreaks"));
    return name;
}

const Name &captureLastSelection()
{
    static const Name name(QStringLiteral("captureLastSelection"));
    return name;
}

} // namespace KeyboardShortcuts::AppShortcutNames
