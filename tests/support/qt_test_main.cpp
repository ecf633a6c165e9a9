// main() of the offscreen GUI test programs. QUARNEX_TEST_SCREEN=WxH gives the offscreen
// platform one screen of that size; without it the platform's default screen is used.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/desktop_session.h"
#include "tests/support/gui_test_run.h"

namespace {

void UseOffscreenScreen(const std::string& folder)
{
    const char* screen = std::getenv("QUARNEX_TEST_SCREEN");
    int width = 0;
    int height = 0;
    if (!screen || std::sscanf(screen, "%dx%d", &width, &height) != 2) {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return;
    }
    const std::string config = folder + "/screen.json";
    std::ofstream(config) << "{\"screens\": [{\"name\": \"test\", \"x\": 0, \"y\": 0, \"width\": "
                          << width << ", \"height\": " << height << ", \"logicalDpi\": 96}]}\n";
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
}

}  // namespace

int main(int argc, char** argv)
{
    LeaveTheDesktopSession();
    ::testing::InitGoogleTest(&argc, argv);
    const PrivateRuntimeDirectory runtimeDirectory;
    UseOffscreenScreen(runtimeDirectory.Path());
    return RunAllTestsWithApplication(argc, argv);
}
