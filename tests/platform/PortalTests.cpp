#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Registry.h"
#include "KeyboardShortcuts/portal/PortalHotKeyBackend.h"
#include "capture/DesktopPattern.h"
#include "capture/OCRServiceError.h"
#include "capture/ScreenGrabber.h"
#include "capture/portal/PortalScreenshot.h"
#include "fakes/DBusStandIn.h"
#include "fakes/NearMissDBusTypes.h"
#include "fakes/PrivateBus.h"
#include "fakes/TestFiles.h"
#include "platform/InMemoryUserDefaults.h"
#include "platform/PortalVersions.h"
#include "platform/portal/PortalReplies.h"
#include "platform/portal/PortalRequest.h"

#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

using namespace KeyboardShortcuts;

namespace {

// The desktop picture of a layout at a scale: each logical point in its own colour.
QImage layoutPicture(QSize logical, int scale)
{
    return desktopPattern(QRect(QPoint(), logical)).scaled(logical * scale);
}

// The portal renders the layout at its largest scale; each screen keeps its own pixels and a
// selection is cut at those of its screen.
TEST(PortalScreens, EachScreenAtItsOwnPixels_TheCropIsTheSelectedDevicePixels)
{
    const struct {
        const char *name;
        std::vector<std::pair<QRectF, qreal>> layout;
        QSize logical;
        std::vector<QRect> native;
        QRectF selection;
        QSize cropSize;
        qreal ratio;
        QPoint at; // a pixel of the crop and the logical point it shows
        QPoint point;
    } rows[] {
        { "one screen at 2", { { QRectF(0, 0, 640, 400), 2.0 } }, { 640, 400 }, { QRect(0, 0, 1280, 800) },
            QRectF(200, 100, 200, 50), { 200, 50 }, 2.0, { 199, 49 }, { 199, 74 } },
        { "2x screen beside a 1x one", { { QRectF(0, 0, 800, 600), 1.0 }, { QRectF(800, 0, 640, 400), 2.0 } },
            { 1440, 600 }, { QRect(0, 0, 800, 600), QRect(1600, 0, 1280, 800) }, QRectF(1700, 20, 60, 40),
            { 60, 40 }, 2.0, { 0, 0 }, { 850, 10 } },
        { "the 1x screen beside it", { { QRectF(0, 0, 800, 600), 1.0 }, { QRectF(800, 0, 640, 400), 2.0 } },
            { 1440, 600 }, { QRect(0, 0, 800, 600), QRect(1600, 0, 1280, 800) }, QRectF(10, 10, 30, 20),
            { 30, 20 }, 1.0, { 5, 5 }, { 15, 15 } },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<ScreenInfo> screens = placeLogicalScreens(row.layout);
        ASSERT_EQ(screens.size(), row.native.size());
        for (std::size_t i = 0; i < screens.size(); ++i)
            EXPECT_EQ(screens[i].nativeRect, row.native[i]);
        const FrozenFrame frame = splitDesktopPicture(layoutPicture(row.logical, 2), screens);
        ASSERT_EQ(frame.screens.size(), screens.size());
        for (std::size_t i = 0; i < screens.size(); ++i)
            EXPECT_EQ(frame.screens[i].image.size(), row.native[i].size());
        // A 1x screen is the picture scaled down, point for pixel.
        const int scale = int(screens[0].scale);
        EXPECT_EQ(frame.screens[0].image.pixel(300, 200), desktopPatternAt(300 / scale, 200 / scale));
        const QImage crop = cropFrozenFrame(frame, row.selection);
        ASSERT_EQ(crop.size(), row.cropSize);
        EXPECT_EQ(crop.devicePixelRatio(), row.ratio);
        EXPECT_EQ(crop.pixel(row.at), desktopPatternAt(row.point.x(), row.point.y()));
    }
}

// The desktop portal as documented: Request objects whose Response goes to the caller alone,
// sessions with Close, Activated and Deactivated sent to the session's owner.
class FakePortal : public QDBusVirtualObject {
public:
    explicit FakePortal(QDBusConnection bus)
        : m_bus(std::move(bus))
    { }

