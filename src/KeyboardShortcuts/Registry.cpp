#include "Registry.h"

#include "KeyboardShortcuts/KeyboardShortcuts.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace KeyboardShortcuts {

namespace {
Registry *installedRegistry = nullptr;
}

Registry::Registry(HotKeyBackend &backend, QObject *parent)
    : QObject(parent)
    , m_layer(backend, [this] { return std::pair(m_isEnabled && !m_isPaused, m_isMenuOpen); })
{ }

Registry::~Registry()
{
    if (installedRegistry == this)
        install(nullptr);
    if (m_isInitialized && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

void Registry::install(Registry *registry)
{
    installedRegistry = registry;
    setHotKeyRegistry(registry);
}

Registry *Registry::installed()
{
    return installedRegistry;
}

void Registry::registerShortcut(const Shortcut &shortcut)
{
    if (m_registeredShortcuts.contains(shortcut))
        return;
    m_layer.registerShortcut(
        shortcut, [this](const Shortcut &pressed) { handleOnKeyDown(pressed); },
        [this](const Shortcut &released) { handleOnKeyUp(released); });
    // Counted even when the desktop refused it; retryRefused() asks again later.
    m_registeredShortcuts.insert(shortcut);
}

void Registry::retryRefused()
{
    // While paused or a popup is open the grabs are let go on purpose; they come back then.
    if (!m_isEnabled || m_isPaused || m_isMenuOpen)
        return;
    for (const Shortcut &shortcut : QSet<Shortcut>(m_registeredShortcuts)) {
        if (m_layer.idOf(shortcut))
            continue;
        m_layer.registerShortcut(
            shortcut, [this](const Shortcut &pressed) { handleOnKeyDown(pressed); },
            [this](const Shortcut &released) { handleOnKeyUp(released); });
    }
}

void Registry::unregisterShortcut(const Shortcut &shortcut)
{
    m_layer.unregisterShortcut(shortcut);
    m_registeredShortcuts.remove(shortcut);
}

void Registry::initialize()
{
    if (m_isInitialized || !QCoreApplication::instance())
        return;
    QCoreApplication::instance()->installEventFilter(this);
    // Becoming active is when a window of ours takes the focus after none had it (on X11 the
    // application state may stay "active" while another program has the focus, and a window
    // that hides drops the focus without a word).
    if (auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::focusWindowChanged, this, [this](QWindow *window) {
            const bool hadFocus = m_focusWindow && m_focusWindow->isVisible();
            m_focusWindow = window;
            if (window && !hadFocus)
                retryRefused();
        });
    }
    m_isInitialized = true;
}

namespace {

// Menus, a combo box's list, the tray panel: a popup takes the keyboard while it is open, so
// the desktop's hot keys cannot fire then.
bool isPopup(const QWidget *widget)
{
    return widget->isWindow() && widget->windowType() == Qt::Popup;
}

} // namespace

bool Registry::eventFilter(QObject *watched, QEvent *event)
{
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && watched->isWidgetType()
        && isPopup(static_cast<QWidget *>(watched))) {
        // Counted afresh each time: submenus and menus closed as a chain hide in any order.
        bool anyOpen = false;
        for (QWidget *widget : QApplication::topLevelWidgets())
            anyOpen = anyOpen || (isPopup(widget) && widget->isVisible());
        setMenuOpen(anyOpen);
    }
    return QObject::eventFilter(watched, event);
}

void Registry::setMenuOpen(bool open)
{
    if (open == m_isMenuOpen)
        return;
    m_isMenuOpen = open;
    m_layer.updateEventHandler();
}

void Registry::setPaused(bool paused)
{
    if (paused == m_isPaused)
        return;
    m_isPaused = paused;
    m_layer.updateEventHandler();
}

void Registry::setEnabled(bool enabled)
{
    if (enabled == m_isEnabled)
        return;
    m_isEnabled = enabled;
    m_layer.updateEventHandler();
}

bool Registry::isEnabled(const Name &name) const
{
    if (!m_isEnabled)
        return false;
    const std::optional<Shortcut> shortcut = getShortcut(name);
    return shortcut && m_registeredShortcuts.contains(*shortcut);
}

