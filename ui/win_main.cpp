#include "ui/win_main.h"

#include "platform/window/dialog.h"
#include "platform/window/dialog_controls.h"
#include "platform/window/shell.h"
#include "res/program_resources.h"
#include "res/resource_ids.h"
#include "res/version.h"
#include "ui/main_dialog.h"
#include "ui/tray_icon.h"

const ResourceModule* programInstance = nullptr;

int WinMain()
{
    programInstance = &kProgramResources;
    SetApplicationIdentity(kProductName, kProductVersion, kDesktopEntryName);
    ChooseTrayPictures(ScreenWidth());
    const DialogTemplate* mainDialog = FindDialogTemplate(*programInstance, IDD_MAIN);
    if (!mainDialog) return -1;
    return DialogBoxIndirectParam(*programInstance, *mainDialog, MainDlgProc, 0);
}
