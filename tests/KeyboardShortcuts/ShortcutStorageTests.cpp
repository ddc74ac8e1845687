#include "KeyboardShortcuts/HotKeyRegistry.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "platform/InMemoryUserDefaults.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace KeyboardShortcuts;

namespace {

// Records what storage asks of the hot-key layer, in order.
struct FakeHotKeyRegistry : HotKeyRegistry {
    std::vector<Shortcut> registered, unregistered;
    int initializeCalls = 0;

    void registerShortcut(const Shortcut &shortcut) override { registered.push_back(shortcut); }
    void unregisterShortcut(const Shortcut &shortcut) override { unregistered.push_back(shortcut); }
    void initialize() override { ++initializeCalls; }
};

const QString captureTextKey = QStringLiteral("KeyboardShortcuts_captureText");
const QString shiftCommandXJson = QStringLiteral("{\"carbonKeyCode\":7,\"carbonModifiers\":768}");
const Shortcut shiftCommandX(Key::x, ModifierFlags::command | ModifierFlags::shift);

Name captureText()
{
    return Name(QStringLiteral("captureText"), shiftCommandX);
}

class ShortcutStorage : public ::testing::Test {
protected:
    void SetUp() override
    {
        setUserDefaults(&defaults);
        setHotKeyRegistry(&registry);
        connection = QObject::connect(&Notifier::instance(), &Notifier::shortcutByNameDidChange,
            [this](const Name &name) { notifications.push_back(name); });
    }
    void TearDown() override
    {
        QObject::disconnect(connection);
        setHotKeyRegistry(nullptr);
        // The memory store rather than the user's real settings file.
        setUserDefaults(&defaults);
    }
    void forget()
    {
        registry.registered.clear();
        registry.unregistered.clear();
        notifications.clear();
    }

    InMemoryUserDefaults defaults;
    FakeHotKeyRegistry registry;
    std::vector<Name> notifications;
    QMetaObject::Connection connection;
};

} // namespace

TEST_F(ShortcutStorage, FreshProfile_CaptureTextStoresItsDefaultOnce_RegistersOnce_NotifiesOnce)
{
    for (int creation = 1; creation <= 2; ++creation) {
        SCOPED_TRACE(creation);
        const Name name = captureText();
        EXPECT_EQ(defaults.keys(), QStringList { captureTextKey });
        EXPECT_EQ(defaults.objectForKey(captureTextKey), QVariant(shiftCommandXJson));
        EXPECT_EQ(registry.registered, std::vector { Shortcut(7, 0x300) });
        EXPECT_TRUE(registry.unregistered.empty());
        ASSERT_EQ(notifications.size(), 1u);
        EXPECT_EQ(notifications[0].rawValue(), QStringLiteral("captureText"));
        EXPECT_EQ(notifications[0].defaultShortcut(), shiftCommandX);
        EXPECT_EQ(getShortcut(name), shiftCommandX);
        EXPECT_EQ(registry.initializeCalls, creation);
    }
}

// Clearing disables a slot with a default (which does not come back at the next start) and
// removes one without; clearing again posts nothing. An unreadable entry is left alone.
TEST_F(ShortcutStorage, Clear_DisablesASlotWithDefault_RemovesOneWithout_ClearingAgainPostsNothing)
{
    const Shortcut commandC(Key::c, ModifierFlags::command);
    const struct Case {
        Name name;
        std::optional<QVariant> left;
    } cases[] = { { captureText(), QVariant(false) }, { Name(QStringLiteral("captureLastSelection")), {} } };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name.rawValue().toStdString());
        setShortcut(commandC, c.name);
        forget();
        setShortcut(std::nullopt, c.name);
        setShortcut(std::nullopt, c.name);
        EXPECT_EQ(defaults.objectForKey(c.name.storageKey()), c.left);
        EXPECT_EQ(registry.unregistered, std::vector { commandC });
        ASSERT_EQ(notifications.size(), 1u);
        EXPECT_EQ(notifications[0], c.name);
        const Name afterRestart(c.name.rawValue(), c.name.defaultShortcut());
        EXPECT_FALSE(getShortcut(afterRestart));
        EXPECT_EQ(defaults.objectForKey(c.name.storageKey()), c.left);
        EXPECT_TRUE(registry.registered.empty());
    }
    defaults.setObject(captureTextKey, QStringLiteral("garbage"));
    forget();
    setShortcut(std::nullopt, captureText());
    EXPECT_EQ(defaults.objectForKey(captureTextKey), QVariant(QStringLiteral("garbage")));
    EXPECT_TRUE(registry.registered.empty() && registry.unregistered.empty());
    EXPECT_TRUE(notifications.empty());
}

