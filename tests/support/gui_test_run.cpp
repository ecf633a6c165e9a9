#include "tests/support/gui_test_run.h"

#include <gtest/gtest.h>

#include "platform/window/application_run.h"

int RunAllTestsWithApplication(int argc, char** argv)
{
    return RunInApplication(argc, argv, [] { return RUN_ALL_TESTS(); });
}
