#include "fakes/FullDisk.h"
#include "fakes/ReadOnlyFolder.h"
#include "platform/InMemoryUserDefaults.h"
#include "platform/IniUserDefaults.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sys/stat.h>

namespace {

const QString hotkeyJson = QStringLiteral(R"({"carbonKeyCode":7,"carbonModifiers":768})");

// QSettings shares parsed files between its objects in one process, typed values included,
// so reopening the same path would not read the file again. A copy under a new name is read
// from disk, as a later run of the program would.
std::unique_ptr<IniUserDefaults> freshStoreOnCopyOf(const QString &path, const QString &copyPath)
{
    QFile::remove(copyPath);
    if (!QFile::copy(path, copyPath))
        return nullptr;
    return std::make_unique<IniUserDefaults>(copyPath);
}

// A back-end under test. reopen() drops the store and opens a fresh one on the same data,
// so every expectation below also holds after a round trip through the INI file.
class UserDefaultsContract : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        reopen();
    }

    bool isIni() const { return std::string(GetParam()) == "ini"; }
    void reopen()
    {
        if (!isIni()) {
            if (!m_store)
                m_store = std::make_unique<InMemoryUserDefaults>();
            return;
        }
        const QString next = m_dir.filePath(QStringLiteral("config/Glyphwell-%1.conf").arg(m_generation++));
        if (!m_store) {
            m_store = std::make_unique<IniUserDefaults>(next);
            return;
        }
        const QString current = static_cast<IniUserDefaults &>(*m_store).filePath();
        m_store.reset();
        m_store = freshStoreOnCopyOf(current, next);
        ASSERT_TRUE(m_store) << "the store wrote no file";
    }

    UserDefaults &store() { return *m_store; }

    QTemporaryDir m_dir;
    std::unique_ptr<UserDefaults> m_store;
    int m_generation = 0;
};

} // namespace

TEST_P(UserDefaultsContract, MissingKeysReadAsNothing)
{
    EXPECT_FALSE(store().objectForKey(QStringLiteral("autoCopy")).has_value());
    EXPECT_FALSE(store().boolForKey(QStringLiteral("autoCopy")));
    EXPECT_FALSE(store().stringForKey(QStringLiteral("autoCopy")).has_value());
    EXPECT_TRUE(store().keys().isEmpty());
}

TEST_P(UserDefaultsContract, BooleansStayBooleansAndAreNotText)
{
    store().setBool(QStringLiteral("autoCopy"), false);
    store().setBool(QStringLiteral("playSound"), true);
    reopen();

    EXPECT_FALSE(store().boolForKey(QStringLiteral("autoCopy")));
    EXPECT_TRUE(store().boolForKey(QStringLiteral("playSound")));
    const std::optional<QVariant> stored = store().objectForKey(QStringLiteral("autoCopy"));
    ASSERT_TRUE(stored.has_value()) << "a stored false is still a stored value";
    EXPECT_EQ(stored->typeId(), QMetaType::Bool);
    EXPECT_FALSE(store().stringForKey(QStringLiteral("autoCopy")).has_value());
    EXPECT_FALSE(store().stringForKey(QStringLiteral("playSound")).has_value());

    // Replacing a Boolean with text makes it text.
    store().setObject(QStringLiteral("playSound"), QStringLiteral("true"));
    reopen();
    EXPECT_EQ(store().stringForKey(QStringLiteral("playSound")), QStringLiteral("true"));
    EXPECT_TRUE(store().boolForKey(QStringLiteral("playSound")));
}

