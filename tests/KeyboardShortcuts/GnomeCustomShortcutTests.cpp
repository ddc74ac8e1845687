#include "KeyboardShortcuts/DesktopAccelerator.h"
#include "KeyboardShortcuts/GnomeCustomShortcut.h"

#include <gtest/gtest.h>

namespace {

using namespace KeyboardShortcuts;
namespace Gnome = GnomeCustomShortcut;

const QString prefix = Gnome::pathPrefix;

// Glyphwell's entry is updated where it is, whatever other entries there are; otherwise the
// first free slot is appended, the user's own entries kept.
TEST(GnomeCustomShortcut, PlanUpdatesOursOrAppendsAFreeSlot)
{
    const QString c0 = prefix + QStringLiteral("0/"), c1 = prefix + QStringLiteral("1/"),
                  c2 = prefix + QStringLiteral("2/");
    const struct {
        const char *name;
        QStringList paths;
        std::map<QString, QString> commands;
        QString path;
        QStringList list;
        bool added;
    } rows[] = {
        { "none yet", {}, {}, c0, { c0 }, true },
        { "the user's own at 0", { c0 }, { { c0, QStringLiteral("gnome-terminal") } }, c1, { c0, c1 }, true },
        { "a gap is filled", { c1 }, { { c1, QStringLiteral("firefox") } }, c0, { c1, c0 }, true },
        { "ours, by full path", { c0, c2 },
            { { c0, QStringLiteral("gedit") }, { c2, QStringLiteral("'/opt/my apps/glyphwell' --capture") } },
            c2, { c0, c2 }, false },
        { "ours, by name", { c1 }, { { c1, QStringLiteral("glyphwell --capture") } }, c1, { c1 }, false },
        { "not ours: another program's --capture", { c0 },
            { { c0, QStringLiteral("myglyphwell --capture") } }, c1, { c0, c1 }, true },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const Gnome::Plan plan = Gnome::plan(row.paths, row.commands);
        EXPECT_EQ(plan.path, row.path);
        EXPECT_EQ(plan.list, row.list);
        EXPECT_EQ(plan.added, row.added);
    }
}

// gsettings' text of a string array, both ways; and bindings as GNOME writes them.
TEST(GnomeCustomShortcut, StringArraysAndAccelerators)
{
    const struct {
        QString text;
        QStringList strings;
    } arrays[] = {
        { QStringLiteral("@as []"), {} },
        { QStringLiteral("['/a/']"), { QStringLiteral("/a/") } },
        { QStringLiteral("['/a/', '/b/']"), { QStringLiteral("/a/"), QStringLiteral("/b/") } },
    };
    for (const auto &row : arrays) {
        SCOPED_TRACE(row.text.toStdString());
        EXPECT_EQ(Gnome::parseStringArray(row.text), row.strings);
        EXPECT_EQ(Gnome::formatStringArray(row.strings), row.text);
    }
    EXPECT_EQ(Gnome::quotedString(QStringLiteral("it's")), QStringLiteral("'it\\'s'"));

    const struct {
        Shortcut shortcut;
        std::optional<QString> accelerator;
    } accelerators[] = {
        { Shortcut(7, 0x300), QStringLiteral("<Shift><Super>x") }, // Shift-Command-X
        { Shortcut(40, 0x1800), QStringLiteral("<Control><Alt>k") },
        { Shortcut(122, 0x20000), std::nullopt }, // F1 with the function modifier
    };
    for (const auto &row : accelerators) {
        SCOPED_TRACE(row.shortcut.displayText().toStdString());
        EXPECT_EQ(gnomeAccelerator(row.shortcut), row.accelerator);
    }
}

} // namespace
