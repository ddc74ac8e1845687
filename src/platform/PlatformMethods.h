#pragma once

#include <QString>

// How this session captures and receives shortcuts, as the About box shows it; set once at
// start by the entry point.
void setPlatformMethods(const QString &description);
QString platformMethods();