    bool offersShortcuts = true;
    // How its GlobalShortcuts back-end behaves: KDE Plasma 5.27 binds the shortcuts a session
    // brings along and its BindShortcuts only opens System Settings; a back-end of another
    // desktop refuses sessions; some bind nothing.
    bool bindsAtCreate = false;
    uint createCode = 0;
    bool bindsNothing = false;
    // The Screenshot answer: its code, and the file it names.
    uint screenshotCode = 0;
    QString screenshotFile;
    bool answersScreenshots = true;
    // How long each version query goes unanswered, as a portal busy starting does.
    std::chrono::milliseconds versionSilence { 0 };
    int versionQueries = 0;

    // Written on the portal's thread; read under the lock.
    mutable QMutex mutex;
    QStringList calls;
    QList<PortalShortcutEntry> lastBound;
    QString session;
    QString client;

    template <typename T> T read(T FakePortal::*field) const
    {
        const QMutexLocker lock(&mutex);
        return this->*field;
    }

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        const QString member = message.member();
        const QMutexLocker lock(&mutex);
        if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
            ++versionQueries;
            const QString interface = message.arguments().value(0).toString();
            const bool offered = interface == QLatin1String("org.freedesktop.portal.Screenshot")
                || (interface == QLatin1String("org.freedesktop.portal.GlobalShortcuts") && offersShortcuts);
            QDBusMessage reply = offered
                ? message.createReply(QVariant::fromValue(QDBusVariant(uint(1))))
                : message.createErrorReply(QDBusError::InvalidArgs, u"No such interface"_s);
            QTimer::singleShot(versionSilence, this, [this, reply] { m_bus.send(reply); });
            return true;
        }
        if (message.interface() == Portal::sessionInterface && member == QLatin1String("Close")) {
            calls << u"Close "_s + message.path();
            if (message.path() == session)
                session.clear();
            m_bus.send(message.createReply());
            return true;
        }
        if (message.arguments().isEmpty()) {
            m_bus.send(message.createErrorReply(QDBusError::UnknownMethod, member));
            return true;
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().last());
        const QString request
            = portalRequestPath(message.service(), options.value(u"handle_token"_s).toString());
        client = message.service();
        calls << member;
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QVariantMap results;
        uint code = 0;
        if (member == QLatin1String("CreateSession")) {
            code = createCode;
            session = u"/org/freedesktop/portal/desktop/session/%1/%2"_s.arg(
                request.section(QLatin1Char('/'), -2, -2),
                options.value(u"session_handle_token"_s).toString());
            results.insert(u"session_handle"_s, session);
            if (bindsAtCreate) {
                lastBound = qdbus_cast<QList<PortalShortcutEntry>>(options.value(u"shortcuts"_s));
                QList<PortalShortcutEntry> given = lastBound;
                for (PortalShortcutEntry &entry : given)
                    entry.properties.insert(u"trigger_description"_s, u"Meta+Shift+X"_s);
                results.insert(u"shortcuts"_s, QVariant::fromValue(given));
            }
        } else if (member == QLatin1String("BindShortcuts")) {
            lastBound = qdbus_cast<QList<PortalShortcutEntry>>(message.arguments().at(1));
            QList<PortalShortcutEntry> given = bindsNothing ? QList<PortalShortcutEntry>() : lastBound;
            for (PortalShortcutEntry &entry : given)
                entry.properties.insert(u"trigger_description"_s, u"Shift+Logo+X"_s);
            results.insert(u"shortcuts"_s, QVariant::fromValue(given));
        } else if (member == QLatin1String("Screenshot")) {
            if (!answersScreenshots)
                return true;
            code = screenshotCode;
            results.insert(u"uri"_s, QUrl::fromLocalFile(screenshotFile).toString());
        }
        QDBusMessage response = QDBusMessage::createTargetedSignal(
            message.service(), request, Portal::requestInterface, u"Response"_s);
        response << code << results;
        m_bus.send(response);
        return true;
    }

    void signal(const QString &name, const QString &id)
    {
        const QMutexLocker lock(&mutex);
        QDBusMessage message = QDBusMessage::createTargetedSignal(
            client, Portal::path, u"org.freedesktop.portal.GlobalShortcuts"_s, name);
        message << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(0) << QVariantMap();
        m_bus.send(message);
    }

private:
    QDBusConnection m_bus;
};

