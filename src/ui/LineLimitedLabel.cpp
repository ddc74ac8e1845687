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
    m_cachedLines.clear();
    updateGeometry();
    update();
}

QStringList LineLimitedLabel::layoutLines(int width) const
{
    // A layout pass asks for the height at a few widths, several times each, and painting
    // once more.
    auto cached = m_cachedLines.constFind(width);
    if (cached == m_cachedLines.cend()) {
        if (m_cachedLines.size() >= 8)
            m_cachedLines.clear();
        cached = m_cachedLines.insert(width, computeLines(width));
    }
    return *cached;
}

QStringList LineLimitedLabel::computeLines(int width) const
{
    QStringList shown;
    if (width <= 0)
        return shown;
    // Only the start of the text can show, so only the start is laid out: an entry of
    // megabytes laid out whole held the window for seconds, and even a few thousand
    // characters per row made the history pane slow to appear. A line holds fewer characters
    // than fit at the width of an "i", with room to spare; a paragraph cut there ends in an
    // ellipsis.
    const QFontMetrics metrics(font());
    const qsizetype perLine = width / qMax(1, metrics.horizontalAdvance(QLatin1Char('i'))) * 3 / 2 + 4;
    const qsizetype paragraphLimit = qsizetype(m_maximumLines) * perLine;
    for (qsizetype start = 0; shown.size() < m_maximumLines;) {
        qsizetype end = m_text.indexOf(QLatin1Char('\n'), start);
        const bool lastParagraph = end < 0;
        if (lastParagraph)
            end = m_text.size();
        const bool cut = end - start > paragraphLimit;
        const QString paragraph = m_text.mid(start, cut ? paragraphLimit : end - start);
        const bool moreText = cut || !lastParagraph;
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
            // The last line there is room for takes the rest, with an ellipsis if text is left
            // out. Twice what this line holds is more than fits, and all that is measured.
            const qsizetype fits = qMax<qsizetype>(2 * line.textLength(), 64);
            const QString rest = paragraph.mid(line.textStart(), fits);
            const bool cutHere = paragraph.size() - line.textStart() > fits;
            shown.append(
                metrics.elidedText(moreText || cutHere ? rest + QChar(0x2026) : rest, Qt::ElideRight, width));
            layout.endLayout();
            return shown;
        }
        layout.endLayout();
        if (lastParagraph)
            break;
        start = end + 1;
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
    if (event->type() == QEvent::FontChange) {
        m_cachedLines.clear();
        updateGeometry();
    }
}
