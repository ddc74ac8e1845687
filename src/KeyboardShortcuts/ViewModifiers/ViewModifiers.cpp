#include "ViewModifiers.h"

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/QtKeys.h"

#include <QAction>
#include <QEvent>
#include <QKeySequence>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace KeyboardShortcuts {

namespace {

QKeySequence keySequenceFor(const Name &name)
{
    const std::optional<Shortcut> shortcut = getShortcut(name);
    const std::optional<QKeyCombination> combination = shortcut ? keyCombination(*shortcut) : std::nullopt;
    return combination ? QKeySequence(*combination) : QKeySequence();
}

// Subscribes while the widget is shown.
class ShownSubscription : public QObject {
public:
    ShownSubscription(QWidget *widget, const Name &name, std::function<void(EventType)> action)
        : QObject(widget)
        , m_name(name)
        , m_action(std::move(action))
    {
        widget->installEventFilter(this);
        if (widget->isVisible())
            subscribe();
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            subscribe();
        else if (event->type() == QEvent::Hide)
            m_subscription.reset();
        return false;
    }

private:
    void subscribe()
    {
        if (!m_subscription)
            m_subscription = std::make_unique<EventSubscription>(m_name, m_action);
    }

    Name m_name;
    std::function<void(EventType)> m_action;
    std::unique_ptr<EventSubscription> m_subscription;
};

// The names an item follows, held on the item as a child so that it goes with it.
class ShortcutFollower : public QObject {
public:
    enum class Mode { boundShortcut, menuItem };
    static constexpr char objectNameFor[] = "glyphwell-shortcut-follower";

    ShortcutFollower(QAction *action, const Name &name, Mode mode)
        : QObject(action)
        , m_action(action)
        , m_name(name)
        , m_mode(mode)
    {
        setObjectName(QLatin1String(objectNameFor));
        Notifier &notifier = Notifier::instance();
        connect(&notifier, &Notifier::shortcutByNameDidChange, this, [this](const Name &changed) {
            if (changed.rawValue() == m_name.rawValue())
                changedShortcut();
        });
        connect(&notifier, &Notifier::keyboardLayoutDidChange, this, &ShortcutFollower::changedShortcut);
        if (m_mode == Mode::boundShortcut) {
            connect(&notifier, &Notifier::recorderActiveStatusDidChange, this, [this](bool active) {
                m_recorderActive = active;
                update();
            });
        }
        update();
    }

    static void removeFrom(QAction *action)
    {
        const auto followers = action->findChildren<ShortcutFollower *>(
            QLatin1String(objectNameFor), Qt::FindDirectChildrenOnly);
        for (ShortcutFollower *follower : followers)
            delete follower;
    }

private:
    void changedShortcut()
    {
        if (m_mode == Mode::boundShortcut) {
            update();
            return;
        }
        // A menu item follows on the next turn, after everything else heard of the change.
        QTimer::singleShot(0, this, [this] { update(); });
    }
    void update()
    {
        if (m_action)
            m_action->setShortcut(m_recorderActive ? QKeySequence() : keySequenceFor(m_name));
    }

    QPointer<QAction> m_action;
    Name m_name;
    Mode m_mode;
    bool m_recorderActive = false;
};

} // namespace

void onGlobalKeyboardShortcut(QWidget *widget, const Name &name, std::function<void(EventType)> action)
{
    new ShownSubscription(widget, name, std::move(action));
}

void onGlobalKeyboardShortcut(QWidget *widget, const Name &name, EventType type, std::function<void()> action)
{
    onGlobalKeyboardShortcut(widget, name, [type, action = std::move(action)](EventType event) {
        if (event == type)
            action();
    });
}

void globalKeyboardShortcut(QAction *action, const Name &name)
{
    ShortcutFollower::removeFrom(action);
    new ShortcutFollower(action, name, ShortcutFollower::Mode::boundShortcut);
}

void setShortcut(QAction *item, const std::optional<Name> &name)
{
    ShortcutFollower::removeFrom(item);
    if (!name) {
        item->setShortcut(QKeySequence());
        return;
    }
    new ShortcutFollower(item, *name, ShortcutFollower::Mode::menuItem);
}

} // namespace KeyboardShortcuts
