#include "AppActivation.h"

#include <QGuiApplication>

void AppActivation::followApplicationState()
{
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) {
            Q_EMIT willBecomeActive();
            Q_EMIT didBecomeActive();
        }
    });
}