TEST_P(UserDefaultsContract, TextReadsBackByteIdentical)
{
    const QString tricky
        = QStringLiteral("  @leading at, comma; semi = equals \"quoted\" \\ back\ttab \u00e9\u4e2d  ");
    store().setObject(QStringLiteral("hotkey"), hotkeyJson);
    store().setObject(QStringLiteral("tricky"), tricky);
    store().setObject(QStringLiteral("empty"), QString());
    store().setObject(QStringLiteral("digits"), QStringLiteral("007"));
    reopen();

    EXPECT_EQ(store().stringForKey(QStringLiteral("hotkey")), hotkeyJson);
    EXPECT_EQ(store().stringForKey(QStringLiteral("tricky")), tricky);
    EXPECT_EQ(store().stringForKey(QStringLiteral("empty")), QString());
    EXPECT_EQ(store().stringForKey(QStringLiteral("digits")), QStringLiteral("007"));
    EXPECT_EQ(store().objectForKey(QStringLiteral("digits"))->typeId(), QMetaType::QString);
}

TEST_P(UserDefaultsContract, NumbersStayNumbersAndReadAsDecimalText)
{
    store().setObject(QStringLiteral("count"), 7);
    store().setObject(QStringLiteral("zero"), 0);
    store().setObject(QStringLiteral("negative"), -3);
    store().setObject(QStringLiteral("big"), qulonglong(18446744073709551615ULL));
    store().setObject(QStringLiteral("scale"), 0.5);
    store().setObject(QStringLiteral("whole"), 2.0);
    store().setObject(QStringLiteral("zeroDouble"), 0.0);
    reopen();

    const std::optional<QVariant> count = store().objectForKey(QStringLiteral("count"));
    ASSERT_TRUE(count.has_value());
    EXPECT_NE(count->typeId(), QMetaType::QString);
    EXPECT_EQ(count->toInt(), 7);
    EXPECT_EQ(store().objectForKey(QStringLiteral("scale"))->toDouble(), 0.5);

    EXPECT_EQ(store().stringForKey(QStringLiteral("count")), QStringLiteral("7"));
    EXPECT_EQ(store().stringForKey(QStringLiteral("negative")), QStringLiteral("-3"));
    EXPECT_EQ(store().stringForKey(QStringLiteral("big")), QStringLiteral("18446744073709551615"));
    EXPECT_EQ(store().stringForKey(QStringLiteral("scale")), QStringLiteral("0.5"));
    EXPECT_EQ(store().stringForKey(QStringLiteral("whole")), QStringLiteral("2"));

    EXPECT_TRUE(store().boolForKey(QStringLiteral("count")));
    EXPECT_TRUE(store().boolForKey(QStringLiteral("negative")));
    EXPECT_TRUE(store().boolForKey(QStringLiteral("big")));
    EXPECT_TRUE(store().boolForKey(QStringLiteral("scale")));
    EXPECT_FALSE(store().boolForKey(QStringLiteral("zero")));
    EXPECT_FALSE(store().boolForKey(QStringLiteral("zeroDouble")));
}

TEST_P(UserDefaultsContract, TextReadsAsBooleanLikeWordsAndNumbers)
{
    const struct {
        const char *text;
        bool expected;
    } cases[] = {
        { "true", true },
        { "TRUE", true },
        { "Yes", true },
        { "y", true },
        { "T", true },
        { " yes ", true },
        { "1", true },
        { "42abc", true },
        { "  +3", true },
        { "-1", true },
        { "007", true },
        { "false", false },
        { "no", false },
        { "0", false },
        { "-0", false },
        { "0.5", false },
        { "", false },
        { "   ", false },
        { "maybe", false },
        { "truest", false },
        { "on", false },
        { "x1", false },
    };
    for (const auto &c : cases)
        store().setObject(QStringLiteral("k_") + QString::number(&c - cases), QString::fromUtf8(c.text));
    reopen();
    for (const auto &c : cases)
        EXPECT_EQ(store().boolForKey(QStringLiteral("k_") + QString::number(&c - cases)), c.expected)
            << '"' << c.text << '"';
}

