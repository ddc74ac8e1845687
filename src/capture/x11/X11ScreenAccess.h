#pragma once

#include "capture/ScreenAccess.h"
#include "platform/x11/XcbPointers.h"

// X11 lets every client read the screen; access is there when the server lets us read
// the root window (some hardened servers refuse GetImage).
class X11ScreenAccess : public ScreenAccess {
public:
    X11ScreenAccess();
    bool preflight() override;
    void request() override { }

private:
    XcbConnection m_connection;
    int m_screenNumber = 0;
};