TEST_F(ShortcutStorage, Store_UnregistersWhatTheSlotHeld_RegistersTheNew_WritesCompactJson)
{
    const struct Case {
        std::optional<QVariant> before;
        Shortcut shortcut;
        const char *json;
        std::vector<Shortcut> unregistered;
    } cases[] = {
        { shiftCommandXJson, Shortcut(Key::f5, ModifierFlags::command),
            R"({"carbonKeyCode":96,"carbonModifiers":256})", { shiftCommandX } },
        { QVariant(false), Shortcut(Key::t, ModifierFlags::control),
            R"({"carbonKeyCode":17,"carbonModifiers":4096})", {} },
        { QStringLiteral("garbage"), shiftCommandX, R"({"carbonKeyCode":7,"carbonModifiers":768})", {} },
        // A fresh slot gets its default first; a key code is kept as given, however large.
        { std::nullopt, Shortcut(INT64_C(0x7fffffffffff), 0x100),
            R"({"carbonKeyCode":140737488355327,"carbonModifiers":256})", { shiftCommandX } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.json);
        if (c.before)
            defaults.setObject(captureTextKey, *c.before);
        else
            defaults.removeObject(captureTextKey);
        const Name name = captureText();
        forget();
        name.setShortcut(c.shortcut);
        EXPECT_EQ(registry.unregistered, c.unregistered);
        EXPECT_EQ(registry.registered, std::vector { c.shortcut });
        EXPECT_EQ(defaults.objectForKey(captureTextKey), QVariant(QString::fromLatin1(c.json)));
        EXPECT_EQ(name.shortcut(), c.shortcut);
        EXPECT_EQ(Shortcut::fromName(name), c.shortcut);
        EXPECT_EQ(notifications.size(), 1u);
    }
}

// Read from the store at every call: a shortcut only as a JSON object with two integers,
// taken unnormalized.
TEST_F(ShortcutStorage, StoredValues_AreAShortcutOnlyAsAJsonObjectWithTwoIntegers_TakenUnnormalized)
{
    const std::pair<QVariant, std::optional<Shortcut>> cases[] = {
        { QStringLiteral(R"({"carbonModifiers":256,"carbonKeyCode":8})"), Shortcut(8, 256) },
        { QStringLiteral("  {\n \"carbonModifiers\" : 256 ,\t\"carbonKeyCode\": 8 , \"x\": [1] }\n"),
            Shortcut(8, 256) },
        { QStringLiteral(R"({"carbonKeyCode":7.0,"carbonModifiers":256})"), Shortcut(7, 256) },
        { QStringLiteral(R"({"carbonKeyCode":7,"carbonModifiers":9984})"),
            Shortcut::unnormalized(7, 0x2700) },
        { QStringLiteral(R"({"carbonKeyCode":4294967296,"carbonModifiers":9007199254740993})"),
            Shortcut::unnormalized(INT64_C(4294967296), INT64_C(9007199254740993)) },
        { QStringLiteral(R"({"carbonKeyCode":-1,"carbonModifiers":-9223372036854775808})"),
            Shortcut::unnormalized(-1, INT64_MIN) },
        { QStringLiteral("Shift-Command-X"), {} },
        { QStringLiteral(""), {} },
        { QStringLiteral("false"), {} },
        { QStringLiteral("0"), {} },
        { QStringLiteral("[7,768]"), {} },
        { QStringLiteral(R"({"carbonKeyCode":7})"), {} },
        { QStringLiteral(R"({"carbonModifiers":768})"), {} },
        { QStringLiteral(R"({"carbonKeyCode":"7","carbonModifiers":768})"), {} },
        { QStringLiteral(R"({"carbonKeyCode":7.5,"carbonModifiers":768})"), {} },
        { QStringLiteral(R"({"carbonKeyCode":7,"carbonModifiers":null})"), {} },
        { QStringLiteral(R"({"carbonKeyCode":7,"carbonModifiers":768} trailing)"), {} },
        { 7, {} },
        { 0.0, {} },
        { true, {} },
        { QStringList { shiftCommandXJson }, {} },
        { QVariant(), {} },
    };
    const Name name(QStringLiteral("captureText"));
    for (const auto &[stored, expected] : cases) {
        SCOPED_TRACE(stored.toString().toStdString());
        if (stored.isValid())
            defaults.setObject(captureTextKey, stored);
        else
            defaults.removeObject(captureTextKey);
        EXPECT_EQ(getShortcut(name), expected);
    }
}

