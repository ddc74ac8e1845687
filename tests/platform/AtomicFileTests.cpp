#include "fakes/FullDisk.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeRaw(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

mode_t modeOf(const QString &path)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// The umask for one scope.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask)
        : m_old(::umask(mask))
    { }
    ~ScopedUmask() { ::umask(m_old); }

private:
    mode_t m_old;
};

} // namespace

TEST(AtomicFile, ReplacesWholeOrNotAtAllAndLeavesNoTemporaryFile)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    // Root ignores permissions, so a folder is blocked with a regular file instead.
    const QString blocker = root.filePath(QStringLiteral("blocker"));
    ASSERT_TRUE(writeRaw(blocker, "not a folder"));
    ASSERT_TRUE(QDir(root.path()).mkdir(QStringLiteral("folder.json")));
    const struct {
        const char *path;
        bool written;
    } cases[] = {
        { "a/b/Glyphwell/capture-history.json", true },
        { "blocker/capture-history.json", false },
        { "blocker/deeper/capture-history.json", false },
        { "folder.json", false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        const QString path = root.filePath(QString::fromLatin1(c.path));
        for (const QByteArray &data :
            { QByteArray("first, and longer than the second"), QByteArray("second") }) {
            QString error;
            EXPECT_EQ(writeFileAtomically(path, data, FileAccess::privateToUser, &error), c.written);
            EXPECT_EQ(error.isEmpty(), c.written) << error.toStdString();
            if (c.written)
                EXPECT_EQ(readAll(path), data);
        }
        if (c.written)
            EXPECT_EQ(QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden),
                QStringList { QFileInfo(path).fileName() })
                << "no temporary file left behind";
    }
    EXPECT_EQ(readAll(blocker), QByteArray("not a folder"));
}

TEST(AtomicFile, FullDiskKeepsTheOldFileWholeAndSaysWhy)
{
    FullDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.skipReason();
    const QString path = disk.filePath(QStringLiteral("Glyphwell/capture-history.json"));
    const QByteArray old(3000, 'o');
    ASSERT_TRUE(writeFileAtomically(path, old, FileAccess::privateToUser));
    disk.fill();
    // Small enough for any buffer, large enough for the page the disk no longer has.
    for (const qsizetype size : { 10, 3000, 100'000 }) {
        SCOPED_TRACE(size);
        for (const FileAccess access : { FileAccess::privateToUser, FileAccess::asTheUserChose }) {
            QString error;
            EXPECT_FALSE(writeFileAtomically(path, QByteArray(size, 'n'), access, &error));
            EXPECT_TRUE(error.contains(QStringLiteral("No space left on device"))) << error.toStdString();
            EXPECT_EQ(readAll(path), old);
            EXPECT_EQ(QDir(disk.filePath(QStringLiteral("Glyphwell"))).entryList(QDir::Files | QDir::Hidden),
                QStringList { QStringLiteral("capture-history.json") });
        }
    }
    disk.release();
    EXPECT_TRUE(writeFileAtomically(path, "new", FileAccess::privateToUser));
    EXPECT_EQ(readAll(path), QByteArray("new"));
}

TEST(AtomicFile, PrivateFilesAreTheUsersAloneAndExportsFollowTheUmask)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const ScopedUmask umask(022);
    const QString target = root.filePath(QStringLiteral("target.txt"));
    const struct {
        const char *name;
        FileAccess access;
        mode_t existing; // 0: no file there before
        mode_t file;
        mode_t folder;
    } cases[] = {
        { "private/new.json", FileAccess::privateToUser, 0, 0600, 0700 },
        { "private/old.json", FileAccess::privateToUser, 0644, 0600, 0700 },
        { "export/new.txt", FileAccess::asTheUserChose, 0, 0644, 0755 },
        { "export/old.txt", FileAccess::asTheUserChose, 0640, 0640, 0755 },
        { "export/shared.txt", FileAccess::asTheUserChose, 0664, 0664, 0755 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = root.filePath(QString::fromLatin1(c.name));
        if (c.existing) {
            QDir().mkpath(QFileInfo(path).path());
            ASSERT_TRUE(writeRaw(path, "old"));
            ::chmod(QFile::encodeName(path).constData(), c.existing);
        }
        ASSERT_TRUE(writeFileAtomically(path, "data", c.access));
        EXPECT_EQ(modeOf(path), c.file);
        if (!c.existing)
            EXPECT_EQ(modeOf(QFileInfo(path).path()), c.folder);
    }

    // A link where the history goes is replaced, not written through; an export's link is
    // followed to the file the user keeps.
    ASSERT_TRUE(writeRaw(target, "target"));
    const QString history = root.filePath(QStringLiteral("private/linked.json"));
    const QString exported = root.filePath(QStringLiteral("export/linked.txt"));
    for (const QString &link : { history, exported })
        ASSERT_TRUE(QFile::link(target, link));
    ASSERT_TRUE(writeFileAtomically(history, "history", FileAccess::privateToUser));
    EXPECT_FALSE(QFileInfo(history).isSymLink());
    EXPECT_EQ(readAll(target), QByteArray("target"));
    ASSERT_TRUE(writeFileAtomically(exported, "exported", FileAccess::asTheUserChose));
    EXPECT_TRUE(QFileInfo(exported).isSymLink());
    EXPECT_EQ(readAll(target), QByteArray("exported"));
}

TEST(AtomicFile, TighteningMakesLooseFilesPrivateAndLeavesLinksAlone)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString folder = root.filePath(QStringLiteral("Glyphwell"));
    const QString file = folder + QStringLiteral("/capture-history.json");
    const QString elsewhere = root.filePath(QStringLiteral("elsewhere"));
    const QString link = folder + QStringLiteral("/link");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(writeRaw(file, "{}"));
    ASSERT_TRUE(writeRaw(elsewhere, "not ours"));
    ASSERT_TRUE(QFile::link(elsewhere, link));
    const struct {
        QString path;
        mode_t before;
        mode_t after;
    } cases[] = {
        { folder, 0755, 0700 },
        { file, 0644, 0600 },
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

TEST(AtomicFile, ReadingTakesRegularFilesOnlyAndNeverWaits)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString fifo = root.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(writeRaw(root.filePath(QStringLiteral("small")), "12345"));
    ASSERT_TRUE(writeRaw(root.filePath(QStringLiteral("large")), QByteArray(100, 'x')));
    const struct {
        QString path;
        bool exists;
        bool read;
        const char *error;
    } cases[] = {
        { root.filePath(QStringLiteral("small")), true, true, "" },
        { root.filePath(QStringLiteral("large")), true, false, "larger than" },
        { root.filePath(QStringLiteral("missing")), false, false, "No such file" },
        { root.path(), true, false, "is a folder" },
        { fifo, true, false, "not a regular file" },
        { QStringLiteral("/dev/zero"), true, false, "not a regular file" },
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
