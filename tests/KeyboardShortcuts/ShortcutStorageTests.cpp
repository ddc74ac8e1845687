#include "FakeHotKeyRegistry.h"

#include "KeyboardShortcuts/AppShortcutNames.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "platform/InMemoryUserDefaults.h"
#include "platform/IniUserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace KeyboardShortcuts;

namespace {

const QString captureTextKey = QStringLiteral("KeyboardShortcuts_captureText");
const QString shiftCommandXJson = QStringLiteral("{\"carbonKeyCode\":7,\"carbonModifiers\":768}");

Shortcut shiftCommandX()
{
    return Shortcut(Key::x, ModifierFlags::command | ModifierFlags::shift);
}

Name captureText()
{
    return Name(QStringLiteral("captureText"), shiftCommandX());
}

Name captureLastSelection()
{
    return Name(QStringLiteral("captureLastSelection"));
}

class ShortcutStorage : public ::testing::Test {
protected:
    void SetUp() override
    {
        useStore(&memoryStore);
        setHotKeyRegistry(&registry);
        connection = QObject::connect(&Notifier::instance(), &Notifier::shortcutByNameDidChange,
            [this](const Name &name) { notifications.push_back(name); });
    }

    void TearDown() override
    {
        QObject::disconnect(connection);
        setHotKeyRegistry(nullptr);
        // Back to the memory store rather than the user's real settings file.
        setUserDefaults(&memoryStore);
    }

    void useStore(UserDefaults *store)
    {
        defaults = store;
        setUserDefaults(store);
    }

    InMemoryUserDefaults memoryStore;
    UserDefaults *defaults = nullptr;
    FakeHotKeyRegistry registry;
    std::vector<Name> notifications;
    QMetaObject::Connection connection;
};

} // namespace

TEST_F(ShortcutStorage, FreshProfile_CaptureTextStoresItsDefaultOnce_RegistersOnce_NotifiesOnce)
{
    const Name name = captureText();

    EXPECT_EQ(defaults->keys(), QStringList { captureTextKey });
    const std::optional<QVariant> stored = defaults->objectForKey(captureTextKey);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->typeId(), QMetaType::QString);
    EXPECT_EQ(stored->toString(), shiftCommandXJson);
    ASSERT_EQ(registry.registered.size(), 1u);
    EXPECT_EQ(registry.registered[0], Shortcut(7, 0x300));
    EXPECT_TRUE(registry.unregistered.empty());
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].rawValue(), QStringLiteral("captureText"));
    EXPECT_EQ(notifications[0].defaultShortcut(), shiftCommandX());
    EXPECT_EQ(getShortcut(name), shiftCommandX());

    const Name again = captureText();

    EXPECT_EQ(defaults->keys(), QStringList { captureTextKey });
    EXPECT_EQ(defaults->objectForKey(captureTextKey)->toString(), shiftCommandXJson);
    EXPECT_EQ(registry.registered.size(), 1u);
    EXPECT_EQ(notifications.size(), 1u);
    EXPECT_EQ(registry.initializeCalls, 2);
}

TEST_F(ShortcutStorage, AppCaptureTextName_MadeOnFirstUse_HoldsShiftCommandX)
{
    const Name &name = AppShortcutNames::captureText();
    EXPECT_EQ(name.rawValue(), QStringLiteral("captureText"));
    EXPECT_EQ(name.defaultShortcut(), shiftCommandX());
    EXPECT_EQ(AppShortcutNames::captureTextDefault(), Shortcut(7, 768));
    EXPECT_EQ(&AppShortcutNames::captureText(), &name);
    EXPECT_FALSE(AppShortcutNames::captureWithoutLineBreaks().defaultShortcut());
    EXPECT_FALSE(AppShortcutNames::captureLastSelection().defaultShortcut());
    EXPECT_EQ(AppShortcutNames::captureLastSelection().rawValue(), QStringLiteral("captureLastSelection"));
}

TEST_F(ShortcutStorage, ClearWithDefault_StoresBooleanFalse_DefaultNotWrittenBackOnNextCreation)
{
    const Name name = captureText();
    notifications.clear();

    setShortcut(std::nullopt, name);

    const std::optional<QVariant> stored = defaults->objectForKey(captureTextKey);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->typeId(), QMetaType::Bool);
    EXPECT_FALSE(stored->toBool());
    ASSERT_EQ(registry.unregistered.size(), 1u);
    EXPECT_EQ(registry.unregistered[0], shiftCommandX());
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].rawValue(), QStringLiteral("captureText"));

    // The next start of the program.
    const Name afterRestart = captureText();

    EXPECT_EQ(defaults->objectForKey(captureTextKey)->typeId(), QMetaType::Bool);
    EXPECT_FALSE(getShortcut(afterRestart));
    EXPECT_FALSE(afterRestart.shortcut());
    EXPECT_EQ(registry.registered.size(), 1u);
    EXPECT_EQ(notifications.size(), 1u);

    // A disabled slot is empty, so clearing it again changes and posts nothing.
    setShortcut(std::nullopt, afterRestart);
    EXPECT_EQ(notifications.size(), 1u);
    EXPECT_EQ(registry.unregistered.size(), 1u);
}

