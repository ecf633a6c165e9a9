// main() of the GUI test programs: the real application object and message boxes, on the
// offscreen platform unless the environment names another.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/window_message_box.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InstallWindowMessagePresenter();
    const int result = RUN_ALL_TESTS();
    RemoveWindowMessagePresenter();
    return result;
}
