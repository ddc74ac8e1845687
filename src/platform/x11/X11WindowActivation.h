#pragma once

#include "platform/WindowActivation.h"

// Qt asks for the focus with the time of the last X event it saw, which the window manager
// (or the X server itself, without one) turns down once the user has clicked elsewhere since.
// This asks with the time of the request that brought us here: the launcher's timestamp in
// the startup id, else the current time.
class X11WindowActivation : public WindowActivation {
public:
    void activate(QWidget &window, const QString &startupId) override;

    // The timestamp in a startup id ("..._TIME123456"), or 0 (the current time) without one.
    static quint32 startupTimestamp(const QString &startupId);
};
