#include "QtDialogs.h"

#include "PortalSaveDialog.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

int QtDialogs::runModalAlert(const AlertSpec &alert)
{
    QMessageBox box(alert.window);
    if (alert.window)
        box.setWindowModality(Qt::WindowModal);
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
    // The first answer is also what Escape and closing the alert mean: it is the one that
    // changes nothing ("OK, keep what I had"), never the one that overrides a warning.
    if (!buttons.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton *>(buttons.first()));
        box.setEscapeButton(buttons.first());
    }
    // A global shortcut can start this while another program is in front.
    if (!alert.window)
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    return buttons.indexOf(box.clickedButton());
}

void QtDialogs::beep()
{
    QApplication::beep();
}

std::optional<QString> QtDialogs::runSavePanel(const SavePanelSpec &panel)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    QWidget *parent = QApplication::activeWindow();

    // The desktop's own dialog, through its portal, whatever toolkit the desktop uses.
    const QString parentHandle = parent && QGuiApplication::platformName() == QLatin1String("xcb")
        ? QStringLiteral("x11:%1").arg(parent->winId(), 0, 16)
        : QString();
    const PortalSaveDialog::Outcome portal
        = PortalSaveDialog::run(QDBusConnection::sessionBus(), panel, folder, parentHandle);
    if (portal.shown)
        return portal.path;

    // Else QFileDialog: the platform theme's dialog where it has one (KDE's, GTK's), Qt's own
    // elsewhere.
    QFileDialog chooser(parent, panel.title);
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setNameFilter(QStringLiteral("Plain text (*.txt)"));
    chooser.setDefaultSuffix(QStringLiteral("txt"));
    chooser.setDirectory(folder);
    chooser.selectFile(panel.proposedName);
    if (chooser.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = chooser.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    return files.first();
}
