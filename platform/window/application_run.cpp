#include "platform/window/application_run.h"

#include <QApplication>

#include <csignal>

#include "platform/window/window_message_box.h"

int RunInApplication(int& argc, char** argv, const std::function<int()>& body)
{
    // A write to a peer that has gone makes SIGPIPE, which would end the program on the spot,
    // with its run not stopped and its gpsd source left behind. The X server is such a peer:
    // when it goes away, Qt's next request to it fails with EPIPE instead, Qt sees the display
    // lost and ends the program through exit(), which stops the run. Nothing here starts other
    // programs, which would inherit the setting.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InstallWindowMessagePresenter();
    const int result = body();
    RemoveWindowMessagePresenter();
    return result;
}
