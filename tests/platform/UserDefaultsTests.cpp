#include "fakes/FullDisk.h"
#include "fakes/ReadOnlyFolder.h"
#include "fakes/ScopedEnv.h"
#include "fakes/TestFiles.h"
#include "platform/InMemoryUserDefaults.h"
#include "platform/IniUserDefaults.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString hotkeyJson = uR"({"carbonKeyCode":7,"carbonModifiers":768})"_s;

// QSettings shares parsed files within a process; a copy under a new name is read from disk,
// as a later run would.
std::unique_ptr<IniUserDefaults> freshStoreOnCopyOf(const QString &path, const QString &copyPath)
{
    QFile::remove(copyPath);
    return QFile::copy(path, copyPath) ? std::make_unique<IniUserDefaults>(copyPath) : nullptr;
}

// The contents of every settings file set aside in the folder.
QList<QByteArray> keptAside(const QTemporaryDir &dir)
{
    QList<QByteArray> contents;
    for (const QString &name : QDir(dir.path()).entryList({ u"Glyphwell.conf.unreadable-*"_s }))
        contents << readFile(dir.filePath(name));
    return contents;
}

// A back-end under test. reopen() drops the store and opens a fresh one on the same data, so
// every expectation also holds after a round trip through the INI file.
class UserDefaultsContract : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        reopen();
    }
    void reopen()
    {
        if (std::string(GetParam()) != "ini") {
            if (!m_store)
                m_store = std::make_unique<InMemoryUserDefaults>();
            return;
        }
        const QString next = m_dir.filePath(u"config/Glyphwell-%1.conf"_s.arg(m_generation++));
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

// What each kind of value reads as after a reopen: as text (where it is text or a number) and
// as a Boolean (words and numbers, as the system's defaults read them).
TEST_P(UserDefaultsContract, ValuesReadAsTheirKindAfterAReopen)
{
    EXPECT_FALSE(store().objectForKey(u"autoCopy"_s).has_value());
    EXPECT_FALSE(store().boolForKey(u"autoCopy"_s));
    EXPECT_FALSE(store().stringForKey(u"autoCopy"_s).has_value());
    EXPECT_TRUE(store().keys().isEmpty());

    const QString tricky = u"  @leading at, comma; semi = equals \"quoted\" \\ back\ttab \u00e9\u4e2d  "_s;
    struct Row {
        QString key;
        QVariant value;
        std::optional<QString> string; // nullopt: not text
        bool boolean;
    };
    std::vector<Row> rows {
        { u"autoCopy"_s, false, std::nullopt, false },
        { u"playSound"_s, true, std::nullopt, true },
        { u"hotkey"_s, hotkeyJson, hotkeyJson, false },
        { u"tricky"_s, tricky, tricky, false },
        { u"empty"_s, QString(), QString(), false },
        { u"count"_s, 7, u"7"_s, true },
        { u"zero"_s, 0, u"0"_s, false },
        { u"negative"_s, -3, u"-3"_s, true },
        { u"big"_s, qulonglong(18446744073709551615ULL), u"18446744073709551615"_s, true },
        { u"scale"_s, 0.5, u"0.5"_s, true },
        { u"whole"_s, 2.0, u"2"_s, true },
        { u"zeroDouble"_s, 0.0, u"0"_s, false },
        { u"languages"_s, QStringList { u"eng"_s, u"deu"_s }, std::nullopt, false },
        // A map is not kept by the INI file (it would be a serialized variant, set aside when read).
        { u"window"_s, QVariantMap { { u"x"_s, 1 } }, std::nullopt, false },
        { u"flags/autoCopy"_s, true, std::nullopt, true },
    };
    const std::pair<const char *, bool> words[] { { "true", true }, { "TRUE", true }, { "Yes", true },
        { "y", true }, { "T", true }, { " yes ", true }, { "1", true }, { "42abc", true }, { "  +3", true },
        { "-1", true }, { "007", true }, { "false", false }, { "no", false }, { "0", false }, { "-0", false },
        { "0.5", false }, { "", false }, { "   ", false }, { "maybe", false }, { "truest", false },
        { "on", false }, { "x1", false } };
    for (std::size_t i = 0; i < std::size(words); ++i)
        rows.push_back({ u"word%1"_s.arg(i), QString::fromLatin1(words[i].first),
            QString::fromLatin1(words[i].first), words[i].second });
    // Keys that mean something in an INI file.
    for (const char *key :
        { "a/b", "with space", "x=y", "[section]", "semi;colon", "\u00fcber", "a\\b", "%41", "General" })
        rows.push_back({ QString::fromUtf8(key), QString::fromUtf8(key) + u"-value"_s,
            QString::fromUtf8(key) + u"-value"_s, false });
    for (const Row &row : rows)
        store().setObject(row.key, row.value);
    store().setObject(QString(), u"ignored or kept, but no crash"_s);
    store().removeObject(QString());
    reopen();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.key.toStdString());
        EXPECT_EQ(store().stringForKey(row.key), row.string);
        EXPECT_EQ(store().boolForKey(row.key), row.boolean);
        if (row.key == QLatin1String("window"))
            continue;
        EXPECT_TRUE(store().objectForKey(row.key).has_value());
        EXPECT_TRUE(store().keys().contains(row.key));
    }
    EXPECT_EQ(store().objectForKey(u"autoCopy"_s)->typeId(), QMetaType::Bool);
    EXPECT_EQ(store().objectForKey(u"word10"_s)->typeId(), QMetaType::QString);
    EXPECT_NE(store().objectForKey(u"count"_s)->typeId(), QMetaType::QString);
    EXPECT_EQ(store().objectForKey(u"count"_s)->toInt(), 7);
    EXPECT_EQ(store().objectForKey(u"scale"_s)->toDouble(), 0.5);
    EXPECT_EQ(store().objectForKey(u"languages"_s)->toStringList(), (QStringList { u"eng"_s, u"deu"_s }));

    // Replacing a Boolean with text makes it text; removing (or storing nothing) takes the key
    // away, and a removed Boolean's type does not stick to text stored later under its key.
    store().setObject(u"playSound"_s, u"true"_s);
    store().removeObject(u"autoCopy"_s);
    store().removeObject(u"never_set"_s);
    store().setObject(u"count"_s, QVariant());
    reopen();
    EXPECT_EQ(store().stringForKey(u"playSound"_s), u"true"_s);
    EXPECT_FALSE(store().objectForKey(u"autoCopy"_s).has_value());
    EXPECT_FALSE(store().objectForKey(u"count"_s).has_value());
    EXPECT_FALSE(store().keys().contains(u"count"_s));
    EXPECT_EQ(store().keys().size(), qsizetype(rows.size()) - (store().keys().contains(u"window"_s) ? 2 : 3));
    store().setObject(u"autoCopy"_s, u"false"_s);
    reopen();
    EXPECT_EQ(store().stringForKey(u"autoCopy"_s), u"false"_s);
}

