#include "app/CommandLine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

TEST(CommandLineTest, DesktopForms_AndWhatIsLeftToTheCommandLine)
{
    struct Case {
        QStringList arguments;
        bool desktop;
        bool background = false;
        QString action = {};
    };
    const QString none;
    const Case cases[] = {
        { {}, true, false, none },
        { { QStringLiteral("--background") }, true, true, none },
        { { QStringLiteral("--capture") }, true, false, QStringLiteral("capture-text") },
        { { QStringLiteral("--capture"), QStringLiteral("--no-line-breaks") }, true, false,
            QStringLiteral("capture-without-line-breaks") },
        { { QStringLiteral("--last"), QStringLiteral("--capture") }, true, false,
            QStringLiteral("capture-last-selection") },
        { { QStringLiteral("--show") }, true, false, QStringLiteral("show-main-window") },
        { { QStringLiteral("--background"), QStringLiteral("--capture") }, true, true,
            QStringLiteral("capture-text") },
        // Mistakes and the command line's own forms go to runCommandLine().
        { { QStringLiteral("--capture"), QStringLiteral("--no-line-breaks"), QStringLiteral("--last") },
            false, false, none },
        { { QStringLiteral("--no-line-breaks") }, false, false, none },
        { { QStringLiteral("--capture"), QStringLiteral("--show") }, false, false, none },
        { { QStringLiteral("--capture"), QStringLiteral("--recognize"), QStringLiteral("a.png") }, false,
            false, none },
        { { QStringLiteral("--recognize"), QStringLiteral("a.png") }, false, false, none },
        { { QStringLiteral("--show"), QStringLiteral("extra") }, false, false, none },
        { { QStringLiteral("--help") }, false, false, none },
        { { QStringLiteral("--bogus") }, false, false, none },
    };
    for (const Case &c : cases) {
        const QStringList arguments = QStringList { QStringLiteral("glyphwell") } + c.arguments;
        const std::optional<DesktopLaunch> launch = desktopLaunch(arguments);
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        ASSERT_EQ(launch.has_value(), c.desktop);
        if (launch) {
            EXPECT_EQ(launch->background, c.background);
            EXPECT_EQ(launch->action, c.action);
        }
    }
}

} // namespace

namespace {

// A PNG of width x height white 1-bit pixels, written row by row so the test never holds the
// image; `truncate` cuts the pixel data short, as a download that stopped would.
bool writeWhitePng(const QString &path, quint32 width, quint32 height, bool truncate = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    auto chunk = [&file](const char *type, const QByteArray &data) {
        QByteArray out;
        const quint32 length = quint32(data.size());
        for (int shift : { 24, 16, 8, 0 })
            out += char((length >> shift) & 0xFF);
        const QByteArray typed = QByteArray(type, 4) + data;
        const quint32 crc
            = quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size())));
        out += typed;
        for (int shift : { 24, 16, 8, 0 })
            out += char((crc >> shift) & 0xFF);
        file.write(out);
    };
    file.write("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    for (const quint32 value : { width, height })
        for (int shift : { 24, 16, 8, 0 })
            header += char((value >> shift) & 0xFF);
    header += QByteArray("\x01\x00\x00\x00\x00", 5); // 1 bit grey, deflate, no filter, no interlace
    chunk("IHDR", header);

    z_stream stream {};
    deflateInit(&stream, Z_DEFAULT_COMPRESSION);
    QByteArray row(1 + int((width + 7) / 8), char(0xFF));
    row[0] = 0; // no filter
    QByteArray compressed;
    char buffer[65536];
    const quint32 rows = truncate ? height / 2 : height;
    for (quint32 y = 0; y < rows; ++y) {
        stream.next_in = reinterpret_cast<Bytef *>(row.data());
        stream.avail_in = uInt(row.size());
        const int flush = y + 1 == rows ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef *>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, flush);
            compressed.append(buffer, int(sizeof buffer - stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    chunk("IDAT", truncate ? compressed.left(compressed.size() / 2) : compressed);
    if (!truncate)
        chunk("IEND", {});
    return true;
}

long peakResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

struct ProgramRun {
    int status;
    QString error;
    long peakKilobytes; // the largest child so far
    QString output;
};

// With the variables in `set` added to this process's environment; `program` may be a shell
// that runs glyphwell.
ProgramRun runGlyphwell(const QStringList &arguments, const QProcessEnvironment &set = {},
    const QString &program = QStringLiteral(GLYPHWELL_EXECUTABLE))
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    environment.insert(set);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(120'000);
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromUtf8(process.readAllStandardError()), usage.ru_maxrss,
        QString::fromUtf8(process.readAllStandardOutput()) };
}

} // namespace

