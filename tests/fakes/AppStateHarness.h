#pragma once

#include "app/AppState.h"
#include "app/Preferences.h"
#include "capture/OCRService.h"
#include "fakes/FakeServices.h"
#include "fakes/TestFiles.h"
#include "platform/AppActivation.h"
#include "platform/InMemoryUserDefaults.h"
#include "platform/LoginItem.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

// An application state over fakes: access granted, a white grab that reads as "recognized",
// a history file in a temporary folder. Tests change the fakes before makeState().
struct AppStateHarness {
    QTemporaryDir dir;
    InMemoryUserDefaults defaults;
    XdgAutostartLoginItem loginItem { dir.filePath(QStringLiteral("autostart/glyphwell.desktop")),
        QStringLiteral("/usr/bin/glyphwell") };
    std::unique_ptr<Preferences> preferences = std::make_unique<Preferences>(defaults, loginItem);
    FakePasteboard pasteboard;
    FakeDialogs dialogs;
    FakeScreenAccess access;
    FakeRegionSelector selector;
    FakeScreenGrabber grabber;
    FakeTextEngine textEngine;
    FakeBarcodeEngine barcodeEngine;
    OCRService service { textEngine, barcodeEngine, grabber };
    AppActivation activation;
    std::unique_ptr<AppState> state;
    // Where the history file goes when not in the temporary folder (a full disk, another process's).
    QString historyAt;

    AppStateHarness()
    {
        access.granted = true;
        grabber.result = solidImage(Qt::white);
        textEngine.answer = [](const QImage &) { return lines({ QStringLiteral("recognized") }); };
    }

    QString historyPath() const
    {
        return historyAt.isEmpty() ? dir.filePath(QStringLiteral("Glyphwell/capture-history.json"))
                                   : historyAt;
    }

    QByteArray historyFile() const { return readFile(historyPath()); }

    // Another recognition service (the real engines) where a test needs one.
    AppState &makeState(OCRService *recognition = nullptr)
    {
        PermissionService permissions(
            { QStringLiteral("/usr/bin/glyphwell"), QString(), [] { return true; } });
        state = std::make_unique<AppState>(AppStateServices { defaults, *preferences, pasteboard, dialogs,
            access, selector, recognition ? *recognition : service, activation, permissions, historyPath() });
        return *state;
    }

    bool waitUntilNotCapturing()
    {
        return QTest::qWaitFor(
            [&] { return state->captureState().kind() != CaptureState::Kind::capturing; }, 3000);
    }

    void startSelecting(std::optional<CaptureMode> mode = std::nullopt)
    {
        state->startCapture(mode);
        ASSERT_TRUE(QTest::qWaitFor([&] { return selector.pending(); }, 3000));
    }

    // Starts a capture, lets the selector answer with a rectangle and waits for the outcome.
    void capture(std::optional<CaptureMode> mode = std::nullopt)
    {
        startSelecting(mode);
        selector.finish(QRectF(10, 20, 100, 40));
        ASSERT_TRUE(waitUntilNotCapturing());
    }

    void cancelSelection()
    {
        selector.cancel();
        ASSERT_TRUE(waitUntilNotCapturing());
    }
};
