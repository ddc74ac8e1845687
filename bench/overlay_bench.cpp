// Time from starting a selection to the overlay on screen (the frame grab included), and from
// the mouse release to the cropped image, with and without MIT-SHM. Run it on an X server of
// its own: tests/x11/run-with-xvfb build/.../bench/overlay_bench [rounds]
#include "capture/OCRServiceError.h"
#include "capture/RegionCaptureOverlayController.h"
#include "capture/ScreenList.h"
#include "capture/x11/X11ScreenGrabber.h"
#include "x11/XTestInput.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Run {
    bool done = false;
    std::optional<QRectF> rect;
};

QCoro::Task<> select(RegionSelector *selector, Run *run)
{
    try {
        auto selection = selector->selectRegion();
        run->rect = co_await selection;
    } catch (const CaptureError &) { }
    run->done = true;
}

struct Capture {
    bool done = false;
    QImage image;
};

QCoro::Task<> capture(ScreenGrabber *grabber, QRectF rect, Capture *out)
{
    try {
        auto grab = grabber->captureRegion(rect);
        out->image = co_await grab;
    } catch (const CaptureError &) { }
    out->done = true;
}

struct Stats {
    double median = 0, min = 0, max = 0;
};

Stats stats(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    if (values.empty())
        return {};
    return { values[values.size() / 2], values.front(), values.back() };
}

void print(const char *what, const char *method, const std::vector<double> &values)
{
    const Stats s = stats(values);
    std::printf("%-44s %-19s n=%-3zu median %7.2f ms  min %7.2f  max %7.2f\n", what, method, values.size(),
        s.median, s.min, s.max);
}

double ms(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "overlay_bench needs an X server (QT_QPA_PLATFORM=xcb)\n");
        return 1;
    }
    XTestInput input;
    if (!input.isValid())
        return 1;

    QLabel text(QStringLiteral("Glyphwell reads 42 apples"));
    text.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    QFont font = text.font();
    font.setPixelSize(36);
    text.setFont(font);
    text.setAlignment(Qt::AlignCenter);
    text.setGeometry(200, 200, 760, 120);
    text.show();
    if (!QTest::qWaitForWindowExposed(&text))
        return 1;

    QtScreenList screens;
    const std::vector<ScreenInfo> displays = screens.displays();
    std::printf("screens: %zu, first %dx%d at scale %.2f; rounds %d\n", displays.size(),
        int(displays.front().geometry.width()), int(displays.front().geometry.height()),
        displays.front().scale, rounds);

    const QRect full = displays.front().nativeRect;

    // Turning root-window pixels into an image, per layout, against the plain 24-bit copy.
    {
        const QSize size = full.size();
        X11PixelLayout plain;
        X11PixelLayout sixteen;
        sixteen.depth = 16;
        sixteen.bitsPerPixel = 16;
        sixteen.redMask = 0xf800;
        sixteen.greenMask = 0x07e0;
        sixteen.blueMask = 0x001f;
        X11PixelLayout thirty;
        thirty.depth = 30;
        thirty.redMask = 0x3ff00000;
        thirty.greenMask = 0x000ffc00;
        thirty.blueMask = 0x000003ff;
        for (const auto &[name, layout] : { std::pair { "24-bit in 32 (copy)", plain },
                 { "16-bit 5:6:5", sixteen }, { "30-bit 10:10:10", thirty } }) {
            std::vector<uchar> data(
                std::size_t(layout.bytesPerLine(size.width())) * std::size_t(size.height()));
            for (std::size_t i = 0; i < data.size(); ++i)
                data[i] = uchar(i * 7);
            std::vector<double> times;
            for (int i = 0; i < rounds; ++i) {
                QElapsedTimer timer;
                timer.start();
                const QImage image = convertZPixmap(data.data(), data.size(), size, layout);
                times.push_back(ms(timer));
                if (image.isNull()) {
                    std::fprintf(stderr, "%s: conversion failed\n", name);
                    return 1;
                }
            }
            print("convert a whole screen of root pixels", name, times);
        }
    }
    const QRect selection(QPoint(300, 210), QPoint(799, 309));
    for (X11GrabMethod method : { X11GrabMethod::sharedMemory, X11GrabMethod::getImage }) {
        const char *name = method == X11GrabMethod::sharedMemory ? "MIT-SHM" : "GetImage";

        std::vector<double> frameGrab;
        bool viaShm = false;
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer timer;
            timer.start();
            const X11Grab grab = grabRootRects({ full }, method);
            frameGrab.push_back(ms(timer));
            viaShm = grab.usedSharedMemory;
            if (grab.images.empty() || grab.images.front().isNull()) {
                std::fprintf(stderr, "%s: grab failed\n", name);
                return 1;
            }
        }
        print("grab of the whole screen (own connection)", name, frameGrab);
        // The same on the connection and segment the program keeps from one frame to the next.
        std::vector<double> reused;
        const auto kept = makeGrabConnection();
        (void)grabRootRects({ full }, method, kept.get());
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer timer;
            timer.start();
            const X11Grab grab = grabRootRects({ full }, method, kept.get());
            reused.push_back(ms(timer));
        }
        print("grab of the whole screen (kept connection)", name, reused);
        if ((method == X11GrabMethod::sharedMemory) != viaShm) {
            std::fprintf(stderr, "%s: the grab did not go the intended way\n", name);
            return 1;
        }

        X11ScreenGrabber grabber(screens, method);
        std::vector<double> toVisible, releaseToImage, liveRegion;
        for (int i = 0; i < rounds; ++i) {
            RegionCaptureOverlayController controller(grabber, screens);
            bool shown = false;
            QObject::connect(
                &controller, &RegionCaptureOverlayController::overlayShown, [&] { shown = true; });
            Run run;
            QElapsedTimer timer;
            timer.start();
            select(&controller, &run);
            while (!shown)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            toVisible.push_back(ms(timer));
            if (!QTest::qWaitFor([&] { return controller.hasInputGrab(); }, 5000))
                std::fprintf(stderr, "%s: no input grab\n", name);

            input.moveTo(selection.left(), selection.top(), 5);
            input.press(5);
            input.moveTo(selection.right() + 1, selection.bottom() + 1, 20);
            timer.restart();
            xcb_test_fake_input(
                input.connection(), XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            xcb_flush(input.connection());
            while (!run.done)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (!run.rect) {
                std::fprintf(stderr, "%s: selection cancelled\n", name);
                return 1;
            }
            Capture result;
            capture(&grabber, *run.rect, &result);
            while (!result.done)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            releaseToImage.push_back(ms(timer));
            if (result.image.size() != selection.size()) {
                std::fprintf(stderr, "%s: unexpected image size\n", name);
                return 1;
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

            // The same rectangle read live, as without a preceding selection.
            Capture live;
            timer.restart();
            capture(&grabber, QRectF(selection), &live);
            while (!live.done)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            liveRegion.push_back(ms(timer));
        }
        print("selection start -> overlay painted", name, toVisible);
        print("mouse release -> cropped 500x100 image", name, releaseToImage);
        print("live capture of 500x100 (no frame)", name, liveRegion);
    }
    return 0;
}