TEST_P(UserDefaultsContract, ListsAndMapsAreNeitherTextNorTrue)
{
    store().setObject(
        QStringLiteral("languages"), QStringList { QStringLiteral("eng"), QStringLiteral("deu") });
    store().setObject(QStringLiteral("window"), QVariantMap { { QStringLiteral("x"), 1 } });
    reopen();

    ASSERT_TRUE(store().objectForKey(QStringLiteral("languages")).has_value());
    EXPECT_EQ(store().objectForKey(QStringLiteral("languages"))->toStringList(),
        (QStringList { QStringLiteral("eng"), QStringLiteral("deu") }));
    EXPECT_FALSE(store().stringForKey(QStringLiteral("languages")).has_value());
    EXPECT_FALSE(store().stringForKey(QStringLiteral("window")).has_value());
    EXPECT_FALSE(store().boolForKey(QStringLiteral("languages")));
    EXPECT_FALSE(store().boolForKey(QStringLiteral("window")));
}

TEST_P(UserDefaultsContract, RemoveAndKeys)
{
    store().setBool(QStringLiteral("autoCopy"), false);
    store().setObject(QStringLiteral("selected_language"), QStringLiteral("eng"));
    store().setObject(QStringLiteral("count"), 3);
    reopen();
    QStringList keys = store().keys();
    keys.sort();
    EXPECT_EQ(keys,
        (QStringList {
            QStringLiteral("autoCopy"), QStringLiteral("count"), QStringLiteral("selected_language") }));

    store().removeObject(QStringLiteral("autoCopy"));
    store().removeObject(QStringLiteral("never_set"));
    store().setObject(QStringLiteral("count"), QVariant()); // storing nothing removes
    reopen();
    EXPECT_FALSE(store().objectForKey(QStringLiteral("autoCopy")).has_value());
    EXPECT_FALSE(store().objectForKey(QStringLiteral("count")).has_value());
    EXPECT_EQ(store().keys(), QStringList { QStringLiteral("selected_language") });

    // A removed Boolean's type must not stick to text stored later under the same key.
    store().setObject(QStringLiteral("autoCopy"), QStringLiteral("false"));
    reopen();
    EXPECT_EQ(store().stringForKey(QStringLiteral("autoCopy")), QStringLiteral("false"));
}

TEST_P(UserDefaultsContract, OddKeysDoNotBreakTheStore)
{
    const QStringList odd = { QStringLiteral("a/b"), QStringLiteral("with space"), QStringLiteral("x=y"),
        QStringLiteral("[section]"), QStringLiteral("semi;colon"), QStringLiteral("\u00fcber"),
        QStringLiteral("a\\b"), QStringLiteral("%41"), QStringLiteral("General") };
    for (const QString &key : odd)
        store().setObject(key, key + QStringLiteral("-value"));
    store().setBool(QStringLiteral("flags/autoCopy"), true);
    store().setObject(QString(), QStringLiteral("ignored or kept, but no crash"));
    store().removeObject(QString());
    reopen();

    for (const QString &key : odd)
        EXPECT_EQ(store().stringForKey(key), key + QStringLiteral("-value")) << key.toStdString();
    EXPECT_TRUE(store().boolForKey(QStringLiteral("flags/autoCopy")));
    EXPECT_FALSE(store().stringForKey(QStringLiteral("flags/autoCopy")).has_value());
    for (const QString &key : odd)
        EXPECT_TRUE(store().keys().contains(key)) << key.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, UserDefaultsContract, ::testing::Values("memory", "ini"),
    [](const ::testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// The contents of every settings file set aside in the folder.
QList<QByteArray> keptAside(const QTemporaryDir &dir)
{
    QList<QByteArray> contents;
    for (const QString &name : QDir(dir.path()).entryList({ QStringLiteral("Glyphwell.conf.unreadable-*") }))
        contents << readFile(dir.filePath(name));
    return contents;
}

} // namespace

TEST(IniUserDefaults, WritesThroughSoAnotherStoreSeesChangesAtOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("new/folder/Glyphwell.conf"));
    IniUserDefaults writer(path);
    writer.setBool(QStringLiteral("autoCopy"), true);
    writer.setObject(QStringLiteral("hotkey"), hotkeyJson);

    // The file on disk already holds both while the writer is still alive.
    const auto reader = freshStoreOnCopyOf(path, dir.filePath(QStringLiteral("copy1.conf")));
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->boolForKey(QStringLiteral("autoCopy")));
    EXPECT_EQ(reader->stringForKey(QStringLiteral("hotkey")), hotkeyJson);

    writer.removeObject(QStringLiteral("autoCopy"));
    const auto later = freshStoreOnCopyOf(path, dir.filePath(QStringLiteral("copy2.conf")));
    ASSERT_TRUE(later);
    EXPECT_FALSE(later->objectForKey(QStringLiteral("autoCopy")).has_value());
    EXPECT_EQ(later->stringForKey(QStringLiteral("hotkey")), hotkeyJson);
}

