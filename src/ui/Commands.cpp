#include "Commands.h"

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Notifier.h"
#include "app/AppState.h"

CommandAvailability CommandAvailability::of(const AppState &state)
{
    const bool idle = state.captureState().kind() != CaptureState::Kind::capturing;
    return { idle, idle && state.hasLastCapture(), state.hasExtractedText(), state.hasExtractedText() };
}

QString shortcutText(const KeyboardShortcuts::Name &name)
{
    const std::optional<KeyboardShortcuts::Shortcut> shortcut = KeyboardShortcuts::getShortcut(name);
    return shortcut ? shortcut->displayText() : QString();
}

QString titleWithShortcut(const QString &title, const KeyboardShortcuts::Name &name)
{
    const QString keys = shortcutText(name);
    return keys.isEmpty() ? title : title + QStringLiteral(" (") + keys + QLatin1Char(')');
}

QString menuTextWithShortcut(const QString &title, const KeyboardShortcuts::Name &name)
{
    const QString keys = shortcutText(name);
    // Qt puts what follows a tab in the menu's shortcut column; the key itself stays the
    // desktop's global hot key, not a shortcut of the menu.
    return keys.isEmpty() ? title : title + QLatin1Char('\t') + keys;
}

void onShortcutTextChange(QObject *receiver, const std::function<void()> &refresh)
{
    auto &notifier = KeyboardShortcuts::Notifier::instance();
    QObject::connect(&notifier, &KeyboardShortcuts::Notifier::shortcutByNameDidChange, receiver,
        [refresh](const KeyboardShortcuts::Name &) { refresh(); });
    QObject::connect(&notifier, &KeyboardShortcuts::Notifier::keyboardLayoutDidChange, receiver, refresh);
}
