#include "XTestInput.h"
#include "app/CaptureHistory.h"
#include "entry/SystemDoctor.h"
#include "fakes/ScopedEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon-keysyms.h>

using namespace Qt::StringLiterals;

namespace {

xcb_atom_t atomNamed(xcb_connection_t *connection, const char *name)
{
    XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr));
    return atom ? atom->atom : XCB_NONE;
}

// On a fresh profile (its own settings, history and a tessdata folder of empty model files),
// the doctor judged against the test's X server as another client sets it up.
TEST(DoctorX11, TrayHeldShortcutsAndMissingLanguageData_EachNamedWithItsFix)
{
    const struct Case {
        const char *name;
        bool trayHost, shortcutHeld;
        const char *selectedLanguage;
        int exitStatus;
    } cases[] = {
        { "bare desktop, French data missing", false, false, "automatic", 0 },
        { "tray, Shift+Super+X held, French chosen but missing", true, true, "fr-FR", 1 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        const QString tessdata = home.filePath(u"tessdata"_s);
        const ScopedEnv config("XDG_CONFIG_HOME", home.filePath(u"config"_s).toUtf8()),
            data("XDG_DATA_HOME", home.filePath(u"data"_s).toUtf8()),
            models("TESSDATA_PREFIX", tessdata.toUtf8());
        QDir().mkpath(tessdata + u"/script"_s);
        for (const char *model :
            { "eng", "script/Latin", "deu", "spa", "ita", "por", "jpn", "kor", "chi_sim" })
            QFile(tessdata + QLatin1Char('/') + QLatin1String(model) + u".traineddata"_s)
                .open(QIODevice::WriteOnly);
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
            xcb_set_selection_owner(
                connection, window, atomNamed(connection, "_NET_SYSTEM_TRAY_S0"), XCB_CURRENT_TIME);
        }
        if (c.shortcutHeld)
            ASSERT_TRUE(other.grab(other.keycodeOf(XKB_KEY_x), XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4));
        xcb_flush(connection);

        const std::vector<DoctorLine> lines = doctorLines(gatherDoctorFindings());
        EXPECT_EQ(doctorExitStatus(lines), c.exitStatus) << doctorTable(lines).toStdString();
        const auto line = [&](const char *check) {
            const auto found = std::find_if(lines.begin(), lines.end(),
                [&](const DoctorLine &line) { return line.check == QLatin1String(check); });
            EXPECT_NE(found, lines.end()) << check;
            return found != lines.end() ? *found : DoctorLine {};
        };
        EXPECT_TRUE(line("Session").found.endsWith(u"platform x11"_s));
        EXPECT_EQ(
            line("Tray").found, c.trayHost ? u"XEmbed tray"_s : u"none: the main window opens at start"_s);
        EXPECT_EQ(line("Shortcut Capture Text").level,
            c.shortcutHeld ? DoctorLine::Level::warning : DoctorLine::Level::ok);
        EXPECT_EQ(line("Shortcut Capture Text").found,
            c.shortcutHeld ? u"Shift+Super+X is held by another X client"_s
                           : u"Shift+Super+X can be grabbed"_s);
        EXPECT_EQ(line("Language French").level,
            c.exitStatus ? DoctorLine::Level::problem : DoctorLine::Level::warning);
        EXPECT_EQ(line("Language French").fix, u"sudo apt-get install tesseract-ocr-fra"_s);
        EXPECT_EQ(line("Language German").level, DoctorLine::Level::ok);
        EXPECT_EQ(line("Language Automatic").level, DoctorLine::Level::ok);
        EXPECT_EQ(line("Clipboard manager").found, u"none: text copied by a program that quits is lost"_s);
    }
}

} // namespace
