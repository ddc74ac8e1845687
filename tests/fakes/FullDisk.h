#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

// A 64 KB tmpfs mounted over a temporary folder for one scope, which fill() then fills to the
// last byte: the disk of a user whose home is full. Mounting needs root (CI runs as root);
// elsewhere mounted() is false and skipReason() says why, for GTEST_SKIP.
class FullDisk {
public:
    FullDisk()
    {
        if (!m_dir.isValid()) {
            m_reason = QStringLiteral("no temporary folder");
            return;
        }
        if (::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                "size=64k,mode=0755")
            != 0) {
            m_reason = QStringLiteral("cannot mount a small tmpfs here (%1); run as root to test a full disk")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        m_mounted = true;
    }
    ~FullDisk()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    bool mounted() const { return m_mounted; }
    std::string skipReason() const { return m_reason.toStdString(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // Takes every free byte with a filler file but `leave` (a page leaves room for a small
    // file, such as the lock file Qt writes before the settings); release() gives them back.
    void fill(off_t leave = 0)
    {
        const int fd = ::open(QFile::encodeName(filePath(QStringLiteral("filler"))).constData(),
            O_WRONLY | O_CREAT | O_APPEND, 0600);
        const QByteArray block(4096, 'f');
        while (::write(fd, block.constData(), size_t(block.size())) > 0) { }
        // The last partial page.
        while (::write(fd, block.constData(), 1) > 0) { }
        struct stat info { };
        if (leave > 0 && ::fstat(fd, &info) == 0)
            ::ftruncate(fd, info.st_size > leave ? info.st_size - leave : 0);
        ::close(fd);
    }
    void release() { QFile::remove(filePath(QStringLiteral("filler"))); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_reason;
};
