#include "platform/window/application_run.h"

#include <QApplication>

#include "platform/window/window_message_box.h"

int RunInApplication(int& argc, char** argv, const std::function<int()>& body)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InstallWindowMessagePresenter();
    const int result = body();
    RemoveWindowMessagePresenter();
    return result;
}
