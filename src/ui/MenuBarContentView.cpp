#include "MenuBarContentView.h"

#include "Commands.h"
#include "Icons.h"
#include "LanguagePicker.h"
#include "LineLimitedLabel.h"
#include "RefreshScheduler.h"
#include "Style.h"
#include "TextExcerpt.h"
#include "app/AppShortcutNames.h"
#include "app/AppState.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include <xcb/xcb.h>

namespace {

QPushButton *panelButton(
    const QString &title, const QString &name, QWidget *parent, const QString &symbol = {})
{
    auto *button = symbol.isEmpty() ? new QPushButton(title, parent)
                                    : new QPushButton(symbolIcon(symbol), title, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

// Wraps a widget in the padding it carries.
QWidget *padded(QWidget *content, int horizontal, int top, int bottom, QWidget *parent)
{
    auto *box = new QWidget(parent);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(horizontal, top, horizontal, bottom);
    layout->setSpacing(0);
    content->setParent(box);
    layout->addWidget(content);
    return box;
}

QLabel *captionLabel(const QString &text, bool semibold, bool secondary, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = Style::captionFont();
    if (semibold)
        font.setWeight(QFont::DemiBold);
    label->setFont(font);
    label->setWordWrap(true);
    if (secondary)
        Style::follow(label, Style::Role::secondaryText);
    return label;
}

} // namespace

MenuBarContentView::MenuBarContentView(AppState &state, std::optional<Edge> edge, QWidget *parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
    , m_state(state)
    , m_edge(edge.value_or(desktopComposites() ? Edge::shadow : Edge::border))
    , m_frame(new QWidget(this))
    , m_scheduler(new RefreshScheduler([this] { refresh(); }, this))
{
    setObjectName(QStringLiteral("trayPanel"));
    setWindowTitle(QStringLiteral("Glyphwell"));
    const int margin = m_edge == Edge::shadow ? shadowMargin : 0;
    if (m_edge == Edge::shadow) {
        // Chosen before the window exists: the shadow needs a visual with alpha.
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    setFixedSize(panelSize + QSize(2 * margin, 2 * margin));
    auto *outer = new QVBoxLayout(this);
    // The content keeps off the one-pixel edge the panel paints around it.
    outer->setContentsMargins(margin + 1, margin + 1, margin + 1, margin + 1);
    outer->addWidget(m_frame);
    m_frame->setObjectName(QStringLiteral("panelFrame"));

    QWidget *self = m_frame;
    auto *column = new QVBoxLayout(self);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // 1. Capture.
    m_captureButton = panelButton(
        QStringLiteral("Capture Text"), QStringLiteral("captureButton"), this, QStringLiteral("viewfinder"));
    m_captureButton->setStyleSheet(QStringLiteral("text-align: left; padding-left: 8px;"));
    m_captureButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    // The global shortcut, drawn over the button's right end where its text never reaches.
    m_captureShortcut = new QLabel(m_captureButton);
    m_captureShortcut->setObjectName(QStringLiteral("captureShortcutLabel"));
    m_captureShortcut->setFont(Style::captionFont());
    m_captureShortcut->setAttribute(Qt::WA_TransparentForMouseEvents);
    Style::follow(m_captureShortcut, Style::Role::secondaryText);
    auto *buttonRow = new QHBoxLayout(m_captureButton);
    buttonRow->setContentsMargins(0, 0, 10, 0);
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_captureShortcut);
    column->addWidget(padded(m_captureButton, 12, 12, 4, self));

    // 2. Copy, Export, the language.
    auto *commands = new QWidget(self);
    auto *commandRow = new QHBoxLayout(commands);
    commandRow->setContentsMargins(0, 0, 0, 0);
    commandRow->setSpacing(8);
    m_copyButton = panelButton(QStringLiteral("Copy"), QStringLiteral("copyButton"), commands);
    m_exportButton = panelButton(QStringLiteral("Export"), QStringLiteral("exportButton"), commands);
    m_languagePicker = new LanguagePicker(m_state, commands);
    m_languagePicker->setObjectName(QStringLiteral("languagePicker"));
    m_languagePicker->setAccessibleName(QStringLiteral("OCR Language"));
    commandRow->addWidget(m_copyButton);
    commandRow->addWidget(m_exportButton);
    commandRow->addStretch(1);
    commandRow->addWidget(m_languagePicker);
    column->addWidget(padded(commands, 12, 0, 8, self));

    // 3, 4. The status line, two lines at most.
    column->addWidget(divider(self));
    m_status = new LineLimitedLabel(2, self);
    m_status->setObjectName(QStringLiteral("statusLine"));
    m_status->setFont(Style::captionFont());
    Style::follow(m_status, Style::Role::secondaryText);
    column->addWidget(padded(m_status, 12, 6, 6, self));

    // 5. While screen capture is not allowed.
    m_permissionSection = new QWidget(self);
    m_permissionSection->setObjectName(QStringLiteral("permissionSection"));
    auto *permission = new QVBoxLayout(m_permissionSection);
    permission->setContentsMargins(0, 0, 0, 0);
    permission->setSpacing(0);
    permission->addWidget(divider(self));
    auto *notice = new QWidget(m_permissionSection);
    auto *noticeColumn = new QVBoxLayout(notice);
    noticeColumn->setContentsMargins(12, 8, 12, 8);
    noticeColumn->setSpacing(8);
    noticeColumn->addWidget(
        captionLabel(QStringLiteral("Screen Recording permission not granted"), true, false, notice));
    noticeColumn->addWidget(captionLabel(
        QStringLiteral("Glyphwell needs it to read selected screen text. Everything stays local."), false,
        true, notice));
    auto *openSettings
        = panelButton(QStringLiteral("Open Settings"), QStringLiteral("openSettingsButton"), notice);
    auto *checkAgain = panelButton(QStringLiteral("Check Again"), QStringLiteral("checkAgainButton"), notice);
    noticeColumn->addWidget(openSettings, 0, Qt::AlignLeft);
    noticeColumn->addWidget(checkAgain, 0, Qt::AlignLeft);
    permission->addWidget(notice);
    column->addWidget(m_permissionSection);

    // 6. The newest capture.
    m_recentSection = new QWidget(self);
    m_recentSection->setObjectName(QStringLiteral("recentCaptureSection"));
    auto *recent = new QVBoxLayout(m_recentSection);
    recent->setContentsMargins(0, 0, 0, 0);
    recent->setSpacing(0);
    recent->addWidget(divider(self));
    recent->addWidget(padded(captionLabel(QStringLiteral("Recent Capture"), true, true, m_recentSection), 12,
        8, 2, m_recentSection));
    auto *scroll = new QScrollArea(m_recentSection);
    scroll->setObjectName(QStringLiteral("recentCaptureScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_recentText = new QLabel(scroll);
    m_recentText->setObjectName(QStringLiteral("recentCaptureText"));
    m_recentText->setFont(Style::monospacedFont(Style::captionFont()));
    m_recentText->setWordWrap(true);
    m_recentText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_recentText->setTextFormat(Qt::PlainText);
    m_recentText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Never the focus: Ctrl+C in the panel is the capture key, not a copy of a selection here.
    m_recentText->setFocusPolicy(Qt::NoFocus);
    m_recentText->setContentsMargins(12, 0, 12, 6);
    scroll->setWidget(m_recentText);
    scroll->viewport()->setAutoFillBackground(false);
    m_recentText->setAutoFillBackground(false);
    recent->addWidget(scroll);
    // The newest capture takes the room left over; without one the room goes above the
    // bottom bar, which stays at the panel's foot.
    column->addWidget(m_recentSection, 1);
    m_filler = new QWidget(self);
    column->addWidget(m_filler, 1);

    // 7, 8. Settings, Home, Quit.
    QWidget *bottomDivider = divider(self);
    bottomDivider->setObjectName(QStringLiteral("bottomDivider"));
    column->addWidget(bottomDivider);
    auto *bottom = new QWidget(self);
    auto *bottomRow = new QHBoxLayout(bottom);
    bottomRow->setContentsMargins(12, 8, 12, 8);
    auto *settings = panelButton(
        QStringLiteral("Settings"), QStringLiteral("settingsButton"), bottom, QStringLiteral("gear"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    auto *home = panelButton(
        QStringLiteral("Home"), QStringLiteral("homeButton"), bottom, QStringLiteral("macwindow"));
    auto *quit = panelButton(QStringLiteral("Quit"), QStringLiteral("quitButton"), bottom);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    bottomRow->addWidget(settings);
    bottomRow->addStretch(1);
    bottomRow->addWidget(home);
    bottomRow->addStretch(1);
    bottomRow->addWidget(quit);
    column->addWidget(bottom);

    // What leads elsewhere closes the panel first: the overlay and the dialogs need the
    // pointer and the keyboard that the popup holds.
    connect(m_captureButton, &QPushButton::clicked, this, [this] {
        close();
        m_state.startCapture();
    });
    connect(m_copyButton, &QPushButton::clicked, this, [this] { m_state.copyExtractedText(); });
    connect(m_exportButton, &QPushButton::clicked, this, [this] {
        close();
        m_state.exportText();
    });
    connect(openSettings, &QPushButton::clicked, this, [this] { m_state.openScreenRecordingSettings(); });
    connect(checkAgain, &QPushButton::clicked, this, [this] { m_state.updatePermissionStatus(); });
    connect(settings, &QPushButton::clicked, this, [this] {
        close();
        Q_EMIT settingsRequested();
    });
    connect(home, &QPushButton::clicked, this, [this] {
        close();
        Q_EMIT homeRequested();
    });
    connect(quit, &QPushButton::clicked, this, &MenuBarContentView::quitRequested);
    connect(&m_state, &AppState::objectWillChange, m_scheduler, &RefreshScheduler::schedule);
    onShortcutTextChange(m_scheduler, [this] { m_scheduler->schedule(); });
    refresh();
}

QWidget *MenuBarContentView::divider(QWidget *parent)
{
    // One pixel in the palette's divider colour; a sunken frame needs two.
    auto *line = new QWidget(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    Style::follow(line, Style::Role::divider);
    return line;
}

void MenuBarContentView::refresh()
{
    const CommandAvailability commands = CommandAvailability::of(m_state);
    m_captureButton->setEnabled(commands.capture);
    const QString keys = shortcutText(KeyboardShortcuts::AppShortcutNames::captureText());
    m_captureShortcut->setText(keys);
    m_captureShortcut->setVisible(!keys.isEmpty());
    m_captureButton->setToolTip(titleWithShortcut(
        QStringLiteral("Capture Text"), KeyboardShortcuts::AppShortcutNames::captureText()));
    m_copyButton->setEnabled(commands.copy);
    m_exportButton->setEnabled(commands.exportText);
    m_languagePicker->refresh();
    m_status->setText(m_state.statusMessage());
    m_permissionSection->setVisible(!m_state.screenRecordingPermissionGranted());
    const bool hasHistory = !m_state.captureHistory().isEmpty();
    m_recentSection->setVisible(hasHistory);
    m_filler->setVisible(!hasHistory);
    if (hasHistory)
        m_recentText->setText(textExcerpt(
            m_state.captureHistory().first().text, maximumRecentCharacters, maximumRecentCharacters, false));
}

QPoint MenuBarContentView::panelPosition(QPoint pointer, const QRect &available, QSize size)
{
    int x = pointer.x() - size.width() / 2;
    int y = pointer.y();
    if (y + size.height() > available.bottom() + 1)
        y = pointer.y() - size.height();
    x = qBound(available.left(), x, qMax(available.left(), available.right() + 1 - size.width()));
    y = qBound(available.top(), y, qMax(available.top(), available.bottom() + 1 - size.height()));
    return { x, y };
}

void MenuBarContentView::popUp(QPoint pointer)
{
    QScreen *screen = QGuiApplication::screenAt(pointer);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(pointer, panelSize);
    refresh();
    // The panel, not its shadow, is placed at the pointer and inside the screen.
    const int margin = m_edge == Edge::shadow ? shadowMargin : 0;
    move(panelPosition(pointer, available, panelSize) - QPoint(margin, margin));
    show();
    raise();
    activateWindow();
}

void MenuBarContentView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_state.updatePermissionStatus();
}

void MenuBarContentView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool MenuBarContentView::desktopComposites()
{
    if (QGuiApplication::platformName() == QLatin1String("wayland"))
        return true;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return false;
    // A compositing manager owns the _NET_WM_CM_Sn selection of the screen it composites.
    xcb_connection_t *connection = x11->connection();
    const xcb_setup_t *setup = xcb_get_setup(connection);
    const int screen = 0 < xcb_setup_roots_length(setup) ? 0 : -1;
    if (screen < 0)
        return false;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, name.size(), name.constData()), nullptr);
    if (!atom)
        return false;
    const xcb_atom_t selection = atom->atom;
    free(atom);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t *owner
        = xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    free(owner);
    return owned;
}

void MenuBarContentView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRectF panel = QRectF(m_frame->geometry()).adjusted(-1, -1, 1, 1);
    // The edge: the palette's shadow colour on light themes, its light one on dark themes
    // (where a dark line would vanish), to part the panel from a window of its colour below.
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    QColor edge = palette().color(dark ? QPalette::Light : QPalette::Shadow);
    if (m_edge == Edge::shadow) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        // Layers of faint black growing outwards, darker below as light falls from above.
        for (int i = shadowMargin; i > 0; --i) {
            QColor shade(0, 0, 0);
            shade.setAlphaF(0.16 * (1.0 - qreal(i) / shadowMargin) / 2.0);
            painter.setBrush(shade);
            painter.drawRoundedRect(panel.adjusted(-i, -i + 2, i, i + 2), 6 + i, 6 + i);
        }
        painter.setBrush(palette().color(QPalette::Window));
        edge.setAlphaF(dark ? 1.0 : 0.35);
        painter.setPen(QPen(edge, 1));
        painter.drawRoundedRect(panel.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        return;
    }
    painter.fillRect(panel, palette().color(QPalette::Window));
    edge.setAlphaF(dark ? 1.0 : 0.5);
    painter.setPen(QPen(edge, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(panel.adjusted(0.5, 0.5, -0.5, -0.5));
}
