#include "Recorder.h"

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Localization.h"
#include "KeyboardShortcuts/Registry.h"
#include "platform/PlatformMethods.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace KeyboardShortcuts {

Recorder::Recorder(const Name &name, Dialogs &dialogs, RecorderCocoa::ChangeHandler onChange, QWidget *parent)
    : QWidget(parent)
    , m_field(new RecorderCocoa(name, dialogs, std::move(onChange), this))
    , m_warning(new QLabel(this))
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(m_field, 0, Qt::AlignLeft);
    m_warning->setWordWrap(true);
    updateWarningColour();
    QFont font = m_warning->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    m_warning->setFont(font);
    m_warning->hide();
    column->addWidget(m_warning);

    // After the change has been registered (or refused) and the grabs are back.
    auto later = [this] { QTimer::singleShot(0, this, &Recorder::refreshWarning); };
    connect(&Notifier::instance(), &Notifier::shortcutByNameDidChange, this, later);
    connect(m_field, &RecorderCocoa::recordingEnded, this, later);
}

void Recorder::updateWarningColour()
{
    // A warning's orange, deep on light windows and pale on dark ones, so it reads on both.
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    QPalette warning = m_warning->palette();
    warning.setColor(QPalette::WindowText, dark ? QColor(0xff, 0xb7, 0x4d) : QColor(0xb2, 0x50, 0x00));
    m_warning->setPalette(warning);
}

void Recorder::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateWarningColour();
}

QString Recorder::warning() const
{
    return m_warning->isHidden() ? QString() : m_warning->text();
}

void Recorder::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The settings are where a refused shortcut is looked at: ask the desktop again first.
    if (Registry *registry = Registry::installed())
        registry->retryRefused();
    refreshWarning();
}

void Recorder::refreshWarning()
{
    Registry *registry = Registry::installed();
    const std::optional<Shortcut> shortcut = getShortcut(m_field->shortcutName());
    // While any recorder records, the grabs are let go on purpose: nothing to say then. Where
    // the desktop gives no program global shortcuts the settings say so once, below the fields.
    const bool refused = registry && !registry->isPaused() && shortcut
        && !registry->layer().isHeldByPlatform(*shortcut) && !platformMethods().needsDesktopBinding();
    QString text;
    if (refused) {
        text = localized(registry->layer().isHeldByAnotherProgram(*shortcut)
                ? QStringLiteral("keyboard_shortcut_held_by_another_program")
                : QStringLiteral("keyboard_shortcut_refused_by_desktop"));
    }
    m_warning->setText(text);
    m_warning->setVisible(refused);
}

} // namespace KeyboardShortcuts
