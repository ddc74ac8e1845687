#pragma once

#include <QTimer>
#include <QWidget>

// A small indeterminate spinner. It turns only while it is visible.
class BusySpinner : public QWidget {
    Q_OBJECT
public:
    explicit BusySpinner(QWidget *parent = nullptr);

    QSize sizeHint() const override { return { 16, 16 }; }
    // How many steps it has turned; tells tests the event loop kept running.
    int step() const { return m_step; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QTimer m_timer;
    int m_step = 0;
};
