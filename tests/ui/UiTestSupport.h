#pragma once

#include "KeyboardShortcuts/AppShortcutNames.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "app/GlyphwellApp.h"
#include "fakes/AppStateHarness.h"
#include "platform/WindowActivation.h"
#include "ui/MainWindow.h"
#include "ui/MenuBarContentView.h"

#include <QCoreApplication>
#include <QDir>
#include <QPushButton>

// The pictures go where the build says (build/screenshots), to be looked at by a person.
inline void saveScreenshot(QWidget &widget, const QString &name)
{
    const QString folder = qEnvironmentVariable("GLYPHWELL_SCREENSHOTS",
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../../screenshots")));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = QDir(folder).absoluteFilePath(name + QStringLiteral(".png"));
    ASSERT_TRUE(widget.grab().save(path)) << path.toStdString();
}

// The desktop program over fakes: the main window, the panel and the tray over one
// application state; no tray host unless a test says so.
struct UiHarness : AppStateHarness {
    FakeNotifications notifications;
    bool trayAvailable = false;
    // Qt's own when none is set.
    WindowActivation *activation = nullptr;
    std::unique_ptr<GlyphwellApp> app;

    ~UiHarness()
    {
        app.reset();
        KeyboardShortcuts::setUserDefaults(nullptr);
    }
    // A fresh profile: the shortcuts in the test's own settings, Capture Text on its default.
    GlyphwellApp &makeApp()
    {
        KeyboardShortcuts::setUserDefaults(&defaults);
        KeyboardShortcuts::reset({ KeyboardShortcuts::AppShortcutNames::captureText() });
        makeState();
        app = std::make_unique<GlyphwellApp>(*state, notifications, [this] { return trayAvailable; }, activation);
        app->trayWaitMs = 100;
        return *app;
    }
    // Lets the queued redraws run.
    static void settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    template <typename T = QPushButton> T *inWindow(const char *name) const
    {
        return app->mainWindow().findChild<T *>(QLatin1String(name));
    }
    template <typename T = QPushButton> T *inPanel(const char *name) const
    {
        return app->panel().findChild<T *>(QLatin1String(name));
    }
};
