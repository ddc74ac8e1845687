#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Registry.h"
#include "KeyboardShortcuts/portal/PortalHotKeyBackend.h"
#include "capture/OCRServiceError.h"
#include "capture/ScreenGrabber.h"
#include "capture/portal/PortalScreenshot.h"
#include "fakes/NearMissDBusTypes.h"
#include "fakes/PrivateBus.h"
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
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QMutex>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

using namespace KeyboardShortcuts;

namespace {

// The desktop picture of a layout: every logical point of it painted in a colour that says
// where it is, so a crop can be checked pixel by pixel.
QImage layoutPicture(QSize logical, qreal scale)
{
    QImage picture(QSize(qRound(logical.width() * scale), qRound(logical.height() * scale)), QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(int(x / scale) % 256, int(y / scale) % 256, int(x / scale) / 256 * 40));
    return picture;
}

QRgb colourOfPoint(int x, int y)
{
    return qRgb(x % 256, y % 256, x / 256 * 40);
}

TEST(PortalScreens, ScaleTwo_CropIsTheSelectedDevicePixels)
{
    const std::vector<ScreenInfo> screens = placeLogicalScreens({ { QRectF(0, 0, 640, 400), 2.0 } });
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].nativeRect, QRect(0, 0, 1280, 800));
    const QImage picture = layoutPicture(QSize(640, 400), 2.0);
    const FrozenFrame frame = splitDesktopPicture(picture, screens);
    ASSERT_EQ(frame.screens.size(), 1u);
    EXPECT_EQ(frame.screens[0].image, picture);

    // Device pixels (200, 100) to (400, 150) are logical points (100, 50) to (200, 75).
    const QImage crop = cropFrozenFrame(frame, QRectF(200, 100, 200, 50));
    ASSERT_EQ(crop.size(), QSize(200, 50));
    EXPECT_EQ(crop.devicePixelRatio(), 2.0);
    EXPECT_EQ(crop.pixel(0, 0), colourOfPoint(100, 50));
    EXPECT_EQ(crop.pixel(199, 49), colourOfPoint(199, 74));
}

TEST(PortalScreens, TwoScalesSideBySide_EachScreenAtItsOwnPixels)
{
    // A 1× screen on the left and a 2× screen right of it, as the compositor lays them out;
    // the portal renders the whole layout at the larger scale.
    const std::vector<ScreenInfo> screens
        = placeLogicalScreens({ { QRectF(0, 0, 800, 600), 1.0 }, { QRectF(800, 0, 640, 400), 2.0 } });
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0].nativeRect, QRect(0, 0, 800, 600));
    EXPECT_EQ(screens[1].nativeRect, QRect(1600, 0, 1280, 800));
    EXPECT_FALSE(screens[0].nativeRect.intersects(screens[1].nativeRect));

    const QImage picture = layoutPicture(QSize(1440, 600), 2.0);
    const FrozenFrame frame = splitDesktopPicture(picture, screens);
    ASSERT_EQ(frame.screens.size(), 2u);
    EXPECT_EQ(frame.screens[0].image.size(), QSize(800, 600));
    EXPECT_EQ(frame.screens[1].image.size(), QSize(1280, 800));
    // The 1× screen is the picture scaled down, point for pixel.
    EXPECT_EQ(frame.screens[0].image.pixel(300, 200), colourOfPoint(300, 200));

    // A selection on the 2× screen is cut at its pixels; one on the 1× screen at its own.
    const QImage right = cropFrozenFrame(frame, QRectF(1600 + 100, 20, 60, 40));
    ASSERT_EQ(right.size(), QSize(60, 40));
    EXPECT_EQ(right.devicePixelRatio(), 2.0);
    EXPECT_EQ(right.pixel(0, 0), colourOfPoint(850, 10));
    const QImage left = cropFrozenFrame(frame, QRectF(10, 10, 30, 20));
    ASSERT_EQ(left.size(), QSize(30, 20));
    EXPECT_EQ(left.devicePixelRatio(), 1.0);
    EXPECT_EQ(left.pixel(5, 5), colourOfPoint(15, 15));
}


// Keeps the first message sent to it.
class Catcher : public QDBusVirtualObject {
public:
    std::optional<QDBusMessage> received;
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        if (!received)
            received = message;
        return true;
    }
};

