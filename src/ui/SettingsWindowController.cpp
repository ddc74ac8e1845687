#include "SettingsWindowController.h"

#include "Icons.h"
#include "KeyboardShortcuts/DesktopAccelerator.h"
#include "KeyboardShortcuts/GnomeCustomShortcut.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/RecorderCocoa/Recorder.h"
#include "RefreshScheduler.h"
#include "app/AppShortcutNames.h"
#include "app/Preferences.h"
#include "platform/DesktopBinding.h"
#include "platform/PlatformMethods.h"
#include "platform/QtDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// Three switches bound both ways to the preferences, following every change of the object,
// the spring-back of a refused autostart entry included.
class GeneralTab : public QWidget {
public:
    GeneralTab(Preferences &prefs, QWidget *parent)
        : QWidget(parent)
        , m_prefs(prefs)
        , m_scheduler(new RefreshScheduler([this] { refresh(); }, this))
    {
        auto *form = new QVBoxLayout(this);
        form->setContentsMargins(24, 24, 24, 24);
        form->setSpacing(12);
        m_launchAtLogin
            = addSwitch(form, QStringLiteral("Launch at login"), QStringLiteral("launchAtLoginSwitch"));
        m_autoCopy = addSwitch(
            form, QStringLiteral("Auto-copy to clipboard after capture"), QStringLiteral("autoCopySwitch"));
        m_additive = addSwitch(form, QStringLiteral("Additive clipboard (append to existing)"),
            QStringLiteral("additiveClipboardSwitch"));
        form->addStretch(1);
        connect(
            m_launchAtLogin, &QCheckBox::clicked, this, [this](bool on) { m_prefs.setLaunchAtLogin(on); });
        connect(m_autoCopy, &QCheckBox::clicked, this, [this](bool on) { m_prefs.setAutoCopy(on); });
        connect(m_additive, &QCheckBox::clicked, this, [this](bool on) { m_prefs.setAdditiveClipboard(on); });
        connect(&m_prefs, &Preferences::objectWillChange, m_scheduler, &RefreshScheduler::schedule);
        refresh();
    }

private:
    QCheckBox *addSwitch(QVBoxLayout *form, const QString &label, const QString &name)
    {
        auto *box = new QCheckBox(label, this);
        box->setObjectName(name);
        form->addWidget(box);
        return box;
    }
    void refresh()
    {
        m_launchAtLogin->setChecked(m_prefs.launchAtLogin());
        m_autoCopy->setChecked(m_prefs.autoCopy());
        m_additive->setChecked(m_prefs.additiveClipboard());
    }

    Preferences &m_prefs;
    RefreshScheduler *m_scheduler;
    QCheckBox *m_launchAtLogin;
    QCheckBox *m_autoCopy;
    QCheckBox *m_additive;
};

// One recorder for each of the three capture shortcuts.
class ShortcutsTab : public QWidget {
public:
    ShortcutsTab(Dialogs &dialogs, QWidget *parent)
        : QWidget(parent)
    {
        using namespace KeyboardShortcuts;
        auto *form = new QFormLayout(this);
        form->setContentsMargins(24, 24, 24, 24);
        form->setFormAlignment(Qt::AlignLeft | Qt::AlignTop);
        form->setLabelAlignment(Qt::AlignLeft);
        form->setVerticalSpacing(12);
        const std::pair<QString, const Name *> rows[] = {
            { QStringLiteral("Capture Text"), &AppShortcutNames::captureText() },
            { QStringLiteral("Without Line Breaks"), &AppShortcutNames::captureWithoutLineBreaks() },
            { QStringLiteral("Capture Last Selection"), &AppShortcutNames::captureLastSelection() },
        };
        for (const auto &[label, name] : rows) {
            auto *recorder = new Recorder(*name, dialogs, {}, this);
            recorder->setObjectName(name->rawValue() + QStringLiteral("Recorder"));
            recorder->field().setAccessibleName(label);
            auto *title = new QLabel(label, this);
            title->setBuddy(&recorder->field());
            form->addRow(title, recorder);
        }
        if (platformMethods().needsDesktopBinding()) {
            // Without this the fields would look as if they worked.
            const DesktopFamily desktop = currentDesktopFamily();
            const QString where = desktop == DesktopFamily::gnome
                ? QStringLiteral(
                    "In GNOME Settings > Keyboard > Keyboard Shortcuts > Custom Shortcuts, add one "
                    "running \"glyphwell --capture\", or let Glyphwell add Capture Text's.")
                : desktopBindingHint(desktop);
            auto *note
                = new QLabel(QStringLiteral("This desktop does not give programs global shortcuts, so these "
                                            "take effect only where it does. ")
                        + where.toHtmlEscaped(),
                    this);
            note->setObjectName(QStringLiteral("desktopBindingNote"));
            note->setWordWrap(true);
            note->setTextFormat(Qt::RichText);
            form->addRow(note);
            if (desktop == DesktopFamily::gnome)
                addGnomeBinding(*form);
        }
    }

private:
    // GNOME's own custom shortcut running the capture, with Capture Text's combination.
    void addGnomeBinding(QFormLayout &form)
    {
        auto *add = new QPushButton(QStringLiteral("&Add to GNOME's keyboard shortcuts"), this);
        add->setObjectName(QStringLiteral("addGnomeShortcut"));
        m_gnomeStatus = new QLabel(this);
        m_gnomeStatus->setObjectName(QStringLiteral("gnomeShortcutStatus"));
        m_gnomeStatus->setWordWrap(true);
        // Room for what it will say: a wrapped label added empty is laid out one line high.
        m_gnomeStatus->setMinimumHeight(m_gnomeStatus->fontMetrics().lineSpacing() * 3);
        m_gnomeStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        auto *row = new QHBoxLayout;
        row->addWidget(add);
        row->addStretch();
        form.addRow(row);
        form.addRow(m_gnomeStatus);
        connect(add, &QPushButton::clicked, this, [this, add] { addToGnome(add); });
    }

