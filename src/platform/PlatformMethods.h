#pragma once

#include <QString>

// How this session captures and receives shortcuts ("X11 grab", "portal screenshot";
// "X11 grab", "portal shortcuts", "desktop binding"); set once at start by the entry point.
struct PlatformMethods {
    QString capture;
    QString shortcuts;

    // "capture: X11 grab; shortcuts: X11 grab"
    QString description() const;
    // The desktop gives programs no global shortcuts: a key must run glyphwell --capture.
    bool needsDesktopBinding() const { return shortcuts == QLatin1String("desktop binding"); }
};

void setPlatformMethods(const PlatformMethods &methods);
// Empty fields before the entry point has set them (tests, the command line).
const PlatformMethods &platformMethods();
