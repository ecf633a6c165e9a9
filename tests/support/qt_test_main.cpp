// main() of the GUI test programs: the real application object and message boxes, on the
// offscreen platform unless the environment names another. QUARNEX_TEST_SCREEN=WxH gives the
// offscreen platform one screen of that size. Qt's runtime directory is a private one per run.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/window_message_box.h"

namespace {

std::string MakeRuntimeDirectory()
{
    char folder[] = "/tmp/quarnex-gui-test-XXXXXX";  // mkdtemp makes it 0700, as Qt wants
    if (!mkdtemp(folder)) return {};
    setenv("XDG_RUNTIME_DIR", folder, 1);
    return folder;
}

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
    ::testing::InitGoogleTest(&argc, argv);
    const std::string runtimeDirectory = MakeRuntimeDirectory();
    UseOffscreenScreen(runtimeDirectory);
    int result;
    {
        QApplication application(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        InstallWindowMessagePresenter();
        result = RUN_ALL_TESTS();
        RemoveWindowMessagePresenter();
    }
    if (!runtimeDirectory.empty()) std::filesystem::remove_all(runtimeDirectory);
    return result;
}
