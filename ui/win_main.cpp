#include "ui/win_main.h"

#include <cstdlib>

#include "platform/window/dialog.h"
#include "platform/window/dialog_controls.h"
#include "platform/window/shell.h"
#include "platform/window/window_message_box.h"
#include "relay/run.h"
#include "res/program_resources.h"
#include "res/resource_ids.h"
#include "res/version.h"
#include "ui/main_dialog.h"
#include "ui/tray_icon.h"

const ResourceModule* programInstance = nullptr;

namespace {

// The window system may end the process from under the dialog: Qt's X11 connection calls
// exit(1) when the display goes away, also inside the event loop of a box or of Stop's pause.
// No dialog procedure runs after that, so a run still held is ended here, with waits in the
// kernel only: the relay is let go of any box it waits on, stopped and joined (a thread still
// joinable at exit would abort the process), then the ports and the channel are closed, which
// takes the source out of gpsd. After a normal end nothing is held and this does nothing.
void EndRunAtExit()
{
    ReleaseMessageBoxWaiters();
    StopRun();
}

}  // namespace

int WinMain()
{
    [[maybe_unused]] static const bool endsRunAtExit = std::atexit(EndRunAtExit) == 0;
    programInstance = &kProgramResources;
    SetApplicationIdentity(kProductName, kProductVersion, kDesktopEntryName);
    ChooseTrayPictures(ScreenWidth());
    const DialogTemplate* mainDialog = FindDialogTemplate(*programInstance, IDD_MAIN);
    if (!mainDialog) return -1;
    return DialogBoxIndirectParam(*programInstance, *mainDialog, MainDlgProc, 0);
}