TEST(IniUserDefaults, ReadsSeeWhatAnotherProcessWrote)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Glyphwell.conf"));
    IniUserDefaults store(path);
    store.setBool(QStringLiteral("autoCopy"), true);
    ASSERT_TRUE(store.boolForKey(QStringLiteral("autoCopy")));

    // Another process rewrites the file while this store is alive, twice (the second time with
    // the same size, so the time stamp alone must tell).
    const auto writeFromAnotherProcess = [&](const char *text) {
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"), { QStringLiteral("-c"), QStringLiteral("printf '%s' \"$1\" > \"$2\""),
            QStringLiteral("sh"), QString::fromLatin1(text), path });
        ASSERT_TRUE(shell.waitForFinished(5000));
        ASSERT_EQ(shell.exitCode(), 0);
    };
    writeFromAnotherProcess("[General]\nautoCopy=false\nlanguage=deu\n");
    EXPECT_FALSE(store.boolForKey(QStringLiteral("autoCopy")));
    EXPECT_EQ(store.stringForKey(QStringLiteral("language")), QStringLiteral("deu"));
    EXPECT_TRUE(store.keys().contains(QStringLiteral("language")));

    QThread::msleep(20);
    writeFromAnotherProcess("[General]\nautoCopy=true_\nlanguage=fra\n");
    EXPECT_EQ(store.stringForKey(QStringLiteral("language")), QStringLiteral("fra"));
}

TEST(IniUserDefaults, FileStaysReadableText)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Glyphwell.conf"));
    {
        IniUserDefaults store(path);
        store.setBool(QStringLiteral("autoCopy"), false);
        store.setObject(QStringLiteral("count"), 7);
        store.setObject(QStringLiteral("language"), QStringLiteral("eng"));
    }
    const QByteArray text = readFile(path);
    EXPECT_TRUE(text.contains("autoCopy=false\n")) << text.constData();
    EXPECT_TRUE(text.contains("count=7\n")) << text.constData();
    EXPECT_TRUE(text.contains("language=eng\n")) << text.constData();
}

TEST(IniUserDefaults, HandEditedValuesReadAsTheirBooleans)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Glyphwell.conf"));
    ASSERT_TRUE(writeFile(path, "[General]\nautoCopy=false\nplaySound=true\nshowIcon=YES\nlanguage=eng\n"));

    IniUserDefaults store(path);
    EXPECT_TRUE(store.objectForKey(QStringLiteral("autoCopy")).has_value());
    EXPECT_FALSE(store.boolForKey(QStringLiteral("autoCopy")));
    EXPECT_TRUE(store.boolForKey(QStringLiteral("playSound")));
    EXPECT_TRUE(store.boolForKey(QStringLiteral("showIcon")));
    EXPECT_EQ(store.stringForKey(QStringLiteral("language")), QStringLiteral("eng"));
    QStringList keys = store.keys();
    keys.sort();
    EXPECT_EQ(keys,
        (QStringList { QStringLiteral("autoCopy"), QStringLiteral("language"), QStringLiteral("playSound"),
            QStringLiteral("showIcon") }));
}