class PortalTest : public ::testing::Test {
protected:
    PrivateBus daemon;
    std::unique_ptr<QDBusConnection> portalBus;
    std::unique_ptr<QDBusConnection> clientBus;
    std::unique_ptr<FakePortal> portal;
    // The portal answers on a thread of its own, as a separate process would, so that the
    // client's blocking calls do not wait on themselves.
    QThread portalThread;

    void SetUp() override
    {
        ASSERT_FALSE(daemon.address.isEmpty()) << "dbus-daemon did not start";
        registerPortalShortcutTypes();
        portalBus = std::make_unique<QDBusConnection>(daemon.connect(u"portal"_s));
        clientBus = std::make_unique<QDBusConnection>(daemon.connect(u"client"_s));
        ASSERT_TRUE(portalBus->isConnected() && clientBus->isConnected());
        portal = std::make_unique<FakePortal>(*portalBus);
        ASSERT_TRUE(portalBus->registerVirtualObject(Portal::path, portal.get(), QDBusConnection::SubPath));
        portalThread.start();
        portal->moveToThread(&portalThread);
        ASSERT_TRUE(portalBus->registerService(Portal::service));
    }
    void TearDown() override
    {
        portalBus->unregisterObject(Portal::path);
        portalThread.quit();
        portalThread.wait();
    }
};

class ShortcutsPortalTest : public PortalTest {
protected:
    InMemoryUserDefaults defaults;
    const Name captureText { u"captureText"_s };
    const Name captureLast { u"captureLastSelection"_s };

    void SetUp() override
    {
        PortalTest::SetUp();
        setUserDefaults(&defaults);
    }
    void TearDown() override
    {
        setUserDefaults(nullptr);
        PortalTest::TearDown();
    }
    std::vector<PortalShortcutSlot> slots() const
    {
        return { { captureText.rawValue(), u"Capture Text"_s, getShortcut(captureText) },
            { captureLast.rawValue(), u"Capture Last Selection"_s, getShortcut(captureLast) } };
    }
};

// The readers get values as QtDBus hands them over from a received message, where a list of
// another shape once crashed in libdbus (a fuzzer's finding: a(ss) where a(sa{sv}) belongs).
TEST_F(PortalTest, RepliesOfAnotherShapeReadAsNothing)
{
    registerNearMissDBusTypes();
    const PortalShortcutEntry entry { u"captureText"_s, { { u"trigger_description"_s, u"Shift+Logo+X"_s } } };
    const QMap<QString, QStringList> refusal { { QString(), { u"no"_s } } };
    struct Case {
        const char *name;
        QVariant value;
        qsizetype entries;
        bool denied;
    };
    const Case cases[] = {
        { "shortcut list", QVariant::fromValue(QList<PortalShortcutEntry> { entry }), 1, false },
        { "list of string pairs", QVariant::fromValue(QList<TwoStrings> { { u"a"_s, u"b"_s } }), 0, false },
        { "string list", QStringList { u"no"_s }, 0, false },
        { "string", u"no"_s, 0, false },
        { "permission table", QVariant::fromValue(refusal), 0, true },
        { "string table", QVariant::fromValue(QMap<QString, QString> { { QString(), u"no"_s } }), 0, false },
    };
    QList<QVariant> sent;
    for (const Case &c : cases)
        sent << c.value;
    std::optional<QDBusMessage> received;
    DBusStandIn catcher(*portalBus, [&](const QDBusMessage &message, QDBusConnection &) {
        received = received.value_or(message);
        return true;
    });
    ASSERT_TRUE(portalBus->registerVirtualObject(u"/values"_s, &catcher));
    QDBusMessage message = QDBusMessage::createMethodCall(
        portalBus->baseService(), u"/values"_s, u"org.glyphwell.Test"_s, u"Values"_s);
    message.setArguments(sent);
    ASSERT_TRUE(clientBus->send(message));
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.has_value(); }, 3000));
    const QList<QVariant> arguments = received->arguments();
    ASSERT_EQ(arguments.size(), std::ssize(cases));
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const QList<PortalShortcutEntry> entries = portalShortcutEntries(arguments[i]);
        EXPECT_EQ(entries.size(), cases[i].entries);
        if (!entries.isEmpty())
            EXPECT_EQ(entries.first(), entry);
        EXPECT_EQ(portalPermissionDenied(arguments[i], { QString() }), cases[i].denied);
    }
    portalBus->unregisterObject(u"/values"_s);
}

