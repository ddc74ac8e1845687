#include "app/Preferences.h"
#include "platform/IniUserDefaults.h"
#include "platform/LoginItem.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class PreferencesTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString settingsPath = dir.filePath(QStringLiteral("Glyphwell/Glyphwell.conf"));
    QString entryPath = dir.filePath(QStringLiteral("autostart/io.glyphwell.Glyphwell.desktop"));
    std::unique_ptr<IniUserDefaults> defaults = std::make_unique<IniUserDefaults>(settingsPath);
    std::unique_ptr<XdgAutostartLoginItem> loginItem
        = std::make_unique<XdgAutostartLoginItem>(entryPath, QStringLiteral("/opt/Glyphwell/bin/glyphwell"));

    // A new process: a fresh store that must parse the file. QSettings keeps parsed files
    // in a process-wide cache, so the file is read under a new name.
    std::unique_ptr<Preferences> restart()
    {
        defaults.reset();
        const QString copy = dir.filePath(QStringLiteral("Glyphwell/restart-%1.conf").arg(++restarts));
        if (QFile::exists(settingsPath))
            EXPECT_TRUE(QFile::copy(settingsPath, copy));
        settingsPath = copy;
        defaults = std::make_unique<IniUserDefaults>(settingsPath);
        return std::make_unique<Preferences>(*defaults, *loginItem);
    }
    int restarts = 0;
};

// A fresh profile copies, does not append and does not start at login, and reading writes
// nothing; what is set survives a restart.
TEST_F(PreferencesTest, ClipboardSettings_FreshProfileAndAfterARestart)
{
    {
        Preferences preferences(*defaults, *loginItem);
        EXPECT_TRUE(preferences.autoCopy());
        EXPECT_FALSE(preferences.additiveClipboard());
        EXPECT_FALSE(preferences.launchAtLogin());
        EXPECT_TRUE(defaults->keys().isEmpty());
        QSignalSpy willChange(&preferences, &Preferences::objectWillChange);
        preferences.setAutoCopy(false);
        preferences.setAdditiveClipboard(true);
        EXPECT_EQ(willChange.count(), 2);
    }
    auto preferences = restart();
    EXPECT_FALSE(preferences->autoCopy());
    EXPECT_TRUE(preferences->additiveClipboard());

    preferences->setAutoCopy(true);
    preferences->setAdditiveClipboard(false);
    preferences = restart();
    EXPECT_TRUE(preferences->autoCopy());
    EXPECT_FALSE(preferences->additiveClipboard());
    EXPECT_TRUE(defaults->objectForKey(QStringLiteral("autoCopy")).has_value());
}

TEST_F(PreferencesTest, HandEditedFile_ReadsItsBooleans)
{
    defaults.reset();
    QDir().mkpath(QFileInfo(settingsPath).absolutePath());
    QFile file(settingsPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\nautoCopy=false\nadditiveClipboard=yes\n");
    file.close();
    auto preferences = restart();
    EXPECT_FALSE(preferences->autoCopy());
    EXPECT_TRUE(preferences->additiveClipboard());
}

TEST_F(PreferencesTest, LaunchAtLogin_WritesAndDeletesTheAutostartEntry)
{
    Preferences preferences(*defaults, *loginItem);
    preferences.setLaunchAtLogin(true);
    EXPECT_TRUE(preferences.launchAtLogin());
    const QString entry = readAll(entryPath);
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nType=Application\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nName=Glyphwell\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nIcon=")));
    // At login it goes to the tray without opening its window.
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=\"/opt/Glyphwell/bin/glyphwell\" --background\n")));
    EXPECT_TRUE(restart()->launchAtLogin());

    preferences.setLaunchAtLogin(false);
    EXPECT_FALSE(preferences.launchAtLogin());
    EXPECT_FALSE(QFile::exists(entryPath));
    EXPECT_FALSE(restart()->launchAtLogin());
}

TEST_F(PreferencesTest, LaunchAtLogin_HiddenEntryCountsAsOff)
{
    QDir().mkpath(QFileInfo(entryPath).absolutePath());
    QFile file(entryPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=Glyphwell\nExec=glyphwell\nHidden = true\n");
    file.close();
    EXPECT_FALSE(restart()->launchAtLogin());

    // Turning it on replaces the hidden entry with a live one.
    auto preferences = restart();
    preferences->setLaunchAtLogin(true);
    EXPECT_TRUE(restart()->launchAtLogin());
}

TEST_F(PreferencesTest, LaunchAtLogin_RefusedWriteSpringsBack)
{
    // A regular file where the autostart folder should be: the entry cannot be written,
    // whatever the permissions (the tests may run as root).
    QFile blocker(dir.filePath(QStringLiteral("autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    Preferences preferences(*defaults, *loginItem);
    QSignalSpy willChange(&preferences, &Preferences::objectWillChange);
    preferences.setLaunchAtLogin(true);
    EXPECT_FALSE(preferences.launchAtLogin());
    EXPECT_EQ(willChange.count(), 2); // the switch moved, then sprang back
}

TEST(XdgAutostartLoginItemTest, ExecLine_QuotesPathsThatNeedIt)
{
    EXPECT_EQ(XdgAutostartLoginItem::execLine(QStringLiteral("/home/a b/glyphwell")),
        QStringLiteral("\"/home/a b/glyphwell\""));
    // $ and " take a backslash, which the entry's string escaping doubles; % is doubled.
    EXPECT_EQ(XdgAutostartLoginItem::execLine(QStringLiteral("/opt/$x\"y%/g")),
        QStringLiteral("\"/opt/\\\\$x\\\\\"y%%/g\""));
}

} // namespace