TEST_F(ShortcutStorage, ClearWithoutDefault_RemovesEntry_ClearingAgainPostsNothing)
{
    const Name name = captureLastSelection();
    EXPECT_TRUE(defaults->keys().isEmpty());
    setShortcut(Shortcut(Key::c, ModifierFlags::command), name);
    notifications.clear();

    setShortcut(std::nullopt, name);

    EXPECT_FALSE(defaults->objectForKey(QStringLiteral("KeyboardShortcuts_captureLastSelection")));
    ASSERT_EQ(registry.unregistered.size(), 1u);
    EXPECT_EQ(registry.unregistered[0], Shortcut(8, 0x100));
    EXPECT_EQ(notifications.size(), 1u);

    setShortcut(std::nullopt, name);

    EXPECT_EQ(notifications.size(), 1u);
    EXPECT_EQ(registry.unregistered.size(), 1u);
    EXPECT_TRUE(defaults->keys().isEmpty());
}

TEST_F(ShortcutStorage, StoreOverExistingShortcut_UnregistersOldThenRegistersNew)
{
    const Name name = captureText();
    const Shortcut commandF5(Key::f5, ModifierFlags::command);

    name.setShortcut(commandF5);

    EXPECT_EQ(registry.unregistered, std::vector<Shortcut> { shiftCommandX() });
    EXPECT_EQ(registry.registered, (std::vector<Shortcut> { shiftCommandX(), commandF5 }));
    EXPECT_EQ(defaults->objectForKey(captureTextKey)->toString(),
        QStringLiteral("{\"carbonKeyCode\":96,\"carbonModifiers\":256}"));
    EXPECT_EQ(name.shortcut(), commandF5);
    EXPECT_EQ(Shortcut::fromName(name), commandF5);
    EXPECT_EQ(notifications.size(), 2u);
}

TEST_F(ShortcutStorage, StoreIntoDisabledSlot_SetsItWithoutUnregistering)
{
    defaults->setBool(captureTextKey, false);
    const Name name = captureText();
    EXPECT_TRUE(registry.registered.empty());

    setShortcut(Shortcut(Key::t, ModifierFlags::control), name);

    EXPECT_TRUE(registry.unregistered.empty());
    EXPECT_EQ(registry.registered, std::vector<Shortcut> { Shortcut(17, 0x1000) });
    EXPECT_EQ(getShortcut(name), Shortcut(17, 0x1000));
}

TEST_F(ShortcutStorage, MembersInOtherOrderAndSpacing_ReadAsCommandC)
{
    defaults->setObject(captureTextKey, QStringLiteral("{\"carbonModifiers\":256,\"carbonKeyCode\":8}"));
    EXPECT_EQ(getShortcut(captureText()), Shortcut(Key::c, ModifierFlags::command));

    defaults->setObject(captureTextKey,
        QStringLiteral("  {\n \"carbonModifiers\" : 256 ,\t\"carbonKeyCode\": 8 , \"x\": [1] }\n"));
    EXPECT_EQ(getShortcut(captureText()), Shortcut(8, 256));
}

TEST_F(ShortcutStorage, StoredNumber_ReadsAsNothing)
{
    defaults->setObject(captureTextKey, 7);
    EXPECT_FALSE(getShortcut(captureText()));
    defaults->setObject(captureTextKey, 0.0);
    EXPECT_FALSE(getShortcut(captureText()));
}

TEST_F(ShortcutStorage, StoredValuesThatAreNotShortcutObjects_ReadAsNothing)
{
    const Name name(QStringLiteral("captureText"));
    for (const QString &text : {
             QStringLiteral("Shift-Command-X"),
             QStringLiteral(""),
             QStringLiteral("false"),
             QStringLiteral("0"),
             QStringLiteral("[7,768]"),
             QStringLiteral("{\"carbonKeyCode\":7}"),
             QStringLiteral("{\"carbonModifiers\":768}"),
             QStringLiteral("{\"carbonKeyCode\":\"7\",\"carbonModifiers\":768}"),
             QStringLiteral("{\"carbonKeyCode\":7.5,\"carbonModifiers\":768}"),
             QStringLiteral("{\"carbonKeyCode\":7,\"carbonModifiers\":null}"),
             QStringLiteral("{\"carbonKeyCode\":7,\"carbonModifiers\":768} trailing"),
         }) {
        defaults->setObject(captureTextKey, text);
        EXPECT_FALSE(getShortcut(name)) << text.toStdString();
    }
    defaults->setObject(captureTextKey, true);
    EXPECT_FALSE(getShortcut(name));
    defaults->setObject(captureTextKey, QStringList { shiftCommandXJson });
    EXPECT_FALSE(getShortcut(name));
}

