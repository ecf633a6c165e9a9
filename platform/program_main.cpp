// The start-up code: the application object first, then the program's WinMain(), whose result
// is the exit code. The program keeps running while its dialog is hidden to the tray; only the
// dialog's end ends it.
#include <QApplication>

#include "platform/program_entry.h"
#include "platform/window_message_box.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InstallWindowMessagePresenter();
    const int exitCode = WinMain();
    RemoveWindowMessagePresenter();
    return exitCode;
}