INSTANTIATE_TEST_SUITE_P(Backends, UserDefaultsContract, ::testing::Values("memory", "ini"),
    [](const ::testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

// What can be read is read; an unparsable file or one with "@Variant(...)" (a fuzzer's input
// made Qt reserve 61 GB) is kept aside whole at the next write, not at a read.
TEST(IniUserDefaults, HandEditedAndBrokenFiles)
{
    QTemporaryDir notedDir;
    QByteArray noted;
    {
        IniUserDefaults store(notedDir.filePath(u"noted.conf"_s));
        store.setBool(u"autoCopy"_s, false);
        store.setObject(u"count"_s, 7);
        noted = readFile(store.filePath())
                    .replace("autoCopy=false", "autoCopy=Yes")
                    .replace("count=7", "count=seven");
    }
    const struct {
        const char *name;
        QByteArray content;
        std::vector<std::pair<const char *, std::optional<QVariant>>> reads;
        bool keptAside;
        bool keptAsideWhenRead = false;
    } rows[] = {
        { "hand edited", "[General]\nautoCopy=false\nplaySound=true\nshowIcon=YES\nlanguage=eng\n",
            { { "autoCopy", QVariant(false) }, { "playSound", QVariant(true) },
                { "showIcon", QVariant(true) }, { "language", QVariant(u"eng"_s) } },
            false },
        // The types the store noted for its own values, edited by hand.
        { "noted type edited", noted, { { "autoCopy", QVariant(true) }, { "count", QVariant(u"seven"_s) } },
            false },
        { "unparsable", "[General]\nautoCopy=false\n[Shortcuts\ncaptureText=x\n",
            { { "autoCopy", QVariant(false) } }, true },
        { "serialized variant",
            "[General]\nx=@Variant(\\0\\0\\0\\tring)\ny=@ByteArray(abc)\nautoCopy=false\n",
            { { "x", std::nullopt }, { "autoCopy", QVariant(false) } }, true, true },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Glyphwell.conf"_s);
        ASSERT_TRUE(writeFile(path, row.content));
        IniUserDefaults store(path);
        for (const auto &[key, value] : row.reads) {
            SCOPED_TRACE(key);
            if (!value)
                EXPECT_EQ(store.objectForKey(QLatin1String(key)), std::nullopt);
            else if (value->typeId() == QMetaType::Bool)
                EXPECT_EQ(store.boolForKey(QLatin1String(key)), value->toBool());
            else
                EXPECT_EQ(store.stringForKey(QLatin1String(key)), value->toString());
        }
        if (row.keptAsideWhenRead) {
            EXPECT_EQ(keptAside(dir), QList<QByteArray> { row.content });
            continue;
        }
        if (!row.keptAside) {
            if (row.content == noted)
                EXPECT_FALSE(store.stringForKey(u"autoCopy"_s).has_value());
            else
                EXPECT_EQ(store.keys().size(), qsizetype(row.reads.size()));
            continue;
        }
        EXPECT_EQ(readFile(path), row.content) << "reading alone must not touch the file";
        {
            LoggedWarnings log;
            store.setBool(u"additiveClipboard"_s, true);
            EXPECT_EQ(log.containing(u"could not be read; it was kept as"_s).size(), 1);
        }
        EXPECT_EQ(keptAside(dir), QList<QByteArray> { row.content });
        const auto reread = freshStoreOnCopyOf(path, dir.filePath(u"copy.conf"_s));
        ASSERT_TRUE(reread);
        EXPECT_TRUE(reread->boolForKey(u"additiveClipboard"_s));
        EXPECT_EQ(reread->objectForKey(u"autoCopy"_s), QVariant(u"false"_s));
    }
}

// Private, under XDG_CONFIG_HOME, written through as text and read again after another
// process's rewrite (the second of the same size: the time stamp tells).
TEST(IniUserDefaults, PrivateFileUnderXdgConfigHome_WrittenThroughAndReadAfterAnotherWriter)
{
    QTemporaryDir dir;
    const ScopedEnv config("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    const QString path = IniUserDefaults::defaultFilePath();
    const QString folder = dir.filePath(u"Glyphwell"_s);
    EXPECT_EQ(path, folder + u"/Glyphwell.conf"_s);
    const auto expectPrivate = [&] {
        for (const auto &[file, mode] : { std::pair { path, 0600u }, { folder, 0700u } }) {
            struct stat info { };
            EXPECT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, mode) << file.toStdString();
        }
    };
    IniUserDefaults store;
    EXPECT_EQ(store.filePath(), path);
    store.setBool(u"autoCopy"_s, true);
    store.setObject(u"count"_s, 7);
    store.setObject(u"hotkey"_s, hotkeyJson);
    const QByteArray text = readFile(path);
    for (const char *line : { "autoCopy=true\n", "count=7\n", "hotkey=" })
        EXPECT_TRUE(text.contains(line)) << text.constData();
    expectPrivate();

    for (const auto &[written, language] : { std::pair("[General]\nautoCopy=false\nlanguage=deu\n", "deu"),
             std::pair("[General]\nautoCopy=true_\nlanguage=fra\n", "fra") }) {
        QThread::msleep(20);
        ASSERT_EQ(
            QProcess::execute(u"/bin/sh"_s,
                { u"-c"_s, u"printf '%s' \"$1\" > \"$2\""_s, u"sh"_s, QString::fromLatin1(written), path }),
            0);
        EXPECT_EQ(store.stringForKey(u"language"_s), QLatin1String(language));
        EXPECT_TRUE(store.keys().contains(u"language"_s));
        if (QLatin1String(language) == QLatin1String("deu"))
            EXPECT_FALSE(store.boolForKey(u"autoCopy"_s));
    }

    // The loose modes of an older version are tightened at start.
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    ::chmod(QFile::encodeName(path).constData(), 0644);
    const IniUserDefaults reopened;
    expectPrivate();
}

// A write that cannot land leaves the file whole and is logged once; the store goes on with
// what it was given, and the next save that can land writes it all.
TEST(IniUserDefaults, FailedWritesKeepTheFileWholeAndTheValuesUntilTheNextSave)
{
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Glyphwell.conf"_s);
        IniUserDefaults store(path);
        store.setBool(u"autoCopy"_s, true);
        const QByteArray before = readFile(path);
        {
            ReadOnlyFolder readOnly(dir.path());
            LoggedWarnings log;
            store.setBool(u"autoCopy"_s, false);
            store.setObject(u"language"_s, u"deu"_s);
            EXPECT_EQ(readFile(path), before);
            EXPECT_EQ(log.containing(u"Could not save the settings"_s).size(), 1);
        }
        store.setObject(u"language"_s, u"fra"_s);
        EXPECT_TRUE(readFile(path).contains("language=fra"));
    }
    // No room at all, room for Qt's lock file only (where Qt once left an empty settings file
    // and reported success), room for a little more.
    for (const off_t room : { 0, 4096, 8192 }) {
        SCOPED_TRACE(room);
        FullDisk disk;
        if (!disk.mounted())
            GTEST_SKIP() << disk.skipReason();
        const QString path = disk.filePath(u"Glyphwell/Glyphwell.conf"_s);
        IniUserDefaults store(path);
        store.setBool(u"autoCopy"_s, true);
        store.setObject(u"KeyboardShortcuts_captureText"_s, hotkeyJson);
        // More than a page, so that a write can stop part way.
        store.setObject(u"notes"_s, QString(6000, QLatin1Char('n')));
        const QByteArray before = readFile(path);
        ASSERT_TRUE(before.contains("autoCopy=true"));
        disk.fill(room);
        {
            LoggedWarnings log;
            store.setBool(u"autoCopy"_s, false);
            store.removeObject(u"KeyboardShortcuts_captureText"_s);
            const QByteArray after = readFile(path);
            if (after == before) {
                EXPECT_EQ(log.containing(u"Could not save the settings"_s).size(), 1);
            } else {
                EXPECT_TRUE(after.contains("autoCopy=false")) << after.toStdString();
                EXPECT_FALSE(after.contains("captureText")) << after.toStdString();
            }
            EXPECT_FALSE(store.boolForKey(u"autoCopy"_s));
            EXPECT_FALSE(store.objectForKey(u"KeyboardShortcuts_captureText"_s));
            EXPECT_EQ(store.keys(), (QStringList { u"autoCopy"_s, u"notes"_s }));
        }
        EXPECT_EQ(QDir(disk.filePath(u"Glyphwell"_s)).entryList(QDir::Files | QDir::Hidden),
            QStringList { u"Glyphwell.conf"_s });
        disk.release();
        store.setObject(u"language"_s, u"deu"_s);
        const auto reader = freshStoreOnCopyOf(path, disk.filePath(u"copy.conf"_s));
        ASSERT_TRUE(reader);
        EXPECT_FALSE(reader->boolForKey(u"autoCopy"_s));
        EXPECT_FALSE(reader->objectForKey(u"KeyboardShortcuts_captureText"_s));
        EXPECT_EQ(reader->stringForKey(u"language"_s), u"deu"_s);
        EXPECT_EQ(reader->stringForKey(u"notes"_s), QString(6000, QLatin1Char('n')));
    }
}
