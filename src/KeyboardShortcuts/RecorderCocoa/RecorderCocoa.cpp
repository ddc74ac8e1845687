#include "RecorderCocoa.h"

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Localization.h"
#include "KeyboardShortcuts/QtKeys.h"
#include "KeyboardShortcuts/Registry.h"
#include "KeyboardShortcuts/SystemShortcuts.h"
#include "platform/Dialogs.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStyle>
#include <QTimer>

namespace KeyboardShortcuts {

namespace {

QPointer<QMenuBar> mainMenu;

// A rule of one desktop system's releases for sandboxed programs (Option or Option-Shift
// alone); no Linux desktop has it, so it never applies here.
bool systemForbidsOptionShortcutsWhenSandboxed()
{
    return false;
}

void setRecordingPaused(bool paused)
{
    if (Registry *registry = Registry::installed())
        registry->setPaused(paused);
}

// A modifier pressed on its way to a combination: X11 reports it as a key press of its own.
bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

// What the user reads in a menu: without the mnemonic marks.
QString menuTitle(const QAction &action)
{
    QString title = action.text();
    title.replace(QLatin1String("&&"), QLatin1String("\x01"));
    title.remove(QLatin1Char('&'));
    title.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return title;
}

} // namespace

void setApplicationMainMenu(QMenuBar *menuBar)
{
    mainMenu = menuBar;
}

QMenuBar *applicationMainMenu()
{
    return mainMenu;
}

RecorderCocoa::RecorderCocoa(const Name &name, Dialogs &dialogs, ChangeHandler onChange, QWidget *parent)
    : QLineEdit(parent)
    , isSystemShortcut([](const Shortcut &shortcut) { return isUsedBySystem(shortcut); })
    , m_name(name)
    , m_dialogs(dialogs)
    , m_onChange(std::move(onChange))
{
    setAlignment(Qt::AlignCenter);
    setPlaceholderText(localized(QStringLiteral("record_shortcut")));
    // Typed text never becomes the content: keys are shortcuts here. Qt's own clear button
    // does nothing in a read-only field, so the field carries one of its own.
    setReadOnly(true);
    m_clearAction
        = addAction(style()->standardIcon(QStyle::SP_LineEditClearButton), QLineEdit::TrailingPosition);
    m_clearAction->setObjectName(QStringLiteral("clearShortcut"));
    m_clearAction->setToolTip(localized(QStringLiteral("clear_shortcut")));
    connect(m_clearAction, &QAction::triggered, this, &RecorderCocoa::clearShortcut);
    setContextMenuPolicy(Qt::NoContextMenu);
    setDragEnabled(false);
    setAcceptDrops(false);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(localized(QStringLiteral("record_shortcut")));
    refreshStringValue();

    connect(
        &Notifier::instance(), &Notifier::combinationTakenElsewhere, this, [this](const Shortcut &shortcut) {
            if (QApplication::focusWidget() == this)
                handleCombinationTakenElsewhere(shortcut);
        });
    connect(&Notifier::instance(), &Notifier::shortcutByNameDidChange, this, [this](const Name &changed) {
        if (changed.rawValue() == m_name.rawValue())
            refreshStringValue();
    });
    connect(
        &Notifier::instance(), &Notifier::keyboardLayoutDidChange, this, &RecorderCocoa::refreshStringValue);
    connect(this, &QLineEdit::textChanged, this,
        [this](const QString &text) { m_clearAction->setVisible(!text.isEmpty()); });
    m_clearAction->setVisible(!text().isEmpty());
}

RecorderCocoa::~RecorderCocoa()
{
    endRecording();
}

void RecorderCocoa::setShortcutName(const Name &name)
{
    const bool changed = name.rawValue() != m_name.rawValue();
    m_name = name;
    if (changed)
        refreshStringValue();
}

QSize RecorderCocoa::sizeHint() const
{
    QSize size = QLineEdit::sizeHint();
    size.setWidth(qMax(minimumWidth, fontMetrics().horizontalAdvance(text()) + 48));
    return size;
}

QSize RecorderCocoa::minimumSizeHint() const
{
    return sizeHint();
}

void RecorderCocoa::refreshStringValue()
{
    const std::optional<Shortcut> shortcut = getShortcut(m_name);
    setText(shortcut ? shortcut->displayText() : QString());
    updateGeometry();
}

void RecorderCocoa::showEvent(QShowEvent *event)
{
    QLineEdit::showEvent(event);
    if (m_watchedWindow != window()) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = window();
        m_watchedWindow->installEventFilter(this);
    }
    preventBecomingKey();
}

