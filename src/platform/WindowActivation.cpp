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

void WaylandWindowActivation::activate(QWidget &window, const QString &startupId)
{
    expectActivation(startupId);
    QtWindowActivation::activate(window, startupId);
}

void WaylandWindowActivation::expectActivation(const QString &startupId)
{
    if (!startupId.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", startupId.toUtf8());
}
