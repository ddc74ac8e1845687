#include "capture/x11/X11ScreenAccess.h"

#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(X11ScreenAccess, ReadingTheRootWindowIsAllowedOnAPlainServer)
{
    X11ScreenAccess access;
    EXPECT_TRUE(access.preflight());
    access.request();
    EXPECT_TRUE(access.preflight());
}

TEST(X11ScreenAccess, NoServerMeansNoAccessRatherThanACrash)
{
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":4711"); // no server there
    X11ScreenAccess access;
    qputenv("DISPLAY", display);
    EXPECT_FALSE(access.preflight());
}

} // namespace