TEST_F(ShortcutsPortalTest, BindsStoredSlots_ActivationRunsOnceAtRelease_ChangeRebinds)
{
    setShortcut(Shortcut(7, 0x300), captureText); // Shift-Command-X
    PortalHotKeyBackend backend([this] { return slots(); }, *clientBus, std::chrono::milliseconds(5000));
    EXPECT_EQ(PortalHotKeyBackend::portalVersion(*clientBus), 1u);
    Registry registry(backend);
    Registry::install(&registry);
    int downs = 0, ups = 0, binds = 0;
    QObject::connect(
        &backend, &PortalHotKeyBackend::bindingFinished, [&](bool ok) { binds += ok ? 1 : 100; });
    registry.onKeyDown(captureText, [&] { ++downs; });
    registry.onKeyUp(captureText, [&] { ++ups; });

    ASSERT_TRUE(QTest::qWaitFor([&] { return binds > 0; }, 5000));
    EXPECT_EQ(binds, 1);
    EXPECT_EQ(portal->read(&FakePortal::calls), QStringList({ u"CreateSession"_s, u"BindShortcuts"_s }));
    // Only the slot with a shortcut, with its description and the preferred trigger.
    const QList<PortalShortcutEntry> bound = portal->read(&FakePortal::lastBound);
    ASSERT_EQ(bound.size(), 1);
    EXPECT_EQ(bound[0].id, u"captureText"_s);
    EXPECT_EQ(bound[0].properties.value(u"description"_s).toString(), u"Capture Text"_s);
    EXPECT_EQ(bound[0].properties.value(u"preferred_trigger"_s).toString(), u"SHIFT+LOGO+x"_s);
    EXPECT_EQ(backend.triggerDescriptions().at(u"captureText"_s), u"Shift+Logo+X"_s);
    // The same session token at every start, so a desktop that files the shortcuts under it
    // finds them again.
    EXPECT_TRUE(portal->read(&FakePortal::session).endsWith(u"/glyphwell"_s));

    portal->signal(u"Activated"_s, u"captureText"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return downs == 1; }, 3000));
    EXPECT_EQ(ups, 0);
    portal->signal(u"Deactivated"_s, u"captureText"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ups == 1; }, 3000));
    // Another slot's activation and a stranger's session do nothing here.
    portal->signal(u"Activated"_s, u"captureLastSelection"_s);
    QTest::qWait(200);
    EXPECT_EQ(downs, 1);

    // A menu opening and closing does not rebind.
    registry.setMenuOpen(true);
    registry.setMenuOpen(false);
    QTest::qWait(200);
    EXPECT_EQ(portal->read(&FakePortal::calls).size(), 2);

    // A new shortcut: the old session closes and a new one binds the new trigger.
    const QString oldSession = portal->read(&FakePortal::session);
    setShortcut(Shortcut(40, 0x1100), captureText); // Control-Command-K
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal->read(&FakePortal::calls).size() == 5; }, 5000))
        << portal->read(&FakePortal::calls).join(u',').toStdString();
    EXPECT_EQ(portal->read(&FakePortal::calls).mid(2),
        QStringList({ u"Close "_s + oldSession, u"CreateSession"_s, u"BindShortcuts"_s }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return binds == 2; }, 3000));
    EXPECT_EQ(
        portal->read(&FakePortal::lastBound).value(0).properties.value(u"preferred_trigger"_s).toString(),
        u"CTRL+LOGO+k"_s);
    EXPECT_TRUE(portal->read(&FakePortal::session).endsWith(u"/glyphwell"_s));
    portal->signal(u"Activated"_s, u"captureText"_s);
    portal->signal(u"Deactivated"_s, u"captureText"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ups == 2; }, 3000));
    EXPECT_EQ(downs, 2);
    Registry::install(nullptr);
}

