#pragma once

#include <QString>
#include <QStringList>

struct AlertSpec {
    enum class Style { informational, warning, critical };
    Style style = Style::informational;
    QString messageText;
    QString informativeText;
    QStringList buttons; // first is the default
};

// Modal dialogs, behind an interface so tests can answer them.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Brings the application to the front, shows the alert modally and returns the index of
    // the button that ended it (0 for the first).
    virtual int runModalAlert(const AlertSpec &alert) = 0;
};
