#pragma once

#include "Dialogs.h"

// Alerts as QMessageBox; the save panel is the desktop portal's dialog where a portal shows
// one, else QFileDialog (the platform theme's native dialog, or Qt's own).
class QtDialogs : public Dialogs {
public:
    int runModalAlert(const AlertSpec &alert) override;
    std::optional<QString> runSavePanel(const SavePanelSpec &panel) override;
    void beep() override;
};