TEST(IniUserDefaults, ValueOfANotedTypeEditedByHandIsStillRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Glyphwell.conf"));
    {
        IniUserDefaults store(path);
        store.setBool(QStringLiteral("autoCopy"), false);
        store.setObject(QStringLiteral("count"), 7);
    }
    QByteArray text = readFile(path);
    text.replace("autoCopy=false", "autoCopy=Yes");
    text.replace("count=7", "count=seven");
    const QString edited = dir.filePath(QStringLiteral("edited.conf"));
    ASSERT_TRUE(writeFile(edited, text));

    IniUserDefaults store(edited);
    EXPECT_TRUE(store.boolForKey(QStringLiteral("autoCopy")));
    EXPECT_FALSE(store.stringForKey(QStringLiteral("autoCopy")).has_value());
    EXPECT_EQ(store.stringForKey(QStringLiteral("count")), QStringLiteral("seven"));
}

TEST(IniUserDefaults, DefaultFileFollowsXdgConfigHome)
{
    const bool had = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    const QString path = IniUserDefaults::defaultFilePath();
    {
        IniUserDefaults store;
        EXPECT_EQ(store.filePath(), path);
        store.setBool(QStringLiteral("autoCopy"), true);
    }
    if (had)
        qputenv("XDG_CONFIG_HOME", old);
    else
        qunsetenv("XDG_CONFIG_HOME");

    EXPECT_EQ(path, dir.filePath(QStringLiteral("Glyphwell/Glyphwell.conf")));
    EXPECT_TRUE(QFile::exists(path));
}

TEST(IniUserDefaults, UnparsableFileIsKeptAsideAndWhatCouldBeReadCarriesOver)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Glyphwell.conf"));
    const QByteArray broken = "[General]\nautoCopy=false\n[Shortcuts\ncaptureText=x\n";
    ASSERT_TRUE(writeFile(path, broken));
    IniUserDefaults store(path);
    EXPECT_FALSE(store.boolForKey(QStringLiteral("autoCopy")));
    EXPECT_EQ(readFile(path), broken) << "reading alone must not touch the file";
    {
        LoggedWarnings log;
        store.setBool(QStringLiteral("additiveClipboard"), true);
        EXPECT_EQ(log.containing(QStringLiteral("could not be read; it was kept as")).size(), 1);
    }
    EXPECT_EQ(keptAside(dir), QList<QByteArray> { broken });
    const auto reread = freshStoreOnCopyOf(path, dir.filePath(QStringLiteral("copy.conf")));
    ASSERT_TRUE(reread);
    EXPECT_TRUE(reread->boolForKey(QStringLiteral("additiveClipboard")));
    EXPECT_EQ(reread->objectForKey(QStringLiteral("autoCopy")), QVariant(QStringLiteral("false")));
}

// Found by the settings fuzzer: Qt decodes "@Variant(...)" with counts it trusts, and this
// one made it reserve 61 GB and abort. The program never writes such values.
TEST(IniUserDefaults, SerializedVariantIsKeptAsideBeforeQtDecodesIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Glyphwell.conf"));
    const QByteArray found = "[General]\nx=@Variant(\\0\\0\\0\\tring)\ny=@ByteArray(abc)\nautoCopy=false\n";
    ASSERT_TRUE(writeFile(path, found));
    IniUserDefaults store(path);
    EXPECT_EQ(store.objectForKey(QStringLiteral("x")), std::nullopt);
    EXPECT_FALSE(store.boolForKey(QStringLiteral("autoCopy")));
    EXPECT_EQ(keptAside(dir), QList<QByteArray> { found });
}

TEST(IniUserDefaults, WriteIntoAReadOnlyFolderLeavesTheFileWholeAndIsLoggedOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Glyphwell.conf"));
    IniUserDefaults store(path);
    store.setBool(QStringLiteral("autoCopy"), true);
    const QByteArray before = readFile(path);
    {
        ReadOnlyFolder readOnly(dir.path());
        LoggedWarnings log;
        store.setBool(QStringLiteral("autoCopy"), false);
        store.setObject(QStringLiteral("language"), QStringLiteral("deu"));
        EXPECT_EQ(readFile(path), before);
        EXPECT_EQ(log.containing(QStringLiteral("Could not save the settings")).size(), 1);
    }
    store.setObject(QStringLiteral("language"), QStringLiteral("fra"));
    EXPECT_TRUE(readFile(path).contains("language=fra"));
}

