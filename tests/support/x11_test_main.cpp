// main() of the tests that need a real X server with a tray: a private session bus, a private
// Xvfb and the tray host the build names (QUARNEX_TRAY_HOST, a TrayHost) for the whole run, on
// the xcb platform. Listing the tests starts nothing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/desktop_session.h"
#include "tests/support/gui_test_run.h"
#include "tests/support/private_session_bus.h"
#include "tests/support/private_x_server.h"

int main(int argc, char** argv)
{
    LeaveTheDesktopSession();
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    const PrivateRuntimeDirectory runtimeDirectory;
    const PrivateSessionBus sessionBus;
    const PrivateXServer server(QUARNEX_TRAY_HOST);
    setenv("DISPLAY", server.Display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    return RunAllTestsWithApplication(argc, argv);
}
