#include "AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcFiles, "glyphwell.files", QtInfoMsg)

QString systemError(const char *step, int code)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(step), QString::fromLocal8Bit(std::strerror(code)));
}

bool fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

// Creates the missing folders above a file; the last one gets `mode` (the umask still applies).
bool makeFolders(const QString &folder, mode_t mode, QString *error)
{
    QFileInfo info(folder);
    if (info.isDir())
        return true;
    if (info.exists() || info.isSymLink())
        return fail(error, QStringLiteral("%1 is not a folder").arg(folder));
    const QString parent = info.absolutePath();
    if (parent != folder && !makeFolders(parent, 0777, error))
        return false;
    if (::mkdir(QFile::encodeName(folder).constData(), mode) != 0 && errno != EEXIST)
        return fail(error, systemError("cannot create the folder", errno));
    return true;
}

bool writeAll(int fd, const QByteArray &data)
{
    const char *next = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        next += written;
        left -= written;
    }
    return true;
}

void syncFolder(const QByteArray &folder)
{
    // Makes the rename itself last through a power cut; where a file system cannot, the
    // data is still whole, so a failure here changes nothing for the caller.
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool writeFileAtomically(const QString &path, const QByteArray &data, FileAccess access, QString *error)
{
    const bool privateFile = access == FileAccess::privateToUser;
    QString target = QFileInfo(path).absoluteFilePath();
    if (!privateFile) {
        // Written through, as editors do: the link the user keeps stays a link.
        for (int hops = 0; QFileInfo(target).isSymLink() && hops < 32; ++hops)
            target = QFileInfo(target).symLinkTarget();
    }
    const QFileInfo targetInfo(target);
    if (targetInfo.isDir())
        return fail(error, QStringLiteral("%1 is a folder").arg(target));
    const QString folder = targetInfo.absolutePath();
    if (!makeFolders(folder, privateFile ? 0700 : 0777, error))
        return false;

    const QByteArray nativeTarget = QFile::encodeName(target);
    mode_t mode = privateFile ? 0600 : 0666;
    bool keepMode = false;
    struct stat existing { };
    if (!privateFile && ::stat(nativeTarget.constData(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        mode = existing.st_mode & 07777;
        keepMode = true;
    }

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = nativeTarget + ".tmp-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0 && errno != EEXIST)
            return fail(error, systemError("cannot create a temporary file", errno));
    }
    if (fd < 0)
        return fail(error, QStringLiteral("cannot create a temporary file"));
    auto abandon = [&](const char *step, int code) {
        ::close(fd);
        ::unlink(temporary.constData());
        return fail(error, systemError(step, code));
    };
    // open() let the umask take bits from a kept mode; the file the user had keeps them.
    if (keepMode && ::fchmod(fd, mode) != 0)
        return abandon("cannot keep the file's permissions", errno);
    if (!writeAll(fd, data))
        return abandon("cannot write", errno);
    // A full disk or a quota may only show here, when the data reaches the disk.
    if (::fsync(fd) != 0)
        return abandon("cannot write", errno);
    const int closed = ::close(fd);
    if (closed != 0) {
        const int code = errno;
        ::unlink(temporary.constData());
        return fail(error, systemError("cannot write", code));
    }
    if (::rename(temporary.constData(), nativeTarget.constData()) != 0) {
        const int code = errno;
        ::unlink(temporary.constData());
        return fail(error, systemError("cannot replace the file", code));
    }
    syncFolder(QFile::encodeName(folder));
    return true;
}

FileContent readRegularFile(const QString &path, qint64 maximumBytes)
{
    return readRegularFile(QFile::encodeName(path), maximumBytes);
}

FileContent readRegularFile(const QByteArray &nativePath, qint64 maximumBytes)
{
    FileContent content;
    // Non-blocking, so that opening a FIFO does not wait for a writer; checked on the open
    // file, so that nothing can be swapped in between.
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        content.exists = errno != ENOENT && errno != ENOTDIR;
        content.error = QString::fromLocal8Bit(std::strerror(errno));
        return content;
    }
    content.exists = true;
    struct stat info { };
    if (::fstat(fd, &info) != 0) {
        content.error = QString::fromLocal8Bit(std::strerror(errno));
    } else if (S_ISDIR(info.st_mode)) {
        content.error = QStringLiteral("is a folder");
    } else if (!S_ISREG(info.st_mode)) {
        content.error = QStringLiteral("is not a regular file (a FIFO, socket or device)");
    } else if (info.st_size > maximumBytes) {
        content.error = QStringLiteral("is larger than %1 MB").arg(maximumBytes / (1024 * 1024));
    } else {
        content.data.resize(qsizetype(info.st_size));
        qint64 done = 0;
        // The size may change while reading: stop at its end, or at the limit.
        for (;;) {
            if (done == content.data.size()) {
                if (content.data.size() >= maximumBytes)
                    break;
                content.data.resize(qMin<qint64>(maximumBytes + 1, content.data.size() + 65536));
            }
            const ssize_t got = ::read(fd, content.data.data() + done, size_t(content.data.size() - done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                content.error = QString::fromLocal8Bit(std::strerror(errno));
                break;
            }
            if (got == 0)
                break;
            done += got;
        }
        content.data.resize(qsizetype(done));
        if (content.error.isEmpty() && done > maximumBytes)
            content.error = QStringLiteral("is larger than %1 MB").arg(maximumBytes / (1024 * 1024));
        content.read = content.error.isEmpty();
    }
    ::close(fd);
    if (!content.read)
        content.data.clear();
    return content;
}

namespace {

void tighten(const QString &path, bool folder)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(),
        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (folder ? O_DIRECTORY : 0));
    if (fd < 0)
        return; // absent, or a link: nothing of ours to change
    struct stat info { };
    if (::fstat(fd, &info) == 0 && (folder ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode))
        && (info.st_mode & 077) != 0 && info.st_uid == ::geteuid()) {
        const mode_t mode = (info.st_mode & 07777) & ~mode_t(077);
        if (::fchmod(fd, mode) == 0)
            qCInfo(lcFiles, "%s was open to other users; it is now private (mode %o)", native.constData(),
                unsigned(mode));
    }
    ::close(fd);
}

} // namespace

void tightenPrivateFolder(const QString &folder)
{
    tighten(folder, true);
}

void tightenPrivateFile(const QString &path)
{
    tighten(path, false);
}

FileLock::FileLock(const QString &lockPath, int timeoutMs)
{
    QString problem;
    if (!makeFolders(QFileInfo(lockPath).absolutePath(), 0700, &problem)) {
        m_error = problem;
        return;
    }
    m_fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        m_error = systemError("cannot open the lock file", errno);
        return;
    }
    // The other holder only reads, merges and writes a small file: waits are milliseconds.
    for (int waited = 0;; waited += 5) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            m_locked = true;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_error = systemError("cannot lock", errno);
            return;
        }
        if (waited >= timeoutMs) {
            m_error = QStringLiteral("another Glyphwell has held the lock for %1 ms").arg(timeoutMs);
            return;
        }
        QThread::msleep(5);
    }
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}
