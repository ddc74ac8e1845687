#include "app/CommandLine.h"
#include "app/Doctor.h"
#include "fakes/TestFiles.h"
#include "platform/DesktopBinding.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// What starts the desktop program, and what it does once up. The rest (mistakes included,
// checked by the cli.exit2 tests) goes to runCommandLine().
TEST(CommandLineTest, DesktopForms_AndWhatIsLeftToTheCommandLine)
{
    const struct {
        const char *arguments;
        bool desktop, background;
        const char *action;
    } cases[] = {
        { "", true, false, "" },
        { "--background", true, true, "" },
        { "--capture", true, false, "capture-text" },
        { "--capture --no-line-breaks", true, false, "capture-without-line-breaks" },
        { "--last --capture", true, false, "capture-last-selection" },
        { "--show", true, false, "show-main-window" },
        { "--background --capture", true, true, "capture-text" },
        { "--capture --no-line-breaks --last", false, false, "" },
        { "--capture --recognize a.png", false, false, "" },
        { "--recognize a.png", false, false, "" },
        { "--show extra", false, false, "" },
        { "--help", false, false, "" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments);
        const QStringList arguments = QStringList { QStringLiteral("glyphwell") }
            + QString::fromLatin1(c.arguments).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const std::optional<DesktopLaunch> launch = desktopLaunch(arguments);
        ASSERT_EQ(launch.has_value(), c.desktop);
        if (launch) {
            EXPECT_EQ(launch->background, c.background);
            EXPECT_EQ(launch->action, QLatin1String(c.action));
        }
    }
}

// Each desktop's own place to bind a key to the command, never another desktop's.
TEST(DesktopBindingHint, NamesTheDesktopsOwnPlace)
{
    const struct {
        const char *currentDesktop;
        DesktopFamily family;
        const char *place;
    } rows[] = {
        { "GNOME", DesktopFamily::gnome,
            "GNOME Settings > Keyboard > Keyboard Shortcuts > Custom Shortcuts" },
        { "ubuntu:GNOME", DesktopFamily::gnome, "GNOME Settings > Keyboard" },
        { "KDE", DesktopFamily::kde, "KDE System Settings > Shortcuts" },
        { "Hyprland", DesktopFamily::other, "the desktop's keyboard settings" },
        { "", DesktopFamily::other, "the desktop's keyboard settings" },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.currentDesktop);
        EXPECT_EQ(desktopFamily(QString::fromLatin1(row.currentDesktop)), row.family);
        const QString hint = desktopBindingHint(row.family);
        EXPECT_TRUE(hint.contains(QLatin1String(row.place))) << hint.toStdString();
        EXPECT_TRUE(hint.contains(QLatin1String("glyphwell --capture")));
        EXPECT_EQ(hint.contains(QLatin1String("bindsym")), row.family == DesktopFamily::sway);
    }
}

// The GlobalShortcuts line says whether a bind works, not only that the interface answers.
TEST(DoctorShortcutsPortal, SaysWhatTheBindGave)
{
    using State = DoctorFindings::ShortcutBinding::State;
    using Level = DoctorLine::Level;
    const struct {
        const char *name;
        std::optional<uint> version;
        State state;
        QString detail;
        Level level;
        const char *found;
        bool hasFix;
    } rows[] = {
        { "no portal", std::nullopt, State::sessionOpens, {}, Level::warning, "not available", true },
        { "bound", 1u, State::bound, QStringLiteral("captureText=Meta+Shift+X"), Level::ok,
            "version 1, bound: captureText=Meta+Shift+X", false },
        { "refused by another desktop's back-end", 1u, State::sessionRefused, {}, Level::warning,
            "refuses to open a session", true },
        { "nothing bound", 1u, State::notBound,
            QStringLiteral("the desktop bound none of Glyphwell's shortcuts"), Level::warning,
            "nothing is bound: the desktop bound none", true },
        { "not running", 1u, State::sessionOpens, {}, Level::ok, "start Glyphwell to see what it binds",
            false },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        DoctorFindings findings;
        findings.platform = QStringLiteral("wayland");
        findings.portals = PortalVersions { 1u, row.version };
        if (row.version)
            findings.shortcutBinding = DoctorFindings::ShortcutBinding { row.state, row.detail };
        const std::vector<DoctorLine> lines = doctorLines(findings);
        const auto line = std::find_if(lines.begin(), lines.end(),
            [](const DoctorLine &l) { return l.check == QLatin1String("GlobalShortcuts portal"); });
        ASSERT_NE(line, lines.end());
        EXPECT_EQ(line->level, row.level);
        EXPECT_TRUE(line->found.contains(QLatin1String(row.found))) << line->found.toStdString();
        EXPECT_EQ(!line->fix.isEmpty(), row.hasFix);
    }
}

