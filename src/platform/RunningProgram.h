#pragma once

#include <QString>

// Where the running program is, as the user launched it: $APPIMAGE when set (inside an
// AppImage the binary sits in a temporary mount), else the executable.
QString runningProgramPath();