TEST_F(ShortcutStorage, UnreadableEntry_CountsAsEntry_DefaultNotWritten_ClearLeavesIt)
{
    defaults->setObject(captureTextKey, QStringLiteral("garbage"));

    const Name name = captureText();
    setShortcut(std::nullopt, name);

    EXPECT_EQ(defaults->objectForKey(captureTextKey)->toString(), QStringLiteral("garbage"));
    EXPECT_TRUE(registry.registered.empty());
    EXPECT_TRUE(notifications.empty());

    setShortcut(shiftCommandX(), name);
    EXPECT_EQ(defaults->objectForKey(captureTextKey)->toString(), shiftCommandXJson);
}

TEST_F(ShortcutStorage, SameRawValueDifferentDefaults_EqualAndShareOneEntry)
{
    const Name withDefault(QStringLiteral("captureText"), shiftCommandX());
    const Name otherDefault(QStringLiteral("captureText"), Shortcut(Key::a, ModifierFlags::control));
    const Name noDefault(QStringLiteral("captureText"));

    EXPECT_EQ(withDefault, otherDefault);
    EXPECT_EQ(withDefault, noDefault);
    EXPECT_EQ(qHash(withDefault), qHash(otherDefault));
    EXPECT_EQ(std::hash<Name>()(withDefault), std::hash<Name>()(noDefault));
    EXPECT_NE(withDefault, Name(QStringLiteral("captureTextX")));

    EXPECT_EQ(getShortcut(otherDefault), shiftCommandX());
    setShortcut(Shortcut(Key::z, ModifierFlags::option), noDefault);
    EXPECT_EQ(getShortcut(withDefault), Shortcut(6, 0x800));
    EXPECT_EQ(defaults->keys(), QStringList { captureTextKey });
}

TEST_F(ShortcutStorage, Notification_CarriesCallersNameWithItsOwnDefault)
{
    const Name stored = captureText();
    const Name caller(QStringLiteral("captureText"), Shortcut(Key::q, ModifierFlags::command));
    notifications.clear();

    setShortcut(std::nullopt, caller);

    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].defaultShortcut(), Shortcut(12, 0x100));
}

TEST_F(ShortcutStorage, Notification_WorksWithSignalSpy)
{
    QSignalSpy spy(&Notifier::instance(), &Notifier::shortcutByNameDidChange);
    const Name name = captureText();
    ASSERT_EQ(spy.count(), 1);
    const QVariant argument = spy.at(0).at(0);
    ASSERT_EQ(argument.metaType(), QMetaType::fromType<Name>());
    EXPECT_EQ(static_cast<const Name *>(argument.constData())->rawValue(), QStringLiteral("captureText"));
}

TEST_F(ShortcutStorage, Reset_PutsDefaultBack_AndClearsSlotsWithoutDefault)
{
    const Name text = captureText();
    const Name last = captureLastSelection();
    const Name untouched(QStringLiteral("neverSet"));
    setShortcut(std::nullopt, text);
    setShortcut(Shortcut(Key::l, ModifierFlags::command), last);
    notifications.clear();

    reset(text, last, untouched);

    EXPECT_EQ(defaults->objectForKey(captureTextKey)->toString(), shiftCommandXJson);
    EXPECT_FALSE(defaults->objectForKey(QStringLiteral("KeyboardShortcuts_captureLastSelection")));
    EXPECT_FALSE(defaults->objectForKey(QStringLiteral("KeyboardShortcuts_neverSet")));
    ASSERT_EQ(notifications.size(), 2u);
    EXPECT_EQ(notifications[0].rawValue(), QStringLiteral("captureText"));
    EXPECT_EQ(notifications[1].rawValue(), QStringLiteral("captureLastSelection"));
}

TEST_F(ShortcutStorage, ResetAll_WithTwoEntries_RemovesBoth_PostsTwoNotifications)
{
    const Name text = captureText();
    setShortcut(Shortcut(Key::w, ModifierFlags::command), Name(QStringLiteral("captureWithoutLineBreaks")));
    defaults->setObject(QStringLiteral("autoCopy"), true);
    notifications.clear();
    registry.unregistered.clear();

    resetAll();

    EXPECT_EQ(defaults->keys(), QStringList { QStringLiteral("autoCopy") });
    ASSERT_EQ(notifications.size(), 2u);
    QStringList notified { notifications[0].rawValue(), notifications[1].rawValue() };
    notified.sort();
    EXPECT_EQ(notified,
        (QStringList { QStringLiteral("captureText"), QStringLiteral("captureWithoutLineBreaks") }));
    EXPECT_FALSE(notifications[0].defaultShortcut());
    EXPECT_FALSE(notifications[1].defaultShortcut());
    EXPECT_EQ(registry.unregistered.size(), 2u);
    EXPECT_FALSE(getShortcut(text));
}