// What the bind gives decides, not that the portal answers (a back-end binding at
// BindShortcuts is the one above).
TEST_F(ShortcutsPortalTest, BindOutcome_PerBackEnd_SessionBringsTheShortcuts_SettingsNotOpened)
{
    using BindState = PortalHotKeyBackend::BindState;
    const QString create = u"CreateSession"_s, bind = u"BindShortcuts"_s;
    const struct {
        const char *backEnd;
        bool bindsAtCreate;
        uint createCode;
        bool bindsNothing;
        QStringList calls;
        BindState state;
        QString trigger;
    } rows[] = {
        // No BindShortcuts: on Plasma 5.27 it would open System Settings at every start.
        { "binds what the session brings", true, 0, false, { create }, BindState::bound, u"Meta+Shift+X"_s },
        { "refuses sessions", false, 2, false, { create }, BindState::refused, {} },
        { "binds nothing", false, 0, true, { create, bind }, BindState::noneBound, {} },
    };
    setShortcut(Shortcut(7, 0x300), captureText);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.backEnd);
        {
            const QMutexLocker lock(&portal->mutex);
            portal->bindsAtCreate = row.bindsAtCreate;
            portal->createCode = row.createCode;
            portal->bindsNothing = row.bindsNothing;
            portal->calls.clear();
        }
        PortalHotKeyBackend backend([this] { return slots(); }, *clientBus, std::chrono::milliseconds(5000));
        Registry registry(backend);
        Registry::install(&registry);
        std::optional<bool> finished;
        QObject::connect(&backend, &PortalHotKeyBackend::bindingFinished, [&](bool ok) { finished = ok; });
        registry.onKeyUp(captureText, [] {});
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished.has_value(); }, 5000));
        EXPECT_EQ(*finished, row.state == BindState::bound);
        EXPECT_EQ(backend.bindState(), row.state);
        EXPECT_EQ(backend.bindProblem().isEmpty(), row.state == BindState::bound);
        // (The previous row's session closes as its back-end goes; that may arrive late.)
        QStringList calls = portal->read(&FakePortal::calls);
        calls.removeIf([](const QString &call) { return call.startsWith(QLatin1String("Close ")); });
        EXPECT_EQ(calls, row.calls);
        if (!row.trigger.isEmpty())
            EXPECT_EQ(backend.triggerDescriptions().at(u"captureText"_s), row.trigger);
        Registry::install(nullptr);
    }
}

// A missing interface answers at once and is not asked again; a silent portal is asked once
// more, with the patience a busy one needs, and counts as absent only after it.
TEST_F(ShortcutsPortalTest, VersionQuery_AnErrorIsAbsence_SilenceIsWaitedOut)
{
    using std::chrono::milliseconds;
    const struct {
        const char *name;
        bool offered;
        milliseconds silence;
        PortalPatience patience;
        std::optional<uint> version;
        int queries;
    } rows[] = {
        { "answers", true, milliseconds(0), {}, 1u, 1 },
        { "interface missing", false, milliseconds(0), {}, std::nullopt, 1 },
        { "busy, then answers", true, milliseconds(600), { milliseconds(300), milliseconds(3000) }, 1u, 2 },
        { "silent throughout", true, milliseconds(1500), { milliseconds(200), milliseconds(400) },
            std::nullopt, 2 },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        {
            const QMutexLocker lock(&portal->mutex);
            portal->offersShortcuts = row.offered;
            portal->versionSilence = row.silence;
            portal->versionQueries = 0;
        }
        EXPECT_EQ(
            portalInterfaceVersion(*clientBus, u"org.freedesktop.portal.GlobalShortcuts"_s, row.patience),
            row.version);
        EXPECT_EQ(portal->read(&FakePortal::versionQueries), row.queries);
    }
}

