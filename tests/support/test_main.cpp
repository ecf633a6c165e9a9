// main() of the test programs without a GUI: GoogleTest's own, run outside the desktop session
// that the test command may have been started from.
#include <gtest/gtest.h>

#include "tests/support/desktop_session.h"

int main(int argc, char** argv)
{
    LeaveTheDesktopSession();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
