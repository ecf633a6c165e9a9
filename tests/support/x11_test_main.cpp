// main() of the tests that need a real X server with a tray: a private Xvfb and trayer for the
// whole run, the xcb platform, and the real message boxes. Listing the tests starts nothing.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/window_message_box.h"
#include "tests/support/private_x_server.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    char runtimeDirectory[] = "/tmp/quarnex-gui-test-XXXXXX";
    if (mkdtemp(runtimeDirectory)) setenv("XDG_RUNTIME_DIR", runtimeDirectory, 1);
    const PrivateXServer server;
    setenv("DISPLAY", server.Display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int result;
    {
        QApplication application(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        InstallWindowMessagePresenter();
        result = RUN_ALL_TESTS();
        RemoveWindowMessagePresenter();
    }
    std::filesystem::remove_all(runtimeDirectory);
    return result;
}
