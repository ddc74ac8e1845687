#pragma once

#include "Dialogs.h"

// Alerts as QMessageBox.
class QtDialogs : public Dialogs {
public:
    int runModalAlert(const AlertSpec &alert) override;
};
