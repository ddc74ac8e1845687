#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

struct AlertSpec {
    enum class Style { informational, warning, critical };
    Style style = Style::informational;
    QString messageText;
    QString informativeText;
    QStringList buttons; // first is the default
    // Shown on this window (modal to it alone) when set; else modal to the whole program.
    QWidget *window = nullptr;
};

// A modal "save as" chooser. The choice is limited to plain text files and folders can be
// made in it.
struct SavePanelSpec {
    QString title;
    QString message;
    QString proposedName;
};

// Modal dialogs, behind an interface so tests can answer them.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Brings the application to the front, shows the alert modally and returns the index of
    // the button that ended it (0 for the first, also when it was escaped or closed).
    virtual int runModalAlert(const AlertSpec &alert) = 0;
    // The chosen file's absolute path, or absent when the user cancelled.
    virtual std::optional<QString> runSavePanel(const SavePanelSpec &panel) = 0;
    // The desktop's short warning sound, for a key that cannot be taken.
    virtual void beep() = 0;
};
