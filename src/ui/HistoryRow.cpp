#include "HistoryRow.h"

#include "ElidedLabel.h"
#include "LineLimitedLabel.h"
#include "Style.h"
#include "app/OCRLanguageOption.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QVBoxLayout>

HistoryRow::HistoryRow(QWidget *parent)
    : QAbstractButton(parent)
    , m_time(new QLabel(this))
    , m_language(new ElidedLabel(this))
    , m_text(new LineLimitedLabel(maximumTextLines, this))
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);

    QFont timeFont = Style::captionFont();
    timeFont.setWeight(QFont::DemiBold);
    m_time->setFont(timeFont);
    m_language->setObjectName(QStringLiteral("historyLanguage"));
    m_language->setFont(Style::smallCaptionFont());
    // The time stays whole; a long language name gives way in a narrow pane or a large font.
    m_language->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Style::follow(m_language, Style::Role::secondaryText);
    m_text->setFont(Style::monospacedFont(Style::captionFont()));
    for (QWidget *child : { static_cast<QWidget *>(m_time), static_cast<QWidget *>(m_language),
             static_cast<QWidget *>(m_text) })
        child->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(6);
    auto *top = new QHBoxLayout;
    top->setSpacing(6);
    top->addWidget(m_time);
    top->addSpacing(8);
    top->addStretch(1);
    top->addWidget(m_language);
    column->addLayout(top);
    column->addWidget(m_text);
}

void HistoryRow::setItem(const CaptureHistoryItem &item)
{
    m_item = item;
    m_time->setText(timeText());
    m_language->setText(languageText());
    m_text->setText(item.text);
    setAccessibleName(timeText() + QStringLiteral(", ") + languageText());
    // What the row shows, not megabytes for a screen reader to take in.
    constexpr qsizetype describedCharacters = 500;
    setAccessibleDescription(item.text.size() > describedCharacters
            ? item.text.left(describedCharacters) + QChar(0x2026)
            : item.text);
    updateGeometry();
}

void HistoryRow::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
}

QString HistoryRow::timeText() const
{
    const QLocale locale;
    const QDateTime local = m_item.capturedAt.toLocalTime();
    // The locale's short date and time, without the seconds some locales' short time has (the
    // C locale's, for one): a row names the capture, not the instant.
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("[:.]ss?")));
    return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(local.time(), timeFormat);
}

QString HistoryRow::languageText() const
{
    for (const OCRLanguageOption &option : OCRLanguageOption::all()) {
        if (option.identifier == m_item.languageIdentifier)
            return option.displayName;
    }
    return OCRLanguageOption::all().first().displayName;
}

QColor HistoryRow::backgroundColour() const
{
    QColor colour = m_selected ? Style::accent(palette()) : palette().color(QPalette::WindowText);
    colour.setAlphaF(m_selected ? 0.18 : 0.08);
    return colour;
}

QSize HistoryRow::sizeHint() const
{
    const int width = qMax(this->width(), 240);
    return { width, heightForWidth(width) };
}

int HistoryRow::heightForWidth(int width) const
{
    return layout()->totalHeightForWidth(width);
}

void HistoryRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 10, 10);
    painter.fillPath(shape, backgroundColour());
    if (hasFocus()) {
        QPen pen(Style::accent(palette()), 2);
        painter.setPen(pen);
        painter.drawPath(shape);
    }
}
