#include "LineLimitedLabel.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>

LineLimitedLabel::LineLimitedLabel(int maximumLines, QWidget *parent)
    : QWidget(parent)
    , m_maximumLines(maximumLines)
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void LineLimitedLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

QStringList LineLimitedLabel::layoutLines(int width) const
{
    QStringList shown;
    if (width <= 0)
        return shown;
    const QStringList paragraphs = m_text.split(QLatin1Char('\n'));
    for (qsizetype p = 0; p < paragraphs.size(); ++p) {
        const QString &paragraph = paragraphs[p];
        QTextLayout layout(paragraph, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (shown.size() + 1 < m_maximumLines) {
                shown.append(paragraph.mid(line.textStart(), line.textLength()));
                continue;
            }
            // The last line there is room for takes the rest, with an ellipsis if text is left out.
            const QString rest = paragraph.mid(line.textStart());
            const bool moreParagraphs = p + 1 < paragraphs.size();
            const QFontMetrics metrics(font());
            shown.append(
                metrics.elidedText(moreParagraphs ? rest + QChar(0x2026) : rest, Qt::ElideRight, width));
            layout.endLayout();
            return shown;
        }
        layout.endLayout();
    }
    return shown;
}

int LineLimitedLabel::heightForWidth(int width) const
{
    const int lines = qMax<qsizetype>(1, layoutLines(width).size());
    return lines * QFontMetrics(font()).lineSpacing();
}

QSize LineLimitedLabel::sizeHint() const
{
    const int width = qMax(this->width(), 200);
    return { width, heightForWidth(width) };
}

QSize LineLimitedLabel::minimumSizeHint() const
{
    return { 40, QFontMetrics(font()).lineSpacing() };
}

void LineLimitedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(font());
    int y = metrics.ascent();
    for (const QString &line : layoutLines(width())) {
        painter.drawText(0, y, line);
        y += metrics.lineSpacing();
    }
}

void LineLimitedLabel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGeometry();
}
