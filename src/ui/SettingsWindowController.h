#pragma once

#include <QPointer>
#include <QWidget>

class Dialogs;
class Preferences;
class QTabWidget;

// The settings window: made on first show(), kept for the life of the program and reused, so
// it comes back where the user left it, on the tab they left it on. Closing only hides it.
class SettingsWindowController {
public:
    SettingsWindowController(Preferences &preferences, Dialogs &dialogs);
    ~SettingsWindowController();

    // The program's instance, over the shared preferences and the given dialogs (used once,
    // when it is made).
    static SettingsWindowController &shared(Dialogs *dialogs = nullptr);

    void show();
    // Absent until the first show().
    QWidget *window() const { return m_window; }

    static constexpr QSize contentSize { 520, 420 };

private:
    Preferences &m_preferences;
    Dialogs &m_dialogs;
    QPointer<QWidget> m_window;
};

// The window's content: the General and Shortcuts tabs.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    SettingsView(Preferences &preferences, Dialogs &dialogs, QWidget *parent = nullptr);
    QTabWidget &tabs() const { return *m_tabs; }

private:
    QTabWidget *m_tabs;
};