// The readers get values as QtDBus hands them over from a received message, where a list of
// another shape once crashed in libdbus (a fuzzer's finding: a(ss) where a(sa{sv}) belongs).
TEST(PortalReplies, ValuesOfAnotherShapeReadAsNothing)
{
    PrivateBus daemon;
    ASSERT_FALSE(daemon.address.isEmpty()) << "dbus-daemon did not start";
    registerPortalShortcutTypes();
    registerNearMissDBusTypes();
    QDBusConnection sender = daemon.connect(QStringLiteral("sender"));
    QDBusConnection receiver = daemon.connect(QStringLiteral("receiver"));
    const PortalShortcutEntry entry { QStringLiteral("captureText"),
        { { QStringLiteral("trigger_description"), QStringLiteral("Shift+Logo+X") } } };
    const QMap<QString, QStringList> refusal { { QString(), { QStringLiteral("no") } } };
    struct Case {
        const char *name;
        QVariant value;
        qsizetype entries;
        bool denied;
    };
    const Case cases[] = {
        { "shortcut list", QVariant::fromValue(QList<PortalShortcutEntry> { entry }), 1, false },
        { "list of string pairs", QVariant::fromValue(QList<TwoStrings> { { QStringLiteral("a"), QStringLiteral("b") } }), 0, false },
        { "string list", QStringList { QStringLiteral("no") }, 0, false },
        { "string", QStringLiteral("no"), 0, false },
        { "permission table", QVariant::fromValue(refusal), 0, true },
        { "string table", QVariant::fromValue(QMap<QString, QString> { { QString(), QStringLiteral("no") } }), 0, false },
    };
    QList<QVariant> sent;
    for (const Case &c : cases)
        sent << c.value;
    Catcher catcher;
    ASSERT_TRUE(receiver.registerVirtualObject(QStringLiteral("/values"), &catcher));
    QDBusMessage message = QDBusMessage::createMethodCall(
        receiver.baseService(), QStringLiteral("/values"), QStringLiteral("org.glyphwell.Test"), QStringLiteral("Values"));
    message.setArguments(sent);
    ASSERT_TRUE(sender.send(message));
    ASSERT_TRUE(QTest::qWaitFor([&] { return catcher.received.has_value(); }, 3000));
    const QList<QVariant> arguments = catcher.received->arguments();
    ASSERT_EQ(arguments.size(), std::ssize(cases));
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const QList<PortalShortcutEntry> entries = portalShortcutEntries(arguments[i]);
        EXPECT_EQ(entries.size(), cases[i].entries);
        if (!entries.isEmpty())
            EXPECT_EQ(entries.first(), entry);
        EXPECT_EQ(portalPermissionDenied(arguments[i], { QString() }), cases[i].denied);
    }
    receiver.unregisterObject(QStringLiteral("/values"));
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

    template<typename T>
    T read(T FakePortal::*field) const
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
                : message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("No such interface"));
            QTimer::singleShot(versionSilence, this, [this, reply] { m_bus.send(reply); });
            return true;
        }
        if (message.interface() == Portal::sessionInterface && member == QLatin1String("Close")) {
            calls << QStringLiteral("Close ") + message.path();
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
        const QString request = portalRequestPath(message.service(), options.value(QStringLiteral("handle_token")).toString());
        client = message.service();
        calls << member;
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QVariantMap results;
        uint code = 0;
        if (member == QLatin1String("CreateSession")) {
            code = createCode;
            session = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                          .arg(request.section(QLatin1Char('/'), -2, -2),
                              options.value(QStringLiteral("session_handle_token")).toString());
            results.insert(QStringLiteral("session_handle"), session);
            if (bindsAtCreate) {
                lastBound = qdbus_cast<QList<PortalShortcutEntry>>(options.value(QStringLiteral("shortcuts")));
                QList<PortalShortcutEntry> given = lastBound;
                for (PortalShortcutEntry &entry : given)
                    entry.properties.insert(QStringLiteral("trigger_description"), QStringLiteral("Meta+Shift+X"));
                results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(given));
            }
        } else if (member == QLatin1String("BindShortcuts")) {
            lastBound = qdbus_cast<QList<PortalShortcutEntry>>(message.arguments().at(1));
            QList<PortalShortcutEntry> given = bindsNothing ? QList<PortalShortcutEntry>() : lastBound;
            for (PortalShortcutEntry &entry : given)
                entry.properties.insert(QStringLiteral("trigger_description"), QStringLiteral("Shift+Logo+X"));
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(given));
        } else if (member == QLatin1String("Screenshot")) {
            if (!answersScreenshots)
                return true;
            code = screenshotCode;
            results.insert(QStringLiteral("uri"), QUrl::fromLocalFile(screenshotFile).toString());
        }
        QDBusMessage response = QDBusMessage::createTargetedSignal(
            message.service(), request, Portal::requestInterface, QStringLiteral("Response"));
        response << code << results;
        m_bus.send(response);
        return true;
    }

    void signal(const QString &name, const QString &id)
    {
        const QMutexLocker lock(&mutex);
        QDBusMessage message = QDBusMessage::createTargetedSignal(client, Portal::path,
            QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), name);
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
        portalBus = std::make_unique<QDBusConnection>(daemon.connect(QStringLiteral("portal")));
        clientBus = std::make_unique<QDBusConnection>(daemon.connect(QStringLiteral("client")));
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
    const Name captureText { QStringLiteral("captureText") };
    const Name captureLast { QStringLiteral("captureLastSelection") };

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
        return { { captureText.rawValue(), QStringLiteral("Capture Text"), getShortcut(captureText) },
            { captureLast.rawValue(), QStringLiteral("Capture Last Selection"), getShortcut(captureLast) } };
    }
};

