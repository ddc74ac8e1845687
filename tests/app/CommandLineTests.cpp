#include "app/CommandLine.h"

#include <gtest/gtest.h>

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
