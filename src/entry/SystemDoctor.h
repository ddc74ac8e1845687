#pragma once

#include "app/Doctor.h"

// Looks at this session the way a capture would need it: the display, the stored shortcuts
// against the X server's grabs, the portals, the tray, the recognition data and the clipboard
// manager. Needs a QCoreApplication; opens no window.
DoctorFindings gatherDoctorFindings();
