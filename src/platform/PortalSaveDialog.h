#pragma once

#include "Dialogs.h"

#include <QDBusConnection>

#include <optional>

// The desktop's own "save as" dialog through the desktop portal's FileChooser, which GNOME,
// KDE and the GTK portal of other desktops provide whatever toolkit asks.
namespace PortalSaveDialog {

// What came of asking the portal.
struct Outcome {
    // False when no portal could show the dialog (none on the bus, or it failed): another
    // dialog is to be shown instead.
    bool shown = false;
    // The chosen local file; absent when the user cancelled.
    std::optional<QString> path;
};

// Asks the portal on this bus and waits, with the events flowing, until the dialog ends.
// parentWindow: the portal's handle of the window it belongs to ("x11:1e00007"), or empty.
Outcome run(const QDBusConnection &bus, const SavePanelSpec &panel, const QString &folder,
    const QString &parentWindow = {});

} // namespace PortalSaveDialog
