#include "app/Preferences.h"
#include "fakes/TestFiles.h"
#include "platform/IniUserDefaults.h"
#include "platform/LoginItem.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

class PreferencesTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString settingsPath = dir.filePath(QStringLiteral("Glyphwell/Glyphwell.conf"));
    QString entryPath = dir.filePath(QStringLiteral("autostart/io.glyphwell.Glyphwell.desktop"));
    std::unique_ptr<IniUserDefaults> defaults = std::make_unique<IniUserDefaults>(settingsPath);
    XdgAutostartLoginItem loginItem { entryPath, QStringLiteral("/opt/Glyphwell/bin/glyphwell") };
    int restarts = 0;

    // A new process: QSettings caches parsed files per process, so the copy gets a new name.
    std::unique_ptr<Preferences> restart()
    {
        defaults.reset();
        const QString copy = dir.filePath(QStringLiteral("Glyphwell/restart-%1.conf").arg(++restarts));
        if (QFile::exists(settingsPath))
            EXPECT_TRUE(QFile::copy(settingsPath, copy));
        settingsPath = copy;
        defaults = std::make_unique<IniUserDefaults>(settingsPath);
        return std::make_unique<Preferences>(*defaults, loginItem);
    }
};

// A fresh profile copies, does not append and does not start at login, and reading writes
// nothing; what is set survives a restart.
TEST_F(PreferencesTest, ClipboardSettings_FreshProfileAndAfterARestart)
{
    {
        Preferences preferences(*defaults, loginItem);
        EXPECT_TRUE(preferences.autoCopy());
        EXPECT_FALSE(preferences.additiveClipboard());
        EXPECT_FALSE(preferences.launchAtLogin());
        EXPECT_TRUE(defaults->keys().isEmpty());
        QSignalSpy willChange(&preferences, &Preferences::objectWillChange);
        preferences.setAutoCopy(false);
        preferences.setAdditiveClipboard(true);
        EXPECT_EQ(willChange.count(), 2);
    }
    for (const bool value : { false, true }) {
        auto preferences = restart();
        EXPECT_EQ(preferences->autoCopy(), value);
        EXPECT_EQ(preferences->additiveClipboard(), !value);
        preferences->setAutoCopy(!value);
        preferences->setAdditiveClipboard(value);
    }
}

// On: an entry that starts the program in the tray; off: none. A hidden entry counts as off
// and is replaced by a live one.
TEST_F(PreferencesTest, LaunchAtLogin_WritesAndDeletesTheAutostartEntry)
{
    QDir().mkpath(QFileInfo(entryPath).absolutePath());
    ASSERT_TRUE(writeFile(entryPath, "[Desktop Entry]\nType=Application\nName=Glyphwell\nHidden = true\n"));
    auto preferences = restart();
    EXPECT_FALSE(preferences->launchAtLogin());
    preferences->setLaunchAtLogin(true);
    EXPECT_TRUE(preferences->launchAtLogin());
    const QByteArray entry = readFile(entryPath);
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    for (const char *line : { "\nType=Application\n", "\nName=Glyphwell\n",
             "\nIcon=", "\nExec=\"/opt/Glyphwell/bin/glyphwell\" --background\n" })
        EXPECT_TRUE(entry.contains(line)) << line;
    EXPECT_TRUE(restart()->launchAtLogin());

    preferences->setLaunchAtLogin(false);
    EXPECT_FALSE(QFile::exists(entryPath));
    EXPECT_FALSE(restart()->launchAtLogin());
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
