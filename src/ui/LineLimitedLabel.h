#pragma once

#include <QHash>
#include <QStringList>
#include <QWidget>

// Text wrapped to the widget's width and cut after a number of lines, the last one ending
// in an ellipsis when text was left out.
class LineLimitedLabel : public QWidget {
    Q_OBJECT
public:
    LineLimitedLabel(int maximumLines, QWidget *parent = nullptr);

    void setText(const QString &text);
    const QString &text() const { return m_text; }
    // The lines shown at the current width, as drawn.
    QStringList visibleLines() const { return layoutLines(width()); }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QStringList layoutLines(int width) const;
    QStringList computeLines(int width) const;

    int m_maximumLines;
    QString m_text;
    mutable QHash<int, QStringList> m_cachedLines; // by width
};