void Registry::onKeyDown(const Name &name, Action action)
{
    m_keyDownHandlers[name].push_back(std::move(action));
    if (const std::optional<Shortcut> shortcut = getShortcut(name))
        registerShortcut(*shortcut);
}

void Registry::onKeyUp(const Name &name, Action action)
{
    m_keyUpHandlers[name].push_back(std::move(action));
    if (const std::optional<Shortcut> shortcut = getShortcut(name))
        registerShortcut(*shortcut);
}

void Registry::removeHandler(const Name &name)
{
    m_keyDownHandlers.remove(name);
    m_keyUpHandlers.remove(name);
    const std::optional<Shortcut> shortcut = getShortcut(name);
    if (!shortcut)
        return;
    // Another name's actions or a stream still listening to the same combination keep it
    // registered.
    const auto listens = [&](const auto &table) {
        for (auto it = table.cbegin(); it != table.cend(); ++it) {
            if (getShortcut(it.key()) == shortcut)
                return true;
        }
        return false;
    };
    if (listens(m_keyDownHandlers) || listens(m_keyUpHandlers) || listens(streamKeyDownHandlers)
        || listens(streamKeyUpHandlers))
        return;
    unregisterShortcut(*shortcut);
}

void Registry::removeAllHandlers()
{
    QSet<Shortcut> shortcuts;
    auto collect = [&](const auto &table) {
        for (auto it = table.cbegin(); it != table.cend(); ++it) {
            if (const std::optional<Shortcut> shortcut = getShortcut(it.key()))
                shortcuts.insert(*shortcut);
        }
    };
    collect(m_keyDownHandlers);
    collect(m_keyUpHandlers);
    collect(streamKeyDownHandlers);
    collect(streamKeyUpHandlers);
    for (const Shortcut &shortcut : std::as_const(shortcuts))
        unregisterShortcut(shortcut);
    m_keyDownHandlers.clear();
    m_keyUpHandlers.clear();
}

void Registry::enable(const std::vector<Name> &names)
{
    for (const Name &name : names) {
        if (const std::optional<Shortcut> shortcut = getShortcut(name))
            registerShortcut(*shortcut);
    }
}

void Registry::disable(const std::vector<Name> &names)
{
    for (const Name &name : names) {
        if (const std::optional<Shortcut> shortcut = getShortcut(name))
            unregisterShortcut(*shortcut);
    }
}

void Registry::handleOnKeyDown(const Shortcut &shortcut)
{
    dispatch(shortcut, m_keyDownHandlers, streamKeyDownHandlers);
}

void Registry::handleOnKeyUp(const Shortcut &shortcut)
{
    dispatch(shortcut, m_keyUpHandlers, streamKeyUpHandlers);
}

void Registry::dispatch(const Shortcut &shortcut, const QHash<Name, std::vector<Action>> &handlers,
    const QHash<Name, QHash<QUuid, Action>> &streams)
{
    if (m_isPaused)
        return;
    // Copies: an action may add or remove handlers while we walk them.
    const QHash<Name, std::vector<Action>> actionTable = handlers;
    for (auto it = actionTable.cbegin(); it != actionTable.cend(); ++it) {
        if (getShortcut(it.key()) != shortcut)
            continue;
        for (const Action &action : it.value())
            action();
    }
    const QHash<Name, QHash<QUuid, Action>> streamTable = streams;
    for (auto it = streamTable.cbegin(); it != streamTable.cend(); ++it) {
        if (getShortcut(it.key()) != shortcut)
            continue;
        for (const Action &action : it.value())
            action();
    }
}

void onKeyDown(const Name &name, std::function<void()> action)
{
    if (Registry *registry = Registry::installed())
        registry->onKeyDown(name, std::move(action));
}

void onKeyUp(const Name &name, std::function<void()> action)
{
    if (Registry *registry = Registry::installed())
        registry->onKeyUp(name, std::move(action));
}

void removeHandler(const Name &name)
{
    if (Registry *registry = Registry::installed())
        registry->removeHandler(name);
}

void removeAllHandlers()
{
    if (Registry *registry = Registry::installed())
        registry->removeAllHandlers();
}

} // namespace KeyboardShortcuts