void RecorderCocoa::preventBecomingKey()
{
    // A window that appears or comes forward focuses its first control by itself; this one
    // should only be focused by a click or Tab, so it takes no focus until the next turn.
    setFocusPolicy(Qt::NoFocus);
    QTimer::singleShot(0, this, [this] { setFocusPolicy(Qt::StrongFocus); });
}

void RecorderCocoa::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    startRecording();
}

void RecorderCocoa::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    endRecording();
}

void RecorderCocoa::startRecording()
{
    if (m_recording || !window())
        return;
    m_recording = true;
    setPlaceholderText(localized(QStringLiteral("press_shortcut")));
    setRecordingPaused(true);
    Q_EMIT Notifier::instance().recorderActiveStatusDidChange(true);
    // Mouse releases anywhere in the program, to end recording on a click elsewhere.
    qApp->installEventFilter(this);
}

void RecorderCocoa::endRecording()
{
    if (!m_recording)
        return;
    m_recording = false;
    qApp->removeEventFilter(this);
    setPlaceholderText(localized(QStringLiteral("record_shortcut")));
    setRecordingPaused(false);
    Q_EMIT Notifier::instance().recorderActiveStatusDidChange(false);
    Q_EMIT recordingEnded();
}

bool RecorderCocoa::event(QEvent *event)
{
    if (m_recording) {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Every combination is for us while recording, none for the window's shortcuts.
            event->accept();
            return true;
        case QEvent::KeyPress:
            m_lastStep = handleKeyPress(*static_cast<QKeyEvent *>(event));
            if (m_lastStep == Step::tab)
                return QLineEdit::event(event); // moves the focus on
            event->accept();
            return true;
        case QEvent::KeyRelease:
            event->accept();
            return true;
        default:
            break;
        }
    }
    return QLineEdit::event(event);
}

void RecorderCocoa::keyPressEvent(QKeyEvent *event)
{
    // Not recording (no focus): nothing to type into.
    event->ignore();
}

bool RecorderCocoa::eventFilter(QObject *watched, QEvent *event)
{
    if (m_recording && event->type() == QEvent::MouseButtonRelease && watched->isWidgetType()) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton)
            return false;
        // The clear button inside the field works as a button.
        auto *target = static_cast<QWidget *>(watched);
        if (target != this && isAncestorOf(target))
            return false;
        m_lastStep = handleMouseRelease(*mouse);
        return m_lastStep == Step::clickInside;
    }
    if (watched == m_watchedWindow) {
        if (event->type() == QEvent::WindowActivate && m_resumeWhenActive && !m_recording) {
            m_resumeWhenActive = false;
            setFocus(Qt::OtherFocusReason);
        } else if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) {
            preventBecomingKey();
        } else if (event->type() == QEvent::WindowDeactivate && m_recording)
            clearFocus();
    }
    return false;
}

RecorderCocoa::Step RecorderCocoa::handleMouseRelease(const QMouseEvent &event)
{
    m_resumeWhenActive = false;
    const QPointF point = mapFromGlobal(event.globalPosition());
    if (!QRectF(rect()).adjusted(-3, -3, 3, 3).contains(point)) {
        clearFocus();
        return Step::clickOutside;
    }
    return Step::clickInside;
}

RecorderCocoa::Step RecorderCocoa::handleKeyPress(const QKeyEvent &event)
{
    m_resumeWhenActive = false;
    // Caps lock and the keypad say nothing about the combination.
    const Qt::KeyboardModifiers modifiers
        = event.modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier);
    const bool noModifiers = modifiers == Qt::NoModifier;
    const int key = event.key();

    if (isModifierKey(key))
        return Step::other; // the combination is not complete yet
    if ((key == Qt::Key_Tab && noModifiers) || key == Qt::Key_Backtab)
        return Step::tab;
    if (key == Qt::Key_Escape && noModifiers) {
        clearFocus();
        return Step::cancel;
    }
    if ((key == Qt::Key_Delete || key == Qt::Key_Backspace) && noModifiers) {
        clearShortcut();
        return Step::clear;
    }
    return handleCombination(modifiers, key, Shortcut::fromEvent(event));
}

