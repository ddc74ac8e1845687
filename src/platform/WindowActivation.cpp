#include "WindowActivation.h"

#include <QWidget>

void QtWindowActivation::activate(QWidget &window, const QString &)
{
    if (window.isMinimized())
        window.showNormal();
    else
        window.show();
    window.raise();
    window.activateWindow();
}
