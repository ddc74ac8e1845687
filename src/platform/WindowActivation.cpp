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
    // The launcher's token of our own start is not ours to drop; only one we put there.
    if (!m_handedOver.isEmpty() && qgetenv("XDG_ACTIVATION_TOKEN") == m_handedOver)
        qunsetenv("XDG_ACTIVATION_TOKEN");
    m_handedOver = startupId.toUtf8();
    if (!m_handedOver.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", m_handedOver);
}
