#pragma once

#include "Dialogs.h"

// Alerts as QMessageBox, the save panel as QFileDialog.
class QtDialogs : public Dialogs {
public:
    int runModalAlert(const AlertSpec &alert) override;
    std::optional<QString> runSavePanel(const SavePanelSpec &panel) override;
    void beep() override;
};