TEST_F(ShortcutsPortalTest, BindsStoredSlots_ActivationRunsOnceAtRelease_ChangeRebinds)
{
    setShortcut(Shortcut(7, 0x300), captureText); // Shift-Command-X
    PortalHotKeyBackend backend([this] { return slots(); }, *clientBus, std::chrono::milliseconds(5000));
    EXPECT_EQ(PortalHotKeyBackend::portalVersion(*clientBus), 1u);
    Registry registry(backend);
    Registry::install(&registry);
    int downs = 0, ups = 0, binds = 0;
    QObject::connect(&backend, &PortalHotKeyBackend::bindingFinished, [&](bool ok) { binds += ok ? 1 : 100; });
    registry.onKeyDown(captureText, [&] { ++downs; });
    registry.onKeyUp(captureText, [&] { ++ups; });

    ASSERT_TRUE(QTest::qWaitFor([&] { return binds > 0; }, 5000));
    EXPECT_EQ(binds, 1);
    EXPECT_EQ(portal->read(&FakePortal::calls), QStringList({ QStringLiteral("CreateSession"), QStringLiteral("BindShortcuts") }));
    // Only the slot with a shortcut, with its description and the preferred trigger.
    ASSERT_EQ(portal->read(&FakePortal::lastBound).size(), 1);
    EXPECT_EQ(portal->read(&FakePortal::lastBound)[0].id, QStringLiteral("captureText"));
    EXPECT_EQ(portal->read(&FakePortal::lastBound)[0].properties.value(QStringLiteral("description")).toString(), QStringLiteral("Capture Text"));
    EXPECT_EQ(portal->read(&FakePortal::lastBound)[0].properties.value(QStringLiteral("preferred_trigger")).toString(),
        QStringLiteral("SHIFT+LOGO+x"));
    EXPECT_EQ(backend.triggerDescriptions().at(QStringLiteral("captureText")), QStringLiteral("Shift+Logo+X"));
    // The same session token at every start, so a desktop that files the shortcuts under it
    // finds them again.
    EXPECT_TRUE(portal->read(&FakePortal::session).endsWith(QStringLiteral("/glyphwell")));

    portal->signal(QStringLiteral("Activated"), QStringLiteral("captureText"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return downs == 1; }, 3000));
    EXPECT_EQ(ups, 0);
    portal->signal(QStringLiteral("Deactivated"), QStringLiteral("captureText"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ups == 1; }, 3000));
    // Another slot's activation and a stranger's session do nothing here.
    portal->signal(QStringLiteral("Activated"), QStringLiteral("captureLastSelection"));
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal->read(&FakePortal::calls).size() == 5; }, 5000)) << portal->read(&FakePortal::calls).join(u',').toStdString();
    EXPECT_EQ(portal->read(&FakePortal::calls).mid(2),
        QStringList({ QStringLiteral("Close ") + oldSession, QStringLiteral("CreateSession"), QStringLiteral("BindShortcuts") }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return binds == 2; }, 3000));
    EXPECT_EQ(portal->read(&FakePortal::lastBound).value(0).properties.value(QStringLiteral("preferred_trigger")).toString(),
        QStringLiteral("CTRL+LOGO+k"));
    EXPECT_TRUE(portal->read(&FakePortal::session).endsWith(QStringLiteral("/glyphwell")));
    portal->signal(QStringLiteral("Activated"), QStringLiteral("captureText"));
    portal->signal(QStringLiteral("Deactivated"), QStringLiteral("captureText"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ups == 2; }, 3000));
    EXPECT_EQ(downs, 2);
    Registry::install(nullptr);
}

