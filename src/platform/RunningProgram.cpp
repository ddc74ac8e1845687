#include "RunningProgram.h"

#include <QCoreApplication>

QString runningProgramPath()
{
    const QString appImage = qEnvironmentVariable("APPIMAGE");
    return appImage.isEmpty() ? QCoreApplication::applicationFilePath() : appImage;
}
