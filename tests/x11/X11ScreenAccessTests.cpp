#include "capture/x11/X11ScreenAccess.h"
#include "fakes/ScopedEnv.h"

#include <gtest/gtest.h>

namespace {

// Reading the root window is allowed on a plain server; without a server there is no access
// rather than a crash.
TEST(X11ScreenAccess, AllowedOnAPlainServer_NoServerIsNoAccess)
{
    X11ScreenAccess access;
    EXPECT_TRUE(access.preflight());
    access.request();
    EXPECT_TRUE(access.preflight());
    const ScopedEnv display("DISPLAY", QByteArray(":4711"));
    EXPECT_FALSE(X11ScreenAccess().preflight());
}

} // namespace