TEST_F(ShortcutStorage, ResetAll_LeavesDisabledMarkersAndUnreadableEntries)
{
    defaults->setBool(captureTextKey, false);
    defaults->setObject(QStringLiteral("KeyboardShortcuts_broken"), QStringLiteral("{"));

    resetAll();

    EXPECT_EQ(defaults->keys().size(), 2);
    EXPECT_TRUE(notifications.empty());
}

TEST_F(ShortcutStorage, ResetAll_BarePrefixKey_IsTheNameWithTheEmptyString)
{
    defaults->setObject(QStringLiteral("KeyboardShortcuts_"), shiftCommandXJson);
    EXPECT_EQ(getShortcut(Name(QString())), shiftCommandX());

    resetAll();

    EXPECT_TRUE(defaults->keys().isEmpty());
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].rawValue(), QString());
    EXPECT_EQ(notifications[0], Name(QString()));
}

TEST_F(ShortcutStorage, ValuesOutside32Bits_ReadBackUnchanged)
{
    const Name name = captureLastSelection();
    defaults->setObject(name.storageKey(),
        QStringLiteral("{\"carbonKeyCode\":4294967296,\"carbonModifiers\":9007199254740993}"));
    std::optional<Shortcut> read = getShortcut(name);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->carbonKeyCode, INT64_C(4294967296));
    EXPECT_EQ(read->carbonModifiers, INT64_C(9007199254740993));

    defaults->setObject(
        name.storageKey(), QStringLiteral("{\"carbonKeyCode\":-1,\"carbonModifiers\":-9223372036854775808}"));
    read = getShortcut(name);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->carbonKeyCode, -1);
    EXPECT_EQ(read->carbonModifiers, INT64_MIN);

    // Through a store and a read: the key code is kept as given.
    const Shortcut big(INT64_C(0x7fffffffffff), 0x100);
    setShortcut(big, name);
    EXPECT_EQ(defaults->objectForKey(name.storageKey())->toString(),
        QStringLiteral("{\"carbonKeyCode\":140737488355327,\"carbonModifiers\":256}"));
    EXPECT_EQ(getShortcut(name), big);
}

TEST_F(ShortcutStorage, Reading_IsNotCached_SeesChangesMadeDirectlyInTheStore)
{
    const Name name = captureText();
    defaults->setObject(captureTextKey, QStringLiteral("{\"carbonKeyCode\":0,\"carbonModifiers\":4096}"));
    EXPECT_EQ(getShortcut(name), Shortcut(Key::a, ModifierFlags::control));
    defaults->removeObject(captureTextKey);
    EXPECT_FALSE(getShortcut(name));
}

TEST_F(ShortcutStorage, NoRegistryInstalled_StorageStillWorks)
{
    setHotKeyRegistry(nullptr);
    const Name name = captureText();
    EXPECT_EQ(getShortcut(name), shiftCommandX());
    setShortcut(std::nullopt, name);
    EXPECT_FALSE(getShortcut(name));
    EXPECT_EQ(notifications.size(), 2u);
    EXPECT_TRUE(registry.registered.empty());
    EXPECT_EQ(hotKeyRegistry(), nullptr);
}

TEST_F(ShortcutStorage, IniFile_ClearedDefaultSurvivesRestart_AndReadsAsNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Glyphwell.conf"));
    {
        IniUserDefaults ini(path);
        useStore(&ini);
        setShortcut(std::nullopt, captureText());
        EXPECT_EQ(registry.registered.size(), 1u);
        EXPECT_EQ(registry.unregistered.size(), 1u);
        useStore(&memoryStore);
    }
    IniUserDefaults reopened(path);
    useStore(&reopened);

    const Name name = captureText();

    EXPECT_FALSE(getShortcut(name));
    EXPECT_EQ(registry.registered.size(), 1u);
    ASSERT_TRUE(reopened.objectForKey(captureTextKey));
    EXPECT_FALSE(reopened.boolForKey(captureTextKey));

    setShortcut(Shortcut(Key::c, ModifierFlags::command), name);
    IniUserDefaults third(path);
    EXPECT_EQ(
        third.stringForKey(captureTextKey), QStringLiteral("{\"carbonKeyCode\":8,\"carbonModifiers\":256}"));
    useStore(&memoryStore);
}
