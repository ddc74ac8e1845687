#include "ContentView.h"

#include "BusySpinner.h"
#include "Commands.h"
#include "HistoryRow.h"
#include "Icons.h"
#include "LanguagePicker.h"
#include "PermissionBanner.h"
#include "RefreshScheduler.h"
#include "Style.h"
#include "TextExcerpt.h"
#include "app/AppShortcutNames.h"
#include "app/AppState.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QPushButton *commandButton(const QString &symbol, const QString &title, const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(symbolIcon(symbol), title, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QLabel *secondaryLabel(const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(font);
    Style::follow(label, Style::Role::secondaryText);
    return label;
}

} // namespace

ContentView::ContentView(AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_scheduler(new RefreshScheduler([this] { refresh(); }, this))
{
    setObjectName(QStringLiteral("ContentView"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);
    column->addWidget(makeHeader());
    column->addWidget(makeLanguageRow());
    m_banner = new PermissionBanner(this);
    m_banner->setObjectName(QStringLiteral("permissionBanner"));
    column->addWidget(m_banner);
    column->addWidget(makeCommandRow());
    column->addWidget(makeContentRow(), 1);

    connect(m_banner, &PermissionBanner::openSettingsClicked, this,
        [this] { m_state.openScreenRecordingSettings(); });
    connect(
        m_banner, &PermissionBanner::checkAgainClicked, this, [this] { m_state.updatePermissionStatus(); });
    connect(&m_state, &AppState::objectWillChange, m_scheduler, &RefreshScheduler::schedule);
    onShortcutTextChange(m_scheduler, [this] { m_scheduler->schedule(); });
    refresh();
}

QWidget *ContentView::makeHeader()
{
    auto *header = new QWidget(this);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);

    auto *titles = new QVBoxLayout;
    titles->setSpacing(6);
    auto *title = new QLabel(QStringLiteral("Glyphwell"), header);
    QFont titleFont = QApplication::font();
    titleFont.setPointSizeF(22.5); // 30 px at 96 dpi
    titleFont.setBold(true);
    title->setFont(titleFont);
    m_status = secondaryLabel(QString(), Style::calloutFont(), header);
    m_status->setObjectName(QStringLiteral("statusLine"));
    m_status->setWordWrap(true);
    // After a clearing of the history, for a few seconds: the way back.
    m_undoOffer = new QLabel(QStringLiteral("History cleared. <a href=\"undo\">Undo</a>"), header);
    m_undoOffer->setObjectName(QStringLiteral("undoClearHistoryLink"));
    m_undoOffer->setFont(Style::calloutFont());
    m_undoOffer->setTextFormat(Qt::RichText);
    m_undoOffer->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_undoOffer->hide();
    m_undoOfferTimer = new QTimer(this);
    m_undoOfferTimer->setSingleShot(true);
    connect(m_undoOfferTimer, &QTimer::timeout, m_undoOffer, &QWidget::hide);
    connect(m_undoOffer, &QLabel::linkActivated, this, [this] { m_state.undoClearHistory(); });
    connect(&m_state, &AppState::historyCleared, this, [this] {
        m_undoOffer->show();
        m_undoOfferTimer->start(undoOfferMs);
    });
    auto *statusRow = new QHBoxLayout;
    statusRow->setSpacing(8);
    // Beside the status text, where the eye already is.
    statusRow->addWidget(m_status);
    statusRow->addWidget(m_undoOffer, 0, Qt::AlignTop);
    statusRow->addStretch(1);
    titles->addWidget(title);
    titles->addLayout(statusRow);
    row->addLayout(titles, 1);

    m_settingsButton = new QToolButton(header);
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    m_settingsButton->setIcon(symbolIcon(QStringLiteral("gear")));
    m_settingsButton->setIconSize(QSize(20, 20));
    m_settingsButton->setAutoRaise(true);
    m_settingsButton->setToolTip(QStringLiteral("Settings"));
    m_settingsButton->setAccessibleName(QStringLiteral("Settings"));
    auto *settingsColumn = new QVBoxLayout;
    settingsColumn->setContentsMargins(0, 6, 0, 0);
    settingsColumn->addWidget(m_settingsButton);
    settingsColumn->addStretch(1);
    row->addLayout(settingsColumn);
    connect(m_settingsButton, &QToolButton::clicked, this, &ContentView::settingsRequested);
    return header;
}

QWidget *ContentView::makeLanguageRow()
{
    auto *languageRow = new QWidget(this);
    auto *row = new QHBoxLayout(languageRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);

    // The titled picker keeps within 220 points, title included, unless the font needs more.
    auto *picker = new QWidget(languageRow);
    auto *pickerRow = new QHBoxLayout(picker);
    pickerRow->setContentsMargins(0, 0, 0, 0);
    pickerRow->setSpacing(8);
    auto *label = new QLabel(QStringLiteral("OCR Language"), picker);
    m_languagePicker = new LanguagePicker(m_state, picker);
    m_languagePicker->setObjectName(QStringLiteral("languagePicker"));
    label->setBuddy(m_languagePicker);
    pickerRow->addWidget(label);
    pickerRow->addWidget(m_languagePicker, 1, Qt::AlignLeft);
    picker->setMaximumWidth(
        qMax(220, label->sizeHint().width() + pickerRow->spacing() + m_languagePicker->sizeHint().width()));
    row->addWidget(picker);
    QLabel *hint = secondaryLabel(
        QStringLiteral("Choose a language when you know the snippet, or leave it on Automatic."),
        Style::captionFont(), languageRow);
    hint->setObjectName(QStringLiteral("languageHint"));
    row->addWidget(hint);
    row->addStretch(1);
    return languageRow;
}

QWidget *ContentView::makeCommandRow()
{
    auto *commandRow = new QWidget(this);
    auto *row = new QHBoxLayout(commandRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    m_captureButton = commandButton(QStringLiteral("viewfinder"), QStringLiteral("Capture Text"),
        QStringLiteral("captureButton"), commandRow);
    m_noLineBreaksButton = commandButton(QStringLiteral("text.alignleft"), QStringLiteral("No Line Breaks"),
        QStringLiteral("noLineBreaksButton"), commandRow);
    m_captureLastButton = commandButton(QStringLiteral("arrow.counterclockwise"),
        QStringLiteral("Capture Last"), QStringLiteral("captureLastButton"), commandRow);
    m_spinner = new BusySpinner(commandRow);
    m_spinner->setObjectName(QStringLiteral("captureSpinner"));
    m_copyButton = commandButton(
        QStringLiteral("doc.on.doc"), QStringLiteral("Copy"), QStringLiteral("copyButton"), commandRow);
    m_exportButton = commandButton(QStringLiteral("square.and.arrow.down"), QStringLiteral("Export"),
        QStringLiteral("exportButton"), commandRow);
    m_clearHistoryButton = new QPushButton(QStringLiteral("Clear History"), commandRow);
    m_clearHistoryButton->setObjectName(QStringLiteral("clearHistoryButton"));
    m_clearHistoryButton->setAutoDefault(false);
    // A destructive command: its title in red (a red that reads on the theme's buttons).
    Style::follow(m_clearHistoryButton, Style::Role::destructiveButton);

    for (QWidget *widget : std::initializer_list<QWidget *> {
             m_captureButton, m_noLineBreaksButton, m_captureLastButton, m_spinner })
        row->addWidget(widget);
    row->addStretch(1);
    for (QWidget *widget :
        std::initializer_list<QWidget *> { m_copyButton, m_exportButton, m_clearHistoryButton })
        row->addWidget(widget);

    connect(m_captureButton, &QPushButton::clicked, this, [this] { Q_EMIT captureRequested(std::nullopt); });
    connect(m_noLineBreaksButton, &QPushButton::clicked, this,
        [this] { Q_EMIT captureRequested(CaptureMode::textWithoutLineBreaks); });
    connect(m_captureLastButton, &QPushButton::clicked, this, [this] { m_state.captureLastSelection(); });
    connect(m_copyButton, &QPushButton::clicked, this, [this] { m_state.copyExtractedText(); });
    connect(m_exportButton, &QPushButton::clicked, this, [this] { m_state.exportText(); });
    connect(m_clearHistoryButton, &QPushButton::clicked, this, [this] { m_state.clearHistory(); });
    return commandRow;
}

QWidget *ContentView::makeContentRow()
{
    auto *contentRow = new QWidget(this);
    auto *row = new QHBoxLayout(contentRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(16);

    auto *textBox = new QGroupBox(QStringLiteral("Recognized Text"), contentRow);
    auto *textLayout = new QVBoxLayout(textBox);
    m_textPane = new QPlainTextEdit(textBox);
    m_textPane->setObjectName(QStringLiteral("textPane"));
    m_textPane->setReadOnly(true);
    m_textPane->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_textPane->setFont(Style::monospacedFont(Style::bodyFont()));
    m_textPane->document()->setDocumentMargin(8);
    m_textPane->setFrameShape(QFrame::NoFrame);
    m_textPane->setBackgroundVisible(false);
    QPalette transparent = m_textPane->palette();
    transparent.setColor(QPalette::Base, Qt::transparent);
    m_textPane->setPalette(transparent);
    textLayout->addWidget(m_textPane);
    row->addWidget(textBox, 1);

    auto *historyBox = new QGroupBox(QStringLiteral("Capture History"), contentRow);
    historyBox->setFixedWidth(historyPaneWidth);
    auto *historyLayout = new QVBoxLayout(historyBox);
    historyLayout->setContentsMargins(4, 4, 4, 4);
    m_historyStack = new QStackedWidget(historyBox);
    historyLayout->addWidget(m_historyStack);

    m_historyEmpty = new QWidget(m_historyStack);
    m_historyEmpty->setObjectName(QStringLiteral("historyEmptyState"));
    auto *empty = new QVBoxLayout(m_historyEmpty);
    empty->setContentsMargins(16, 16, 16, 16);
    empty->setSpacing(10);
    auto *clock = new QLabel(m_historyEmpty);
    clock->setPixmap(
        symbolIcon(QStringLiteral("clock.arrow.trianglehead.counterclockwise.rotate.90")).pixmap(34, 34));
    clock->setAlignment(Qt::AlignCenter);
    auto *heading = new QLabel(QStringLiteral("No Captures Yet"), m_historyEmpty);
    heading->setFont(Style::headlineFont());
    heading->setAlignment(Qt::AlignCenter);
    auto *explanation = secondaryLabel(
        QStringLiteral("Each successful OCR run will be saved here for quick recall and export."),
        Style::captionFont(), m_historyEmpty);
    explanation->setAlignment(Qt::AlignCenter);
    explanation->setWordWrap(true);
    empty->addStretch(1);
    empty->addWidget(clock);
    empty->addWidget(heading);
    empty->addWidget(explanation);
    empty->addStretch(1);
    m_historyStack->addWidget(m_historyEmpty);

    auto *scroll = new QScrollArea(m_historyStack);
    scroll->setObjectName(QStringLiteral("historyList"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_historyList = new QWidget(scroll);
    m_historyColumn = new QVBoxLayout(m_historyList);
    m_historyColumn->setContentsMargins(0, 4, 0, 4);
    m_historyColumn->setSpacing(10);
    m_historyColumn->addStretch(1);
    scroll->setWidget(m_historyList);
    // The rows lie on the pane itself, as its empty state does.
    scroll->viewport()->setAutoFillBackground(false);
    m_historyList->setAutoFillBackground(false);
    m_historyStack->addWidget(scroll);
    row->addWidget(historyBox);
    return contentRow;
}

QString ContentView::displayedText() const
{
    if (!m_state.extractedText().isEmpty())
        return m_state.extractedText();
    switch (m_state.captureState().kind()) {
    case CaptureState::Kind::idle:
    case CaptureState::Kind::success:
        return QStringLiteral("Captured OCR text will appear here.");
    case CaptureState::Kind::capturing:
        return QStringLiteral("Waiting for a screen selection...");
    case CaptureState::Kind::failure:
        return m_state.captureState().message();
    }
    return {};
}

bool ContentView::showsTextInPrimaryColour() const
{
    return m_primaryColour;
}

void ContentView::refresh()
{
    m_status->setText(m_state.statusMessage());
    // On one line where it fits, so the undo link stands right after it; long messages wrap.
    m_status->setMinimumWidth(qMin(m_status->fontMetrics().horizontalAdvance(m_status->text()) + 1, 560));

    m_languagePicker->refresh();
    m_banner->setVisible(!m_state.screenRecordingPermissionGranted());

    const CommandAvailability commands = CommandAvailability::of(m_state);
    m_captureButton->setEnabled(commands.capture);
    m_noLineBreaksButton->setEnabled(commands.capture);
    m_captureLastButton->setEnabled(commands.captureLast);
    using namespace KeyboardShortcuts;
    m_captureButton->setToolTip(
        titleWithShortcut(QStringLiteral("Capture Text"), AppShortcutNames::captureText()));
    m_noLineBreaksButton->setToolTip(
        titleWithShortcut(QStringLiteral("No Line Breaks"), AppShortcutNames::captureWithoutLineBreaks()));
    m_captureLastButton->setToolTip(
        titleWithShortcut(QStringLiteral("Capture Last"), AppShortcutNames::captureLastSelection()));
    m_spinner->setVisible(m_state.captureState().kind() == CaptureState::Kind::capturing);
    m_copyButton->setEnabled(commands.copy);
    m_exportButton->setEnabled(commands.exportText);
    m_clearHistoryButton->setVisible(!m_state.captureHistory().isEmpty());
    if (!m_state.canUndoClearHistory())
        m_undoOffer->hide();

    const QString text = displayedText();
    if (text != m_paneText) {
        m_paneText = text;
        m_textPane->setPlainText(
            textExcerpt(text, maximumPaneCharacters, maximumPaneParagraphCharacters, true));
    }
    m_primaryColour = !m_state.extractedText().isEmpty();
    updateTextPaneColour();

    refreshHistory();
}

void ContentView::updateTextPaneColour()
{
    const QColor colour = m_primaryColour ? Style::primaryText(palette()) : Style::secondaryText(palette());
    if (m_textPane->palette().color(QPalette::Text) != colour) {
        QPalette palette = m_textPane->palette();
        palette.setColor(QPalette::Text, colour);
        m_textPane->setPalette(palette);
    }
}

void ContentView::refreshHistory()
{
    const QList<CaptureHistoryItem> &history = m_state.captureHistory();
    m_historyStack->setCurrentWidget(history.isEmpty() ? m_historyEmpty : m_historyStack->widget(1));
    if (history != m_shownHistory) {
        // At most a few dozen rows: rebuilt whole when the list changes, kept otherwise.
        qDeleteAll(m_rows);
        m_rows.clear();
        for (const CaptureHistoryItem &item : history) {
            auto *row = new HistoryRow(m_historyList);
            row->setItem(item);
            connect(row, &HistoryRow::clicked, this, [this, id = item.id] {
                for (const CaptureHistoryItem &entry : m_state.captureHistory()) {
                    if (entry.id == id) {
                        m_state.selectHistoryItem(entry);
                        return;
                    }
                }
            });
            m_historyColumn->insertWidget(m_historyColumn->count() - 1, row);
            m_rows.append(row);
        }
        m_shownHistory = history;
    }
    for (HistoryRow *row : std::as_const(m_rows))
        row->setSelected(m_state.selectedHistoryItemID() == row->item().id);
}

void ContentView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QLinearGradient gradient(rect().topLeft(), rect().bottomRight());
    gradient.setColorAt(0, palette().color(QPalette::Window));
    gradient.setColorAt(1, palette().color(QPalette::Base));
    painter.fillRect(rect(), gradient);
}

void ContentView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The desktop switched between light and dark: the pane's text takes the new scheme's
    // colour, never staying dark on dark or light on light.
    if (event->type() == QEvent::PaletteChange && m_textPane)
        updateTextPaneColour();
}

void ContentView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_state.updatePermissionStatus();
}
