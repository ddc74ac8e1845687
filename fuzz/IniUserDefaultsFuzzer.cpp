// The settings file as another program or a hand edit may leave it: any bytes, typed values
// under [ValueTypes] included. Every key must read with every typed reader, and a write must
// leave a file that reads back what was written.
#include "platform/IniUserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Keeping unreadable files aside is logged; at thousands of runs a second that is noise.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static int run = 0;
    // A new name each time: QSettings caches parsed files by path within the process.
    const QString path = dir.filePath(QStringLiteral("Glyphwell-%1.conf").arg(run++));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    {
        IniUserDefaults defaults(path);
        for (const QString &key : defaults.keys()) {
            (void)defaults.objectForKey(key);
            (void)defaults.stringForKey(key);
            (void)defaults.boolForKey(key);
        }
        defaults.setBool(QStringLiteral("fuzzWritten"), true);
        if (!defaults.boolForKey(QStringLiteral("fuzzWritten")))
            std::abort();
    }
    // The unreadable original may have been kept aside; remove whatever this run left.
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
        QFile::remove(dir.filePath(name));
    return 0;
}
