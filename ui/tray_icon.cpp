#include "ui/tray_icon.h"

#include "platform/window/dialog_controls.h"
#include "res/resource_ids.h"
#include "ui/win_main.h"

int windowHidden = 0;

static int trayIdlePicture = IDI_TRAY_IDLE_LARGE;
static int trayActivePicture = IDI_TRAY_ACTIVE_LARGE;

void ChooseTrayPictures(int screenWidth)
{
    const bool small = screenWidth <= kSmallScreenWidth;
    trayIdlePicture = small ? IDI_TRAY_IDLE_SMALL : IDI_TRAY_IDLE_LARGE;
    trayActivePicture = small ? IDI_TRAY_ACTIVE_SMALL : IDI_TRAY_ACTIVE_LARGE;
}

int TrayIdlePicture()
{
    return trayIdlePicture;
}

int TrayActivePicture()
{
    return trayActivePicture;
}

void UpdateTrayIcon(Dialog* dialog, NotifyIconAction action, unsigned identifier, int pictureId)
{
    const NotifyIconData data{dialog, identifier, WM_TRAY_NOTIFY,
                              LoadIcon(*programInstance, pictureId)};
    ShellNotifyIcon(action, data);
}

bool HideToTray(Dialog* dialog)
{
    if (!windowHidden) {
        ShowDialog(dialog, false);
        windowHidden = 1;
    }
    return true;
}

void HandleTrayNotify(Dialog* dialog, WPARAM wParam, LPARAM lParam)
{
    if (wParam != TRAY_ICON_UID || lParam != WM_LBUTTONDOWN) return;
    // A tap on the icon of a shown dialog raises it and leaves it counted as shown, so the
    // caption's OK still hides it afterwards.
    if (windowHidden) ShowDialog(dialog, true);
    BringDialogToFront(dialog);
    windowHidden = 0;
}
