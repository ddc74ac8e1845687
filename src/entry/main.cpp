#include "GlyphwellApp.h"
#include "KeyboardShortcuts/Registry.h"
#include "app/AppState.h"
#include "app/CommandLine.h"
#include "app/Preferences.h"
#include "capture/OCRService.h"
#include "capture/TesseractEngine.h"
#include "capture/ZXingBarcodeEngine.h"
#include "entry/PlatformLoader.h"
#include "entry/SystemDoctor.h"
#include "platform/AppActivation.h"
#include "platform/AppScope.h"
#include "platform/DesktopNotifications.h"
#include "platform/PlatformMethods.h"
#include "platform/SingleInstance.h"
#include "platform/StandardUserDefaults.h"
#include "ui/DesktopColorScheme.h"
#include "ui/Icons.h"
#include "ui/SettingsWindowController.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFuture>
#include <QLockFile>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void onQuitSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto written = write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop normally, so everything is torn down in order.
void quitOnSignals(QCoreApplication &app)
{
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Where no session bus exists, a lock file keeps the session to one Glyphwell.
QString instanceLockPath()
{
    QString session = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (session.isEmpty())
        session = qEnvironmentVariable("DISPLAY");
    session.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/glyphwell-") + session + QStringLiteral(".lock");
}

void describeApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Glyphwell"));
    QCoreApplication::setOrganizationName(QStringLiteral("Glyphwell"));
    QCoreApplication::setApplicationVersion(QStringLiteral(GLYPHWELL_VERSION));
}

} // namespace