// What the bind gives decides, not that the portal answers: each back-end's behaviour, the
// calls it gets, and the state the program acts on (and --doctor reports).
TEST_F(ShortcutsPortalTest, BindOutcome_PerBackEnd_SessionBringsTheShortcuts_SettingsNotOpened)
{
    using BindState = PortalHotKeyBackend::BindState;
    const QString create = QStringLiteral("CreateSession"), bind = QStringLiteral("BindShortcuts");
    const struct {
        const char *backEnd;
        bool bindsAtCreate;
        uint createCode;
        bool bindsNothing;
        QStringList calls;
        BindState state;
        QString trigger;
    } rows[] = {
        { "binds at BindShortcuts", false, 0, false, { create, bind }, BindState::bound, QStringLiteral("Shift+Logo+X") },
        // No BindShortcuts: on Plasma 5.27 it would open System Settings at every start.
        { "binds what the session brings", true, 0, false, { create }, BindState::bound, QStringLiteral("Meta+Shift+X") },
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
        registry.onKeyUp(captureText, [] { });
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished.has_value(); }, 5000));
        EXPECT_EQ(*finished, row.state == BindState::bound);
        EXPECT_EQ(backend.bindState(), row.state);
        EXPECT_EQ(backend.bindProblem().isEmpty(), row.state == BindState::bound);
        // (The previous row's session closes as its back-end goes; that may arrive late.)
        QStringList calls = portal->read(&FakePortal::calls);
        calls.removeIf([](const QString &call) { return call.startsWith(QLatin1String("Close ")); });
        EXPECT_EQ(calls, row.calls);
        if (!row.trigger.isEmpty())
            EXPECT_EQ(backend.triggerDescriptions().at(QStringLiteral("captureText")), row.trigger);
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
        EXPECT_EQ(portalInterfaceVersion(
                      *clientBus, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), row.patience),
            row.version);
        EXPECT_EQ(portal->read(&FakePortal::versionQueries), row.queries);
    }
}

// The permission store, slow to answer: it says "no" to screenshots for host programs.
class SlowPermissionStore : public QDBusVirtualObject {
public:
    explicit SlowPermissionStore(QDBusConnection bus)
        : m_bus(std::move(bus))
    { }
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        QThread::msleep(500);
        const QMap<QString, QStringList> table { { QString(), { QStringLiteral("no") } } };
        m_bus.send(message.createReply({ QVariant::fromValue(table), QVariant::fromValue(QDBusVariant(QVariant(0))) }));
        return true;
    }

private:
    QDBusConnection m_bus;
};

// The 0.8 s poll asks this while the store says no: it answers from what it last read at
// once and reads again in the background, so the main thread never waits on the bus.
TEST_F(PortalTest, PermissionStore_IsReadInTheBackground)
{
    qDBusRegisterMetaType<QMap<QString, QStringList>>();
    SlowPermissionStore store(*portalBus);
    const QString service = QStringLiteral("org.freedesktop.impl.portal.PermissionStore");
    ASSERT_TRUE(portalBus->registerVirtualObject(QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"), &store));
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
    portalBus->unregisterObject(QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"));
}

QCoro::Task<> takeInto(PortalScreenshot &portal, std::optional<QImage> &image, std::optional<CaptureError> &error, bool &done)
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
    const QString picture = folder.filePath(QStringLiteral("out.png"));
    const QImage written = layoutPicture(QSize(40, 30), 1.0);
    // A file that is no picture is not one the request wrote: an error, and the file stays.
    const QString notes = folder.filePath(QStringLiteral("notes.txt"));
    QFile text(notes);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("not a picture") > 0);
    text.close();
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
             Case { "cancelled", 1, true, picture, Outcome::refusal }, Case { "refused", 2, true, picture, Outcome::refusal },
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
    const auto fileOf = [](const QVariant &uri) { return portalScreenshotFile({ { QStringLiteral("uri"), uri } }); };
    EXPECT_EQ(fileOf(QStringLiteral("file:///tmp/Screenshot%20from%20now.png")), QStringLiteral("/tmp/Screenshot from now.png"));
    for (const QVariant &other : { QVariant(QStringLiteral("https://example.org/a.png")), QVariant(QStringLiteral("file:a.png")),
             QVariant(QStringLiteral("/tmp/a.png")), QVariant(42), QVariant() })
        EXPECT_FALSE(fileOf(other).has_value()) << other.toString().toStdString();
}

} // namespace
