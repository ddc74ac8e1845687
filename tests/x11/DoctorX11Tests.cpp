#include "XTestInput.h"
#include "app/CaptureHistory.h"
#include "entry/SystemDoctor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon-keysyms.h>

namespace {

const DoctorLine *lineFor(const std::vector<DoctorLine> &lines, const QString &check)
{
    for (const DoctorLine &line : lines)
        if (line.check == check)
            return &line;
    return nullptr;
}

xcb_atom_t atomNamed(xcb_connection_t *connection, const char *name)
{
    XcbReply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr));
    return atom ? atom->atom : XCB_NONE;
}

// On a fresh profile (its own settings, history and a tessdata folder of empty model files),
// the doctor judged against the test's X server as another client sets it up.
TEST(DoctorX11, TrayHeldShortcutsAndMissingLanguageData_EachNamedWithItsFix)
{
    struct Case {
        const char *name;
        bool trayHost;
        bool shortcutHeld;
        const char *selectedLanguage;
        int exitStatus;
    };
    const Case cases[] = {
        { "bare desktop, French data missing", false, false, "automatic", 0 },
        { "tray, Shift+Super+X held, French chosen but missing", true, true, "fr-FR", 1 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        ASSERT_TRUE(home.isValid());
        qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
        const QString tessdata = home.filePath(QStringLiteral("tessdata"));
        qputenv("TESSDATA_PREFIX", tessdata.toUtf8());
        QDir().mkpath(tessdata + QStringLiteral("/script"));
        for (const char *model : { "eng", "script/Latin", "deu", "spa", "ita", "por", "jpn", "kor", "chi_sim" })
            QFile(tessdata + QLatin1Char('/') + QLatin1String(model) + QStringLiteral(".traineddata")).open(QIODevice::WriteOnly);
        ASSERT_TRUE(writeFileAtomically(historyFilePath(),
            encodePersistedState({ {}, QString::fromLatin1(c.selectedLanguage) }),
            FileAccess::privateToUser));

        XTestInput other;
        ASSERT_TRUE(other.isValid());
        xcb_connection_t *connection = other.connection();
        if (c.trayHost) {
            // What a tray host does first: own the system tray selection of the screen.
            const xcb_window_t window = xcb_generate_id(connection);
            xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, other.root(), 0, 0, 1, 1, 0,
                XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
            xcb_set_selection_owner(connection, window, atomNamed(connection, "_NET_SYSTEM_TRAY_S0"), XCB_CURRENT_TIME);
        }
        if (c.shortcutHeld) {
            const xcb_void_cookie_t grab = xcb_grab_key_checked(connection, 1, other.root(),
                XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4, other.keycodeOf(XKB_KEY_x), XCB_GRAB_MODE_ASYNC,
                XCB_GRAB_MODE_ASYNC);
            ASSERT_EQ(xcb_request_check(connection, grab), nullptr);
        }
        xcb_flush(connection);

        const std::vector<DoctorLine> lines = doctorLines(gatherDoctorFindings());
        EXPECT_EQ(doctorExitStatus(lines), c.exitStatus) << doctorTable(lines).toStdString();

        const DoctorLine *session = lineFor(lines, QStringLiteral("Session"));
        ASSERT_TRUE(session);
        EXPECT_TRUE(session->found.endsWith(QStringLiteral("platform x11")));
        const DoctorLine *tray = lineFor(lines, QStringLiteral("Tray"));
        ASSERT_TRUE(tray);
        EXPECT_EQ(tray->found, c.trayHost ? QStringLiteral("XEmbed tray") : QStringLiteral("none: the main window opens at start"));
        const DoctorLine *captureText = lineFor(lines, QStringLiteral("Shortcut Capture Text"));
        ASSERT_TRUE(captureText);
        EXPECT_EQ(captureText->level, c.shortcutHeld ? DoctorLine::Level::warning : DoctorLine::Level::ok);
        EXPECT_EQ(captureText->found,
            c.shortcutHeld ? QStringLiteral("Shift+Super+X is held by another X client")
                           : QStringLiteral("Shift+Super+X can be grabbed"));
        const DoctorLine *french = lineFor(lines, QStringLiteral("Language French"));
        ASSERT_TRUE(french);
        EXPECT_EQ(french->level, c.exitStatus ? DoctorLine::Level::problem : DoctorLine::Level::warning);
        EXPECT_EQ(french->fix, QStringLiteral("sudo apt-get install tesseract-ocr-fra"));
        const DoctorLine *german = lineFor(lines, QStringLiteral("Language German"));
        ASSERT_TRUE(german);
        EXPECT_EQ(german->level, DoctorLine::Level::ok);
        EXPECT_EQ(lineFor(lines, QStringLiteral("Language Automatic"))->level, DoctorLine::Level::ok);
        const DoctorLine *clipboard = lineFor(lines, QStringLiteral("Clipboard manager"));
        ASSERT_TRUE(clipboard);
        EXPECT_EQ(clipboard->found, QStringLiteral("none: text copied by a program that quits is lost"));
    }
}

} // namespace
