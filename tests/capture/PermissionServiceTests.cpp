#include "capture/PermissionService.h"
#include "fakes/ScopedEnv.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

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

QByteArray waitForFile(const QString &path)
{
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
        QThread::msleep(20);
    }
    return "(not started)";
}

PermissionService serviceAt(const QString &path, const QString &displayName = {})
{
    return PermissionService(PermissionService::Environment { path, displayName, {} });
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
        const PermissionService service
            = serviceAt(QString::fromLatin1(c.path), QString::fromLatin1(c.displayName));
        EXPECT_EQ(service.isTranslocatedOrOnMountedVolume(), c.moved);
        QString expected = c.moved ? longGlyphwell : shortGlyphwell;
        if (*c.displayName)
            expected.replace(QStringLiteral("for Glyphwell in"), QStringLiteral("for Glyphwell Beta in"));
        EXPECT_EQ(service.screenRecordingGuidanceMessage(), expected);
    }
}

// The opener given is what opens the settings, once per call; without one nothing is opened.
TEST(PermissionServiceSettings, OpensSettingsThroughTheInjectedOpenerOnce)
{
    int calls = 0;
    const PermissionService service(
        PermissionService::Environment { QStringLiteral("/usr/bin/glyphwell"), {}, [&calls] {
                                            ++calls;
                                            return false;
                                        } });
    service.openScreenRecordingSettings();
    EXPECT_EQ(calls, 1);
    EXPECT_NO_THROW(serviceAt(QStringLiteral("/usr/bin/glyphwell")).openScreenRecordingSettings());
}

TEST(PermissionServiceEnvironment, UsesTheAppImagePathWhenSet)
{
    ScopedEnv env;
    env.set("APPIMAGE", "/home/u/Apps/Glyphwell-x86_64.AppImage");
    const PermissionService::Environment withImage = PermissionService::currentEnvironment();
    env.set("APPIMAGE", "");
    const PermissionService::Environment emptyImage = PermissionService::currentEnvironment();

    EXPECT_EQ(withImage.applicationPath, QStringLiteral("/home/u/Apps/Glyphwell-x86_64.AppImage"));
    EXPECT_EQ(emptyImage.applicationPath, QCoreApplication::applicationFilePath());
    EXPECT_FALSE(emptyImage.applicationPath.isEmpty());
    EXPECT_TRUE(static_cast<bool>(withImage.openSettings));
}

TEST(PermissionServiceEnvironment, DesktopsWithoutASettingsPageReportNothingOpened)
{
    QTemporaryDir emptyPath;
    ASSERT_TRUE(emptyPath.isValid());
    ScopedEnv env;
    env.set("PATH", emptyPath.path().toLocal8Bit());
    for (const char *desktop : { "XFCE", "", "GNOME", "ubuntu:GNOME", "KDE" }) {
        // GNOME and KDE have a page, but their settings programs are not on this PATH.
        env.set("XDG_CURRENT_DESKTOP", desktop);
        const PermissionService::Environment environment = PermissionService::currentEnvironment();
        ASSERT_TRUE(static_cast<bool>(environment.openSettings)) << desktop;
        EXPECT_FALSE(environment.openSettings()) << desktop;
    }
}

TEST(PermissionServiceEnvironment, StartsTheDesktopSettingsProgram)
{
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const QString gnomeArgs = installRecordingProgram(bin, QStringLiteral("gnome-control-center"));
    const QString kdeArgs = installRecordingProgram(bin, QStringLiteral("systemsettings"));
    ASSERT_FALSE(gnomeArgs.isEmpty());
    ASSERT_FALSE(kdeArgs.isEmpty());
    ScopedEnv env;
    env.set("PATH", bin.path().toLocal8Bit());

    env.set("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    EXPECT_TRUE(PermissionService::currentEnvironment().openSettings());
    EXPECT_EQ(waitForFile(gnomeArgs), QByteArray("privacy\n"));

    env.set("XDG_CURRENT_DESKTOP", "KDE");
    EXPECT_TRUE(PermissionService::currentEnvironment().openSettings());
    EXPECT_EQ(waitForFile(kdeArgs), QByteArray("\n"));
}