// A PNG of width x height white 1-bit pixels, written row by row so the test never holds the
// image; `truncate` cuts the pixel data short, as a download that stopped would.
bool writeWhitePng(const QString &path, quint32 width, quint32 height, bool truncate = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto bigEndian = [](quint32 value) {
        const quint32 stored = qToBigEndian(value);
        return QByteArray(reinterpret_cast<const char *>(&stored), 4);
    };
    auto chunk = [&](const char *type, const QByteArray &data) {
        const QByteArray typed = QByteArray(type, 4) + data;
        file.write(bigEndian(quint32(data.size())) + typed
            + bigEndian(
                quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size())))));
    };
    file.write("\x89PNG\r\n\x1a\n", 8);
    // 1 bit grey, deflate, no filter, no interlace
    chunk("IHDR", bigEndian(width) + bigEndian(height) + QByteArray("\x01\x00\x00\x00\x00", 5));

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
        do {
            stream.next_out = reinterpret_cast<Bytef *>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, y + 1 == rows ? Z_FINISH : Z_NO_FLUSH);
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
    for (const QByteArray &line : readFile(QStringLiteral("/proc/self/status")).split('\n'))
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

const QString helloWorldPng
    = qEnvironmentVariable("GLYPHWELL_TEST_DATA") + QStringLiteral("/ocr/screen_code_helloworld.png");

} // namespace

TEST(CommandLineFiles, FoldersHugeAndBrokenImagesAreRefusedClearly)
{
    QTemporaryDir dir;
    const auto at = [&](const char *name) { return dir.filePath(QLatin1String(name)); };
    ASSERT_TRUE(writeWhitePng(at("huge.png"), 20000, 20000));
    ASSERT_TRUE(writeWhitePng(at("broken.png"), 640, 480, true));
    // SVG text needs a font system (Qt aborted without one), and an SVG's image may be any
    // file of the user's: SVG is not read, under any name.
    ASSERT_TRUE(QFile::copy(helloWorldPng, at("secret.png")));
    ASSERT_TRUE(writeFile(at("text.svg"),
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="200" height="40"><text x="5" y="30" font-size="24">Hello</text></svg>)"));
    ASSERT_TRUE(writeFile(at("image.png"),
        R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="400" height="100">)"
        R"(<image x="0" y="0" width="400" height="100" xlink:href="file://)"
            + QFile::encodeName(at("secret.png")) + R"("/></svg>)"));
    // A GIF's header gives its first frame's size (1 x 1 here), then it is decoded onto its whole
    // screen: 8200 x 8000, just within the decoder's own memory limit.
    ASSERT_TRUE(writeFile(at("screen.gif"),
        QByteArray("GIF89a\x08\x20\x40\x1f\x80\x00\x00"
                   "\x00\x00\x00\xff\xff\xff"
                   "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00"
                   "\x02\x02\x4c\x01\x00\x3b",
            35)));
    // A FIFO with no writer would block a reader forever; a device never ends.
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("fifo.png")).constData(), 0600), 0);
    const struct {
        QString path;
        const char *message;
    } cases[] = {
        { dir.path(), "is a folder, not an image file" },
        { at("huge.png"),
            "the image is 20000 x 20000 pixels; Glyphwell reads images of up to 64 million pixels" },
        { at("screen.gif"),
            "the image is 8200 x 8000 pixels; Glyphwell reads images of up to 64 million pixels" },
        { at("broken.png"), "cannot read the image" },
        { at("text.svg"), "SVG files are not read; use PNG, JPEG" },
        { at("image.png"), "SVG files are not read" },
        { at("fifo.png"), "is not a regular file" },
        { QStringLiteral("/dev/zero"), "is not a regular file" },
    };
    // Decoding the 20000 x 20000 image would take 1.6 GB. Linux counts this process's own peak
    // into a child's (the fork copies it), so that is allowed for; the sanitizers take the rest.
    const long ownPeak = peakResidentKilobytes();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QElapsedTimer clock;
        clock.start();
        const ProgramRun run = runGlyphwell({ QStringLiteral("--recognize"), c.path });
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.error.contains(QLatin1String(c.message))) << run.error.toStdString();
        EXPECT_LT(clock.elapsed(), 30'000);
        EXPECT_LT(run.peakKilobytes, ownPeak + 400 * 1024);
    }
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
                return writeFile(path, R"({"history": [], "selectedLanguageIdentifier": "en-US"})");
            },
            QString() },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
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
        EXPECT_EQ(run.output.contains(QStringLiteral("Capture history")), !row.says.isEmpty());
        if (!row.says.isEmpty())
            EXPECT_TRUE(run.output.contains(row.says)) << run.output.toStdString();
    }
}

TEST(CommandLineFiles, AFileNameThatIsNotUtf8IsOpenedByItsBytes)
{
    QTemporaryDir dir;
    // "café" in Latin-1: the byte 0xE9 alone is no UTF-8.
    const QByteArray name = QFile::encodeName(dir.path()) + "/caf\xe9.png";
    const QByteArray png = readFile(helloWorldPng);
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
