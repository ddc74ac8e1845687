#pragma once

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "app/AppShortcutNames.h"
#include "entry/GlyphwellApp.h"
#include "fakes/AppStateHarness.h"
#include "platform/WindowActivation.h"
#include "ui/MainWindow.h"
#include "ui/MenuBarContentView.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPushButton>

#include <cstdlib>
#include <utility>

// What a colour with its alpha looks like drawn over the background.
inline QColor over(const QColor &colour, const QColor &background)
{
    const qreal a = colour.alphaF();
    return QColor::fromRgbF(colour.redF() * a + background.redF() * (1 - a),
        colour.greenF() * a + background.greenF() * (1 - a),
        colour.blueF() * a + background.blueF() * (1 - a));
}

// The opaque pixels of a symbol, and how many of them are not the colour (within the
// rounding of pixels that are partly transparent).
inline std::pair<int, int> inkIn(const QImage &image, const QColor &colour)
{
    int ink = 0, off = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() < 128)
                continue;
            ++ink;
            if (std::abs(pixel.red() - colour.red()) > 3 || std::abs(pixel.green() - colour.green()) > 3
                || std::abs(pixel.blue() - colour.blue()) > 3)
                ++off;
        }
    }
    return { ink, off };
}

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
        app = std::make_unique<GlyphwellApp>(
            *state, notifications, [this] { return trayAvailable; }, activation);
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