TEST(CommandLineFiles, FoldersHugeAndBrokenImagesAreRefusedClearly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString huge = dir.filePath(QStringLiteral("huge.png"));
    const QString broken = dir.filePath(QStringLiteral("broken.png"));
    ASSERT_TRUE(writeWhitePng(huge, 20000, 20000));
    ASSERT_TRUE(writeWhitePng(broken, 640, 480, true));
    // SVG text needs a font system (Qt aborted without one), and an SVG's image may be any
    // file of the user's: SVG is not read, under any name.
    const QString secret = dir.filePath(QStringLiteral("secret.png"));
    ASSERT_TRUE(QFile::copy(
        qEnvironmentVariable("GLYPHWELL_TEST_DATA") + QStringLiteral("/ocr/screen_code_helloworld.png"),
        secret));
    const QString svgText = dir.filePath(QStringLiteral("text.svg"));
    const QString svgImage = dir.filePath(QStringLiteral("image.png"));
    QFile text(svgText), image(svgImage);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && image.open(QIODevice::WriteOnly));
    text.write(
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="200" height="40"><text x="5" y="30" font-size="24">Hello</text></svg>)");
    image.write(
        R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="400" height="100">)"
        R"(<image x="0" y="0" width="400" height="100" xlink:href="file://)"
        + QFile::encodeName(secret) + R"("/></svg>)");
    text.close();
    image.close();
    // A FIFO with no writer would block a reader forever; a device never ends.
    const QString fifo = dir.filePath(QStringLiteral("fifo.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct Case {
        QString path;
        QString message;
    };
    const Case cases[] = {
        { dir.path(), QStringLiteral("is a folder, not an image file") },
        { huge,
            QStringLiteral(
                "the image is 20000 x 20000 pixels; Glyphwell reads images of up to 64 million pixels") },
        { broken, QStringLiteral("cannot read the image") },
        { svgText, QStringLiteral("SVG files are not read; use PNG, JPEG") },
        { svgImage, QStringLiteral("SVG files are not read") },
        { fifo, QStringLiteral("is not a regular file") },
        { QStringLiteral("/dev/zero"), QStringLiteral("is not a regular file") },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QElapsedTimer clock;
        clock.start();
        const ProgramRun run = runGlyphwell({ QStringLiteral("--recognize"), c.path });
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.error.contains(c.message)) << run.error.toStdString();
        EXPECT_LT(clock.elapsed(), 30'000);
        std::printf("%s: exit %d in %lld ms\n", qPrintable(QFileInfo(c.path).fileName()), run.status,
            clock.elapsed());
    }
    // Decoding the 20000 x 20000 image would take 1.6 GB. Linux counts this process's own peak
    // into a child's (the fork copies it), so that is allowed for; the sanitizers take the rest.
    const long before = peakResidentKilobytes();
    const long peak = runGlyphwell({ QStringLiteral("--recognize"), huge }).peakKilobytes;
    std::printf("huge.png: peak %ld MB, this process's own peak %ld MB\n", peak / 1024, before / 1024);
    EXPECT_LT(peak, before + 400 * 1024);
}

// --doctor reads the history for the chosen language as the program does: what is not a
// regular file there is not opened (a FIFO hung it), and is named instead.
TEST(CommandLineFiles, DoctorReadsOnlyARegularHistoryFile)
{
    const struct {
        const char *name;
        std::function<bool(const QString &)> make;
        QString says; // empty: no line about the history
    } rows[] = {
        { "FIFO",
            [](const QString &path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; },
            QStringLiteral("capture-history.json: is not a regular file (a FIFO, socket or device)") },
        { "folder", [](const QString &path) { return QDir().mkpath(path); },
            QStringLiteral("capture-history.json: is a folder") },
        { "regular file",
            [](const QString &path) {
                QFile file(path);
                return file.open(QIODevice::WriteOnly)
                    && file.write(R"({"history": [], "selectedLanguageIdentifier": "en-US"})") > 0;
            },
            QString() },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("Glyphwell"))));
        ASSERT_TRUE(row.make(dir.filePath(QStringLiteral("Glyphwell/capture-history.json"))));
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
        QElapsedTimer clock;
        clock.start();
        const ProgramRun run = runGlyphwell({ QStringLiteral("--doctor") }, environment);
        EXPECT_LT(clock.elapsed(), 60'000);
        EXPECT_GE(run.status, 0) << "did not end";
        EXPECT_TRUE(run.output.contains(QStringLiteral("Clipboard manager"))) << run.output.toStdString();
        EXPECT_EQ(run.output.contains(QStringLiteral("Capture history")), !row.says.isEmpty())
            << run.output.toStdString();
        if (!row.says.isEmpty())
            EXPECT_TRUE(run.output.contains(row.says)) << run.output.toStdString();
    }
}

TEST(CommandLineFiles, AFileNameThatIsNotUtf8IsOpenedByItsBytes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile source(
        qEnvironmentVariable("GLYPHWELL_TEST_DATA") + QStringLiteral("/ocr/screen_code_helloworld.png"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray png = source.readAll();
    // "café" in Latin-1: the byte 0xE9 alone is no UTF-8.
    const QByteArray name = QFile::encodeName(dir.path()) + "/caf\xe9.png";
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, png.constData(), size_t(png.size())), png.size());
    ::close(fd);
    for (const char *form :
        { "--recognize \"$name\"", "--recognize=\"$name\"", "--mode text --recognize \"$name\"" }) {
        SCOPED_TRACE(form);
        // Through a shell, which passes the bytes as they are; QProcess would convert them.
        const ProgramRun run
            = runGlyphwell({ QStringLiteral("-c"),
                               QStringLiteral("name=$(printf '%1/caf\\351.png'); exec \"$0\" %2")
                                   .arg(dir.path(), QLatin1String(form)),
                               QStringLiteral(GLYPHWELL_EXECUTABLE) },
                {}, QStringLiteral("/bin/sh"));
        EXPECT_EQ(run.status, 0) << run.error.toStdString();
        EXPECT_EQ(run.output, QStringLiteral("Hello, World!\n"));
    }
    ::unlink(name.constData()); // QTemporaryDir cannot name it
}
