#include "fakes/FullDisk.h"
#include "fakes/TestFiles.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

// A file is replaced whole or not at all, with no temporary file left; a private one is the
// user's alone, an export follows the umask or the mode the user gave it.
TEST(AtomicFile, ReplacesWholeOrNotAtAll_PrivateFilesAreTheUsersAlone_ExportsFollowTheUmask)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const mode_t oldMask = ::umask(022);
    // Root ignores permissions, so a folder is blocked with a regular file instead.
    const QString blocker = root.filePath(u"blocker"_s);
    ASSERT_TRUE(writeFile(blocker, "not a folder"));
    ASSERT_TRUE(QDir(root.path()).mkdir(u"folder.json"_s));
    const QString target = root.filePath(u"target.txt"_s);
    const FileAccess mine = FileAccess::privateToUser, chosen = FileAccess::asTheUserChose;
    const struct {
        const char *path;
        FileAccess access;
        mode_t existing; // 0: no file there before
        mode_t file; // 0: not written
        mode_t folder; // 0: not made
    } rows[] = {
        { "a/b/Glyphwell/capture-history.json", mine, 0, 0600, 0700 },
        { "blocker/capture-history.json", mine, 0, 0, 0 },
        { "blocker/deeper/capture-history.json", mine, 0, 0, 0 },
        { "folder.json", mine, 0, 0, 0 },
        { "private/old.json", mine, 0644, 0600, 0 },
        { "export/new.txt", chosen, 0, 0644, 0755 },
        { "kept/old.txt", chosen, 0640, 0640, 0 },
        { "shared/shared.txt", chosen, 0664, 0664, 0 },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.path);
        const QString path = root.filePath(QString::fromLatin1(row.path));
        if (row.existing) {
            QDir().mkpath(QFileInfo(path).path());
            ASSERT_TRUE(writeFile(path, "old"));
            ::chmod(QFile::encodeName(path).constData(), row.existing);
        }
        for (const QByteArray &data :
            { QByteArray("first, and longer than the second"), QByteArray("second") }) {
            QString error;
            EXPECT_EQ(writeFileAtomically(path, data, row.access, &error), row.file != 0);
            EXPECT_EQ(error.isEmpty(), row.file != 0) << error.toStdString();
            if (row.file)
                EXPECT_EQ(readFile(path), data);
        }
        if (!row.file)
            continue;
        EXPECT_EQ(modeOf(path), row.file);
        if (row.folder)
            EXPECT_EQ(modeOf(QFileInfo(path).path()), row.folder);
        EXPECT_EQ(QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden),
            QStringList { QFileInfo(path).fileName() })
            << "no temporary file left behind";
    }
    EXPECT_EQ(readFile(blocker), QByteArray("not a folder"));

    // A link where the history goes is replaced, not written through; an export's link is
    // followed to the file the user keeps.
    ASSERT_TRUE(writeFile(target, "target"));
    const QString history = root.filePath(u"private/linked.json"_s);
    const QString exported = root.filePath(u"export/linked.txt"_s);
    for (const QString &link : { history, exported })
        ASSERT_TRUE(QFile::link(target, link));
    ASSERT_TRUE(writeFileAtomically(history, "history", FileAccess::privateToUser));
    EXPECT_FALSE(QFileInfo(history).isSymLink());
    EXPECT_EQ(readFile(target), QByteArray("target"));
    ASSERT_TRUE(writeFileAtomically(exported, "exported", FileAccess::asTheUserChose));
    EXPECT_TRUE(QFileInfo(exported).isSymLink());
    EXPECT_EQ(readFile(target), QByteArray("exported"));
    ::umask(oldMask);
}

TEST(AtomicFile, FullDiskKeepsTheOldFileWholeAndSaysWhy)
{
    FullDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.skipReason();
    const QString path = disk.filePath(u"Glyphwell/capture-history.json"_s);
    const QByteArray old(3000, 'o');
    ASSERT_TRUE(writeFileAtomically(path, old, FileAccess::privateToUser));
    disk.fill();
    // Small enough for any buffer, large enough for the page the disk no longer has.
    for (const qsizetype size : { 10, 3000, 100'000 }) {
        SCOPED_TRACE(size);
        for (const FileAccess access : { FileAccess::privateToUser, FileAccess::asTheUserChose }) {
            QString error;
            EXPECT_FALSE(writeFileAtomically(path, QByteArray(size, 'n'), access, &error));
            EXPECT_TRUE(error.contains(u"No space left on device"_s)) << error.toStdString();
            EXPECT_EQ(readFile(path), old);
            EXPECT_EQ(QDir(disk.filePath(u"Glyphwell"_s)).entryList(QDir::Files | QDir::Hidden),
                QStringList { u"capture-history.json"_s });
        }
    }
    disk.release();
    EXPECT_TRUE(writeFileAtomically(path, "new", FileAccess::privateToUser));
    EXPECT_EQ(readFile(path), QByteArray("new"));
}

// Loose modes tightened at start: AppStateTest.History_IsPrivateAndLooseModesAreTightenedAtStart.
TEST(AtomicFile, TighteningNeverLoosensAndLeavesLinksAlone)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString folder = root.filePath(u"Glyphwell"_s);
    const QString file = folder + u"/capture-history.json"_s;
    const QString elsewhere = root.filePath(u"elsewhere"_s);
    const QString link = folder + u"/link"_s;
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(writeFile(file, "{}"));
    ASSERT_TRUE(writeFile(elsewhere, "not ours"));
    ASSERT_TRUE(QFile::link(elsewhere, link));
    const struct {
        QString path;
        mode_t before;
        mode_t after;
    } cases[] = {
        { file, 0400, 0400 },
        { elsewhere, 0644, 0644 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        ::chmod(QFile::encodeName(c.path).constData(), c.before);
        tightenPrivateFolder(folder);
        tightenPrivateFile(file);
        tightenPrivateFile(link);
        EXPECT_EQ(modeOf(c.path), c.after);
    }
}

// Folders, FIFOs and devices are refused by the program that reads them (CommandLineFiles).
TEST(AtomicFile, ReadingTakesRegularFilesOnlyAndNeverWaits)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(writeFile(root.filePath(u"small"_s), "12345"));
    ASSERT_TRUE(writeFile(root.filePath(u"large"_s), QByteArray(100, 'x')));
    const struct {
        QString path;
        bool exists;
        bool read;
        const char *error;
    } cases[] = {
        { root.filePath(u"small"_s), true, true, "" },
        { root.filePath(u"large"_s), true, false, "larger than" },
        { root.filePath(u"missing"_s), false, false, "No such file" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QElapsedTimer clock;
        clock.start();
        const FileContent content = readRegularFile(c.path, 50);
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_EQ(content.exists, c.exists);
        EXPECT_EQ(content.read, c.read);
        EXPECT_TRUE(content.error.contains(QLatin1String(c.error))) << content.error.toStdString();
        EXPECT_EQ(content.data, c.read ? QByteArray("12345") : QByteArray());
    }
}
