#pragma once

#include <QWidget>

// The main window's warning while screen capture is not allowed: an orange rounded box with
// the explanation and the two ways out.
class PermissionBanner : public QWidget {
    Q_OBJECT
public:
    explicit PermissionBanner(QWidget *parent = nullptr);

Q_SIGNALS:
    void openSettingsClicked();
    void checkAgainClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
};