void RecorderCocoa::handleCombinationTakenElsewhere(const Shortcut &shortcut)
{
    if (!m_recording)
        return;
    const std::optional<QKeyCombination> combination = keyCombination(shortcut);
    m_lastStep = handleCombination(combination ? combination->keyboardModifiers() : Qt::NoModifier,
        combination ? int(combination->key()) : 0, shortcut);
}

RecorderCocoa::Step RecorderCocoa::handleCombination(
    Qt::KeyboardModifiers modifiers, int key, const std::optional<Shortcut> &shortcut)
{
    if (!(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        && !(key >= Qt::Key_F1 && key <= Qt::Key_F35)) {
        m_dialogs.beep();
        return Step::needsModifier;
    }
    if (!shortcut) {
        m_dialogs.beep();
        return Step::notAShortcut;
    }
    if (QMenuBar *menu = applicationMainMenu()) {
        if (QAction *item
            = menuItemWithMatchingShortcut(menu->actions(), QKeyCombination(modifiers, Qt::Key(key)))) {
            alertWhileNotRecording(
                localized(QStringLiteral("keyboard_shortcut_used_by_menu_item")).arg(menuTitle(*item)), {},
                {});
            return Step::usedByMenuItem;
        }
    }
    if (systemForbidsOptionShortcutsWhenSandboxed() && isSandboxed()
        && (shortcut->modifiers().rawValue & 0x9D0000) == ModifierFlags::option.rawValue) {
        alertWhileNotRecording(localized(QStringLiteral("keyboard_shortcut_disallowed")), {}, {});
        return Step::disallowed;
    }
    const bool plainF12 = shortcut->key() == Key::f12 && shortcut->modifiers().isEmpty();
    if (!plainF12 && isSystemShortcut && isSystemShortcut(*shortcut)) {
        const int answer
            = alertWhileNotRecording(localized(QStringLiteral("keyboard_shortcut_used_by_system")),
                localized(QStringLiteral("keyboard_shortcuts_can_be_changed")),
                { localized(QStringLiteral("ok")), localized(QStringLiteral("force_use_shortcut")) });
        if (answer != 1)
            return Step::keptSystemShortcut;
    }

    m_resumeWhenActive = false;
    setText(shortcut->displayText());
    setShortcut(shortcut, m_name);
    if (m_onChange)
        m_onChange(shortcut);
    clearFocus();
    return Step::stored;
}

void RecorderCocoa::clearShortcut()
{
    setText(QString());
    setShortcut(std::nullopt, m_name);
    if (m_onChange)
        m_onChange(std::nullopt);
}

int RecorderCocoa::alertWhileNotRecording(
    const QString &message, const QString &informative, const QStringList &buttons)
{
    clearFocus();
    AlertSpec alert;
    alert.style = AlertSpec::Style::warning;
    alert.messageText = message;
    alert.informativeText = informative;
    alert.buttons = buttons.isEmpty() ? QStringList { localized(QStringLiteral("ok")) } : buttons;
    alert.window = window();
    const int answer = m_dialogs.runModalAlert(alert);
    setFocus(Qt::OtherFocusReason);
    m_resumeWhenActive = true;
    return answer;
}

QAction *RecorderCocoa::menuItemWithMatchingShortcut(
    const QList<QAction *> &actions, QKeyCombination combination) const
{
    const QKeySequence pressed(combination);
    for (QAction *action : actions) {
        for (const QKeySequence &sequence : action->shortcuts()) {
            if (sequence.count() == 1 && sequence == pressed)
                return action;
        }
        if (QMenu *submenu = action->menu()) {
            if (QAction *found = menuItemWithMatchingShortcut(submenu->actions(), combination))
                return found;
        }
    }
    return nullptr;
}

} // namespace KeyboardShortcuts
