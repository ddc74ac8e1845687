#pragma once

#include <QLabel>

// One line of plain text that gives way when room is short: it asks for its whole width,
// takes less when the layout has less, and then ends in "…" rather than being cut.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // What is drawn at the current width.
    QString shownText() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
