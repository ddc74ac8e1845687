#include "capture/PermissionService.h"
#include "fakes/ScopedEnv.h"
#include "fakes/TestFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString shortGlyphwell = QStringLiteral("Enable Screen Recording for Glyphwell in System Settings > "
                                              "Privacy & Security > Screen Recording, then quit "
                                              "and reopen the app.");
const QString longGlyphwell = shortGlyphwell
    + QStringLiteral(
        " If this keeps repeating, move the app to /Applications and open it from there before granting "
        "permission again.");

// Puts a stand-in settings program on PATH that records its arguments.
QString installRecordingProgram(const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        return {};
    script.write("#!/bin/sh\necho \"$*\" > \"$0.args.tmp\" && /bin/mv \"$0.args.tmp\" \"$0.args\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path + QStringLiteral(".args");
}

} // namespace

// The move advice goes to apps run from a translocated or mounted place; the display name,
// when set, stands in for the program's.
TEST(PermissionServiceGuidance, MoveAdviceAndName)
{
    const struct {
        const char *path;
        bool moved;
        const char *displayName = "";
    } cases[] = {
        { "/private/var/folders/x/AppTranslocation/1234/d/Glyphwell.app", true },
        { "/Volumes/Installer/Glyphwell.app", true },
        { "/Applications/Glyphwell.app", false },
        { "/VolumesX/Glyphwell.app", false },
        { "/opt/Volumes/Glyphwell.app", false },
        { "/home/u/AppTranslocation.app", false },
        { "", false },
        { "/usr/bin/glyphwell", false, "Glyphwell Beta" },
        { "/Volumes/Beta/Glyphwell.app", true, "Glyphwell Beta" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        const PermissionService service(PermissionService::Environment {
            QString::fromLatin1(c.path), QString::fromLatin1(c.displayName), {} });
        EXPECT_EQ(service.isTranslocatedOrOnMountedVolume(), c.moved);
        QString expected = c.moved ? longGlyphwell : shortGlyphwell;
        if (*c.displayName)
            expected.replace(QStringLiteral("for Glyphwell in"), QStringLiteral("for Glyphwell Beta in"));
        EXPECT_EQ(service.screenRecordingGuidanceMessage(), expected);
        EXPECT_NO_THROW(service.openScreenRecordingSettings()) << "without an opener nothing is opened";
    }
}

// The AppImage's path is the program's when it runs from one. GNOME and KDE open their privacy
// pages through their settings programs when those are on PATH; other desktops have none.
TEST(PermissionServiceEnvironment, AppImagePath_AndTheDesktopsSettingsProgram)
{
    ScopedEnv env;
    env.set("APPIMAGE", "/home/u/Apps/Glyphwell-x86_64.AppImage");
    EXPECT_EQ(
        PermissionService::currentEnvironment().applicationPath, u"/home/u/Apps/Glyphwell-x86_64.AppImage"_s);
    env.set("APPIMAGE", "");
    EXPECT_EQ(
        PermissionService::currentEnvironment().applicationPath, QCoreApplication::applicationFilePath());

    QTemporaryDir bin, emptyPath;
    ASSERT_TRUE(bin.isValid() && emptyPath.isValid());
    const QString gnomeArgs = installRecordingProgram(bin, u"gnome-control-center"_s);
    const QString kdeArgs = installRecordingProgram(bin, u"systemsettings"_s);
    const struct {
        const char *desktop;
        const QTemporaryDir &path;
        QString argsFile; // empty: nothing is opened
        QByteArray args;
    } rows[] = {
        { "XFCE", emptyPath, {}, {} },
        { "", emptyPath, {}, {} },
        { "GNOME", emptyPath, {}, {} },
        { "KDE", emptyPath, {}, {} },
        { "ubuntu:GNOME", bin, gnomeArgs, "privacy\n" },
        { "KDE", bin, kdeArgs, "\n" },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.desktop);
        env.set("PATH", row.path.path().toLocal8Bit());
        env.set("XDG_CURRENT_DESKTOP", row.desktop);
        const PermissionService::Environment environment = PermissionService::currentEnvironment();
        ASSERT_TRUE(static_cast<bool>(environment.openSettings));
        EXPECT_EQ(environment.openSettings(), !row.argsFile.isEmpty());
        if (!row.argsFile.isEmpty())
            EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(row.argsFile) == row.args; }, 10000))
                << readFile(row.argsFile).constData();
    }
}
