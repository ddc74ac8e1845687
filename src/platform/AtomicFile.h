#pragma once

#include <QByteArray>
#include <QString>

// Who may read a file the program writes.
enum class FileAccess {
    // The user's captured text and settings: the file 0600, a folder created for it 0700, and a
    // symbolic link at the path replaced rather than written through.
    privateToUser,
    // A file the user chose (an export): a new file gets the user's umask, an existing one keeps
    // its mode, and a symbolic link is written through to its target.
    asTheUserChose,
};

// Replaces the file at path with data so that a reader sees the old content or the new one,
// never a mix: the data goes to a temporary file next to it, which is flushed to the disk and
// renamed over the old file only when every step succeeded. Missing folders are created. On
// any failure the old file is left whole, the temporary file removed, and the reason (the
// system's words) goes to *error when given.
bool writeFileAtomically(
    const QString &path, const QByteArray &data, FileAccess access, QString *error = nullptr);

// The file's content when it is a regular file of at most maximumBytes. A FIFO or device is not opened for
// reading (it could block forever or never end): that too is absent, with the reason.
struct FileContent {
    bool exists = false;
    bool read = false;
    QByteArray data;
    QString error;
};
FileContent readRegularFile(const QString &path, qint64 maximumBytes);
// The same for a path given as the system's bytes (a name that is not valid UTF-8 stays
// reachable).
FileContent readRegularFile(const QByteArray &nativePath, qint64 maximumBytes);

// Makes a folder of the user's own data 0700 and a file in it 0600 when they are looser (a
// file written by an older version, or by hand). Symbolic links are left alone. Says in the
// log what it changed.
void tightenPrivateFolder(const QString &folder);
void tightenPrivateFile(const QString &path);

// Holds an exclusive lock for one scope on a lock file (created 0600) beside the data it
// guards, so processes of the same user take turns at a read-merge-write. The lock goes with
// the process if it dies.
class FileLock {
public:
    // Waits at most timeoutMs for another holder; locked() says whether it got it.
    FileLock(const QString &lockPath, int timeoutMs);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    bool locked() const { return m_locked; }
    const QString &error() const { return m_error; }

private:
    int m_fd = -1;
    bool m_locked = false;
    QString m_error;
};
