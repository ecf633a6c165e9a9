#include "tests/support/gui_test_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/application_run.h"

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
    return RunInApplication(argc, argv, [] { return RUN_ALL_TESTS(); });
}