    QCoro::Task<> addToGnome(QPushButton *button)
    {
        using namespace KeyboardShortcuts;
        const std::optional<Shortcut> shortcut = getShortcut(AppShortcutNames::captureText());
        const std::optional<QString> binding = shortcut ? gnomeAccelerator(*shortcut) : std::nullopt;
        if (!binding) {
            m_gnomeStatus->setText(QStringLiteral("Give Capture Text a shortcut GNOME can bind first."));
            co_return;
        }
        QPointer<QPushButton> alive(button);
        button->setEnabled(false);
        m_gnomeStatus->setText(QStringLiteral("Adding…"));
        const QString command = captureCommand();
        const std::optional<QString> problem = co_await GnomeCustomShortcut::apply(
            QStringLiteral("Glyphwell: Capture Text"), command, *binding);
        if (!alive)
            co_return;
        button->setEnabled(true);
        m_gnomeStatus->setText(problem
                ? *problem
                : QStringLiteral("Added to GNOME Settings > Keyboard > Custom Shortcuts: %1 runs %2.")
                      .arg(shortcut->displayText(), command));
    }

    // "glyphwell --capture" where that name finds this program; its full path otherwise.
    static QString captureCommand()
    {
        QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
        const QString found = QStandardPaths::findExecutable(QStringLiteral("glyphwell"));
        if (!found.isEmpty() && QFileInfo(found).canonicalFilePath() == self)
            return QStringLiteral("glyphwell --capture");
        // GNOME splits the command as a shell would.
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+-]+$"));
        QString quoted = self;
        if (!plain.match(self).hasMatch())
            quoted = QLatin1Char('\'') + self.replace(QLatin1Char('\''), QStringLiteral("'\\''"))
                + QLatin1Char('\'');
        return quoted + QStringLiteral(" --capture");
    }

    QLabel *m_gnomeStatus = nullptr;
};

} // namespace

SettingsView::SettingsView(Preferences &preferences, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent)
    , m_tabs(new QTabWidget(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
    m_tabs->setDocumentMode(true);
    m_tabs->addTab(
        new GeneralTab(preferences, m_tabs), symbolIcon(QStringLiteral("gear")), QStringLiteral("General"));
    m_tabs->addTab(new ShortcutsTab(dialogs, m_tabs), symbolIcon(QStringLiteral("command")),
        QStringLiteral("Shortcuts"));
    // The keyboard starts on the tabs: Ctrl+Tab turns them, Tab enters the page. A control
    // hidden with its page hands the focus back to them, rather than to the next page's.
    m_tabs->tabBar()->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_tabs->tabBar());
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] {
        QWidget *focus = QApplication::focusWidget();
        if (!focus || (isAncestorOf(focus) && !focus->isVisible()))
            m_tabs->tabBar()->setFocus(Qt::TabFocusReason);
    });
}

SettingsWindowController::SettingsWindowController(Preferences &preferences, Dialogs &dialogs)
    : m_preferences(preferences)
    , m_dialogs(dialogs)
{ }

SettingsWindowController::~SettingsWindowController()
{
    // The program's instance outlives the application object; its window went at quit.
    if (QCoreApplication::instance())
        delete m_window;
}

SettingsWindowController &SettingsWindowController::shared(Dialogs *dialogs)
{
    static QtDialogs qtDialogs;
    static SettingsWindowController instance(Preferences::shared(), dialogs ? *dialogs : qtDialogs);
    return instance;
}

void SettingsWindowController::show()
{
    const bool creating = !m_window;
    if (creating) {
        // Titled, closable and minimisable; neither resizable nor maximisable.
        m_window = new SettingsView(m_preferences, m_dialogs);
        QObject::connect(
            qApp, &QCoreApplication::aboutToQuit, m_window, [window = m_window] { delete window; });
        m_window->setObjectName(QStringLiteral("settings"));
        m_window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
            | Qt::WindowMinimizeButtonHint | Qt::CustomizeWindowHint);
        m_window->setWindowTitle(QStringLiteral("Glyphwell Settings"));
        m_window->setFixedSize(contentSize);
        QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (screen)
            m_window->move(screen->availableGeometry().center()
                - QPoint(contentSize.width() / 2, contentSize.height() / 2));
    }
    if (m_window->isMinimized())
        m_window->showNormal();
    else
        m_window->show();
    m_window->raise();
    m_window->activateWindow();
    if (creating)
        m_window->setFocus(Qt::ActiveWindowFocusReason);
}
