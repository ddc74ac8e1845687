#include "app/Doctor.h"
#include "platform/DesktopBinding.h"

#include <gtest/gtest.h>

namespace {

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
        { "sway", DesktopFamily::sway, "bindsym Mod4+Shift+x exec glyphwell --capture" },
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

} // namespace