int main(int argc, char **argv)
{
#if defined(__GLIBC__)
    // glibc gives each thread that allocates an arena of its own, and a reading on two
    // threads scattered what it kept over all of them: 154 MB at rest after full-screen
    // captures, where two arenas make it 109, with the same speed. Before any thread starts.
    if (!std::getenv("MALLOC_ARENA_MAX") && !std::getenv("GLIBC_TUNABLES"))
        mallopt(M_ARENA_MAX, 2);
#endif
    QStringList arguments;
    QList<QByteArray> nativeArguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
        nativeArguments.append(QByteArray(argv[i]));
    }
    const std::optional<DesktopLaunch> launch = desktopLaunch(arguments);
    if (!launch) {
        QCoreApplication app(argc, argv);
        describeApplication();
        return runCommandLine(
            arguments, [] { return printDoctorReport(gatherDoctorFindings()); }, nativeArguments);
    }

    const QString platformName = detectPlatform(SessionEnvironment::current());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        const QString problem = displayProblem(SessionEnvironment::current());
        if (!problem.isEmpty()) {
            std::fprintf(stderr,
                "glyphwell: %s\nIt needs a desktop session; glyphwell --recognize FILE reads an image "
                "without one.\n",
                qPrintable(problem));
            return 1;
        }
        // Qt's own choice need not be ours (XWayland is there on most Wayland desktops); the
        // windows must live where the capture and the shortcuts do.
        if (platformName == QLatin1String("wayland"))
            qputenv("QT_QPA_PLATFORM", "wayland");
        else if (platformName == QLatin1String("x11"))
            qputenv("QT_QPA_PLATFORM", "xcb");
    }

    QApplication app(argc, argv);
    describeApplication();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Glyphwell"));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.glyphwell.Glyphwell"));
    QApplication::setWindowIcon(applicationIcon());
    QApplication::setQuitOnLastWindowClosed(false);
    quitOnSignals(app);

    // One per desktop session: a second start hands its request to the first and leaves.
    SingleInstance instance(QDBusConnection::sessionBus());
    std::optional<QLockFile> instanceLock;
    if (QDBusConnection::sessionBus().isConnected()) {
        if (!instance.becomePrimary()) {
            // Started at login while already running: nothing to ask for.
            if (launch->background || instance.forward(launch->action))
                return 0;
            std::fprintf(stderr, "glyphwell: another Glyphwell owns %s but does not answer.\n",
                qPrintable(SingleInstance::serviceName));
            return 1;
        }
    } else {
        instanceLock.emplace(instanceLockPath());
        if (!instanceLock->tryLock(0)) {
            if (!launch->action.isEmpty() && !launch->background) {
                std::fprintf(stderr,
                    "glyphwell: Glyphwell is already running, but without a session bus it cannot be asked "
                    "to act.\n");
                return 1;
            }
            std::fprintf(stderr, "glyphwell: Glyphwell is already running in this session.\n");
            return 0;
        }
    }

    // Before the first portal call: the portal names us once, by our systemd unit. Started
    // from a terminal we would have no name (or the terminal's), and KDE would file the
    // shortcuts under the session token rather than under Glyphwell.
    if (platformName == QLatin1String("wayland"))
        AppScope::moveInto(QDBusConnection::sessionBus(), QStringLiteral("io.glyphwell.Glyphwell"),
            std::chrono::milliseconds(1000));

    Platform platform = loadPlatform(platformName);
    if (!platform.unavailableReason.isEmpty()) {
        // There is no window yet to explain it in, and a program that cannot capture would
        // only sit there.
        std::fprintf(stderr, "glyphwell: %s\n", qPrintable(platform.unavailableReason));
        return 1;
    }
    setPlatformMethods(platform.methods);
    std::printf("glyphwell: %s\n", qPrintable(platformMethods().description()));
    std::fflush(stdout);
    if (!platform.shortcutNotice.isEmpty())
        std::fprintf(stderr, "glyphwell: %s\n", qPrintable(platform.shortcutNotice));
    TesseractEngine textEngine;
    ZXingBarcodeEngine barcodeEngine;
    OCRService service(textEngine, barcodeEngine, *platform.screenGrabber);
    AppActivation activation;
    activation.followApplicationState();
    // Before the application state: constructing it registers the shortcut handlers.
    KeyboardShortcuts::Registry shortcuts(*platform.hotKeys);
    KeyboardShortcuts::Registry::install(&shortcuts);

    AppState appState(AppStateServices { standardUserDefaults(), Preferences::shared(), *platform.pasteboard,
        *platform.dialogs, *platform.screenAccess, *platform.regionSelector, service, activation,
        PermissionService(), historyFilePath() });
    // The first capture should not wait for the language's models to load, nor for their first
    // reading: both are done at start and after the language changes, on a thread of low
    // priority (nice 10), so the window and the tray come first. Not the idle class: on a busy
    // machine that would not run at all, and the first capture would wait for it.
    QThreadPool warming;
    warming.setMaxThreadCount(1);
    const auto warmUp = [&warming, &textEngine, &appState] {
        (void)QtConcurrent::run(&warming, [&textEngine, language = appState.recognitionLanguage()] {
            setpriority(PRIO_PROCESS, id_t(gettid()), 10); // this thread only, on Linux
            textEngine.warmUpAndRead(language);
        });
    };
    warmUp();
    QObject::connect(&appState, &AppState::recognitionLanguageChanged, &warming, warmUp);
    // The allocator keeps what a reading freed for the next one: after full-screen captures,
    // 80 MB more than the program needs at rest. Once the user has stopped capturing for a
    // while, it goes back to the system; the next capture pays a few page faults for it.
    QTimer memoryRelease;
    memoryRelease.setSingleShot(true);
    memoryRelease.setInterval(std::chrono::seconds(20));
    QObject::connect(&appState, &AppState::readingFinished, &memoryRelease, qOverload<>(&QTimer::start));
    QObject::connect(&memoryRelease, &QTimer::timeout, &warming, [&warming] {
#if defined(__GLIBC__)
        (void)QtConcurrent::run(&warming, [] { malloc_trim(0); });
#endif
    });

    // Light or dark as the desktop says, now and when it switches.
    DesktopColorScheme colorScheme;
    colorScheme.watch(QDBusConnection::sessionBus());

    FreedesktopNotifications notifications;
    GlyphwellApp glyphwell(appState, notifications, {}, platform.windowActivation.get());
    QObject::connect(
        &instance, &SingleInstance::activateRequested, &glyphwell, &GlyphwellApp::showMainWindow);
    QObject::connect(&instance, &SingleInstance::actionRequested, &glyphwell, &GlyphwellApp::perform);
    QObject::connect(&glyphwell, &GlyphwellApp::settingsRequested,
        [&platform] { SettingsWindowController::shared(platform.dialogs.get()).show(); });
    glyphwell.start(*launch);

    const int status = app.exec();
    // A capture still being read would hold up the end for as long as it takes.
    appState.cancelCapture();
    warming.clear();
    warming.waitForDone();
    return status;
}
