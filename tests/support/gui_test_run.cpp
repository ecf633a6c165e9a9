#include "tests/support/gui_test_run.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>

#include "platform/window_message_box.h"

PrivateRuntimeDirectory::PrivateRuntimeDirectory()
{
    char folder[] = "/tmp/quarnex-gui-test-XXXXXX";  // mkdtemp makes it 0700
    if (!mkdtemp(folder)) return;
    path_ = folder;
    setenv("XDG_RUNTIME_DIR", folder, 1);
}

PrivateRuntimeDirectory::~PrivateRuntimeDirectory()
{
    if (!path_.empty()) std::filesystem::remove_all(path_);
}

int RunAllTestsWithApplication(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InstallWindowMessagePresenter();
    const int result = RUN_ALL_TESTS();
    RemoveWindowMessagePresenter();
    return result;
}