// The 0.8 s poll asks this while the store says no: it answers from what it last read at
// once and reads again in the background, so the main thread never waits on the bus.
TEST_F(PortalTest, PermissionStore_IsReadInTheBackground)
{
    qDBusRegisterMetaType<QMap<QString, QStringList>>();
    // The permission store, slow to answer: it says "no" to screenshots for host programs.
    DBusStandIn store(*portalBus, [](const QDBusMessage &message, QDBusConnection &bus) {
        QThread::msleep(500);
        const QMap<QString, QStringList> table { { QString(), { u"no"_s } } };
        return bus.send(message.createReply(
            { QVariant::fromValue(table), QVariant::fromValue(QDBusVariant(QVariant(0))) }));
    });
    const QString service = u"org.freedesktop.impl.portal.PermissionStore"_s;
    ASSERT_TRUE(portalBus->registerVirtualObject(u"/org/freedesktop/impl/portal/PermissionStore"_s, &store));
    store.moveToThread(&portalThread);
    ASSERT_TRUE(portalBus->registerService(service));
    PortalScreenshot screenshot(*clientBus);
    PortalScreenAccess access(screenshot);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(access.preflight()); // nothing known yet: not refused
    EXPECT_LT(clock.elapsed(), 300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return screenshot.isDeniedByPermissionStore(); }, 3000));
    clock.restart();
    EXPECT_FALSE(access.preflight());
    EXPECT_LT(clock.elapsed(), 300);
    EXPECT_TRUE(screenshot.lookUpDenied());
    portalBus->unregisterService(service);
    portalBus->unregisterObject(u"/org/freedesktop/impl/portal/PermissionStore"_s);
}

QCoro::Task<> takeInto(
    PortalScreenshot &portal, std::optional<QImage> &image, std::optional<CaptureError> &error, bool &done)
{
    try {
        image = co_await portal.take();
    } catch (const CaptureError &caught) {
        error = caught;
    }
    done = true;
}

TEST_F(PortalTest, Screenshot_ReadsAndRemovesTheFile_RefusalsAndSilenceAreScreenAccessRefusals)
{
    QTemporaryDir folder;
    const QString picture = folder.filePath(u"out.png"_s);
    const QImage written = desktopPattern(QRect(0, 0, 40, 30));
    // A file that is no picture is not one the request wrote: an error, and the file stays.
    const QString notes = folder.filePath(u"notes.txt"_s);
    ASSERT_TRUE(writeFile(notes, "not a picture"));
    PortalScreenshot screenshot(*clientBus, std::chrono::milliseconds(1500));
    EXPECT_EQ(screenshot.version(), 1u);
    EXPECT_FALSE(screenshot.isDeniedByPermissionStore()); // no store on this bus: nothing refused

    enum class Outcome { picture, refusal, otherError };
    struct Case {
        const char *name;
        uint code;
        bool answers;
        const QString &file;
        Outcome outcome;
    };
    for (const Case &c : { Case { "granted", 0, true, picture, Outcome::picture },
             Case { "cancelled", 1, true, picture, Outcome::refusal },
             Case { "refused", 2, true, picture, Outcome::refusal },
             Case { "unanswered", 0, false, picture, Outcome::refusal },
             Case { "not a picture", 0, true, notes, Outcome::otherError } }) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QFile::exists(picture) || written.save(picture));
        portal->screenshotFile = c.file;
        portal->screenshotCode = c.code;
        portal->answersScreenshots = c.answers;
        std::optional<QImage> image;
        std::optional<CaptureError> error;
        bool done = false;
        takeInto(screenshot, image, error, done);
        ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
        if (c.outcome == Outcome::picture) {
            ASSERT_TRUE(image.has_value());
            EXPECT_EQ(image->convertToFormat(QImage::Format_RGB32), written);
            EXPECT_FALSE(QFile::exists(c.file)) << "the portal's file was left behind";
        } else {
            ASSERT_TRUE(error.has_value());
            EXPECT_EQ(error->isScreenAccessRefusal(), c.outcome == Outcome::refusal)
                << error->localizedDescription().toStdString();
            EXPECT_TRUE(QFile::exists(c.file)) << "a file the request did not deliver was removed";
        }
    }
}

TEST(PortalReplies, ScreenshotFileIsALocalAbsolutePathOnly)
{
    const auto fileOf = [](const QVariant &uri) { return portalScreenshotFile({ { u"uri"_s, uri } }); };
    EXPECT_EQ(fileOf(u"file:///tmp/Screenshot%20from%20now.png"_s), u"/tmp/Screenshot from now.png"_s);
    for (const QVariant &other : { QVariant(u"https://example.org/a.png"_s), QVariant(u"file:a.png"_s),
             QVariant(u"/tmp/a.png"_s), QVariant(42), QVariant() })
        EXPECT_FALSE(fileOf(other).has_value()) << other.toString().toStdString();
}

} // namespace