TEST(IniUserDefaults, FullDiskKeepsTheFileWholeAndTheValuesUntilTheNextSave)
{
    // No room at all, room for Qt's lock file only (where Qt once left an empty settings file
    // and reported success), room for a little more.
    for (const off_t room : { 0, 4096, 8192 }) {
        SCOPED_TRACE(room);
        FullDisk disk;
        if (!disk.mounted())
            GTEST_SKIP() << disk.skipReason();
        const QString path = disk.filePath(QStringLiteral("Glyphwell/Glyphwell.conf"));
        IniUserDefaults store(path);
        store.setBool(QStringLiteral("autoCopy"), true);
        store.setObject(QStringLiteral("KeyboardShortcuts_captureText"), hotkeyJson);
        // More than a page, so that a write can stop part way.
        store.setObject(QStringLiteral("notes"), QString(6000, QLatin1Char('n')));
        const QByteArray before = readFile(path);
        ASSERT_TRUE(before.contains("autoCopy=true"));
        disk.fill(room);
        {
            LoggedWarnings log;
            store.setBool(QStringLiteral("autoCopy"), false);
            store.removeObject(QStringLiteral("KeyboardShortcuts_captureText"));
            const QByteArray after = readFile(path);
            if (after == before) {
                EXPECT_EQ(log.containing(QStringLiteral("Could not save the settings")).size(), 1);
            } else {
                EXPECT_TRUE(after.contains("autoCopy=false")) << after.toStdString();
                EXPECT_FALSE(after.contains("captureText")) << after.toStdString();
            }
            // The program goes on with what it set.
            EXPECT_FALSE(store.boolForKey(QStringLiteral("autoCopy")));
            EXPECT_FALSE(store.objectForKey(QStringLiteral("KeyboardShortcuts_captureText")));
            EXPECT_EQ(store.keys(), (QStringList { QStringLiteral("autoCopy"), QStringLiteral("notes") }));
        }
        EXPECT_EQ(QDir(disk.filePath(QStringLiteral("Glyphwell"))).entryList(QDir::Files | QDir::Hidden),
            QStringList { QStringLiteral("Glyphwell.conf") });
        disk.release();
        store.setObject(QStringLiteral("language"), QStringLiteral("deu"));
        const auto reader = freshStoreOnCopyOf(path, disk.filePath(QStringLiteral("copy.conf")));
        ASSERT_TRUE(reader);
        EXPECT_FALSE(reader->boolForKey(QStringLiteral("autoCopy")));
        EXPECT_FALSE(reader->objectForKey(QStringLiteral("KeyboardShortcuts_captureText")));
        EXPECT_EQ(reader->stringForKey(QStringLiteral("language")), QStringLiteral("deu"));
        EXPECT_EQ(reader->stringForKey(QStringLiteral("notes")), QString(6000, QLatin1Char('n')));
    }
}

TEST(IniUserDefaults, SettingsArePrivateAndLooseModesAreTightenedAtStart)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto mode = [](const QString &path) {
        struct stat info { };
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
    };
    const QString folder = dir.filePath(QStringLiteral("Glyphwell"));
    const QString path = folder + QStringLiteral("/Glyphwell.conf");
    for (const bool fileThere : { false, true }) {
        SCOPED_TRACE(fileThere ? "a file of an older version" : "no file yet");
        QDir(folder).removeRecursively();
        if (fileThere) {
            ASSERT_TRUE(QDir().mkpath(folder));
            ASSERT_TRUE(writeFile(path, "[General]\nautoCopy=false\n"));
            ::chmod(QFile::encodeName(folder).constData(), 0755);
            ::chmod(QFile::encodeName(path).constData(), 0644);
            IniUserDefaults store(path);
        } else {
            IniUserDefaults store(path);
            store.setBool(QStringLiteral("autoCopy"), true);
        }
        EXPECT_EQ(mode(path), 0600u);
        EXPECT_EQ(mode(folder), 0700u);
    }
}
