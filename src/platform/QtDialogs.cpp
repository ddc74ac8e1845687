#include "QtDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

int QtDialogs::runModalAlert(const AlertSpec &alert)
{
    QMessageBox box;
    switch (alert.style) {
    case AlertSpec::Style::informational:
        box.setIcon(QMessageBox::Information);
        break;
    case AlertSpec::Style::warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case AlertSpec::Style::critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    box.setText(alert.messageText);
    box.setInformativeText(alert.informativeText);
    QList<QAbstractButton *> buttons;
    for (const QString &title : alert.buttons)
        buttons.append(
            box.addButton(title, buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    if (!buttons.isEmpty())
        box.setDefaultButton(qobject_cast<QPushButton *>(buttons.first()));
    // A global shortcut can start this while another program is in front.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    return buttons.indexOf(box.clickedButton());
}
