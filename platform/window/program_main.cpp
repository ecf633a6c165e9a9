// The start-up code: the application object first, then the program's WinMain(), whose result
// is the exit code. The program keeps running while its dialog is hidden to the tray; only the
// dialog's end ends it.
#include "platform/window/application_run.h"
#include "platform/window/program_entry.h"

int main(int argc, char** argv)
{
    return RunInApplication(argc, argv, WinMain);
}
