#pragma once

#include "app/CaptureHistory.h"

#include <QAbstractButton>

class QLabel;
class LineLimitedLabel;

// One entry of the capture history: when, in which language, and the first lines of the
// text, on a rounded background that shows whether it is the selected entry.
class HistoryRow : public QAbstractButton {
    Q_OBJECT
public:
    explicit HistoryRow(QWidget *parent = nullptr);

    void setItem(const CaptureHistoryItem &item);
    const CaptureHistoryItem &item() const { return m_item; }
    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }

    QString timeText() const;
    QString languageText() const;
    const LineLimitedLabel &textLabel() const { return *m_text; }
    // The background's fill, as painted.
    QColor backgroundColour() const;

    static constexpr int maximumTextLines = 4;

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    CaptureHistoryItem m_item;
    bool m_selected = false;
    QLabel *m_time;
    QLabel *m_language;
    LineLimitedLabel *m_text;
};