// Names are their raw value: with other defaults they are equal, hash alike and share one
// entry, yet a notification carries the caller's name with its own default (through QVariant too).
TEST_F(ShortcutStorage, SameRawValueDifferentDefaults_ShareOneEntry_NotifiedWithTheCallersDefault)
{
    const Name withDefault = captureText();
    const Name otherDefault(QStringLiteral("captureText"), Shortcut(Key::a, ModifierFlags::control));
    const Name noDefault(QStringLiteral("captureText"));
    EXPECT_EQ(withDefault, otherDefault);
    EXPECT_EQ(withDefault, noDefault);
    EXPECT_EQ(qHash(withDefault), qHash(otherDefault));
    EXPECT_EQ(std::hash<Name>()(withDefault), std::hash<Name>()(noDefault));
    EXPECT_NE(withDefault, Name(QStringLiteral("captureTextX")));

    EXPECT_EQ(getShortcut(otherDefault), shiftCommandX);
    setShortcut(Shortcut(Key::z, ModifierFlags::option), noDefault);
    EXPECT_EQ(getShortcut(withDefault), Shortcut(6, 0x800));
    EXPECT_EQ(defaults.keys(), QStringList { captureTextKey });

    QSignalSpy spy(&Notifier::instance(), &Notifier::shortcutByNameDidChange);
    setShortcut(std::nullopt, Name(QStringLiteral("captureText"), Shortcut(Key::q, ModifierFlags::command)));
    ASSERT_EQ(spy.count(), 1);
    const QVariant argument = spy.at(0).at(0);
    ASSERT_EQ(argument.metaType(), QMetaType::fromType<Name>());
    EXPECT_EQ(static_cast<const Name *>(argument.constData())->defaultShortcut(), Shortcut(12, 0x100));
}

TEST_F(ShortcutStorage, Reset_PutsDefaultsBack_ResetAllRemovesReadableShortcutsOnly)
{
    const Name text = captureText(), last(QStringLiteral("captureLastSelection"));
    setShortcut(std::nullopt, text);
    setShortcut(Shortcut(Key::l, ModifierFlags::command), last);
    notifications.clear();
    reset(text, last, Name(QStringLiteral("neverSet")));
    EXPECT_EQ(defaults.keys(), QStringList { captureTextKey });
    EXPECT_EQ(defaults.objectForKey(captureTextKey), QVariant(shiftCommandXJson));
    ASSERT_EQ(notifications.size(), 2u);
    EXPECT_EQ(notifications[0].rawValue(), QStringLiteral("captureText"));
    EXPECT_EQ(notifications[1].rawValue(), QStringLiteral("captureLastSelection"));

    const std::pair<const char *, QVariant> entries[] = {
        { "KeyboardShortcuts_captureWithoutLineBreaks",
            QStringLiteral(R"({"carbonKeyCode":13,"carbonModifiers":256})") },
        { "KeyboardShortcuts_", shiftCommandXJson }, // the bare prefix: the name with the empty string
        { "KeyboardShortcuts_disabled", false },
        { "KeyboardShortcuts_broken", QStringLiteral("{") },
        { "autoCopy", true },
    };
    for (const auto &[key, value] : entries)
        defaults.setObject(QString::fromLatin1(key), value);
    forget();
    resetAll();
    QStringList notified, left = defaults.keys();
    for (const Name &name : notifications) {
        notified << name.rawValue();
        EXPECT_FALSE(name.defaultShortcut());
    }
    notified.sort();
    left.sort();
    EXPECT_EQ(notified,
        (QStringList {
            QString(), QStringLiteral("captureText"), QStringLiteral("captureWithoutLineBreaks") }));
    EXPECT_EQ(left,
        (QStringList { QStringLiteral("KeyboardShortcuts_broken"),
            QStringLiteral("KeyboardShortcuts_disabled"), QStringLiteral("autoCopy") }));
    // Two names stored Shift+Super+X: it is let go once, with the last of them.
    EXPECT_EQ(registry.unregistered.size(), 2u);
}

TEST_F(ShortcutStorage, NoRegistryInstalled_StorageStillWorks)
{
    setHotKeyRegistry(nullptr);
    const Name name = captureText();
    EXPECT_EQ(getShortcut(name), shiftCommandX);
    setShortcut(std::nullopt, name);
    EXPECT_FALSE(getShortcut(name));
    EXPECT_EQ(notifications.size(), 2u);
    EXPECT_TRUE(registry.registered.empty());
}
