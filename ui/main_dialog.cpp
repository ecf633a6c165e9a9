#include "ui/main_dialog.h"

#include <cstdio>

#include "platform/window/dialog_controls.h"
#include "platform/window/shell.h"
#include "ports/gate_channel.h"
#include "relay/relay_state.h"
#include "relay/sentence_types.h"
#include "res/resource_ids.h"
#include "ui/monitoring.h"
#include "ui/tray_icon.h"

namespace {

constexpr int kPortCount = 10;  // COM0: to COM9:

void InsertPortNames(Dialog* dialog, int id, int firstPosition)
{
    for (int port = 0; port < kPortCount; ++port) {
        char name[16];
        std::snprintf(name, sizeof name, "COM%d:", port);
        InsertListItem(dialog, id, firstPosition + port, name);
    }
}

void FillLists(Dialog* dialog)
{
    InsertPortNames(dialog, IDC_INPUT_PORT, 0);
    SelectListItem(dialog, IDC_INPUT_PORT, 1);  // COM1:
    int position = 0;
    for (const int rate : kBaudRates) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", rate);
        InsertListItem(dialog, IDC_BAUD, position++, text);
    }
    SelectListItem(dialog, IDC_BAUD, 3);  // 4800
    InsertListItem(dialog, IDC_OUTPUT_PORT, 0, kGateOutputName);
    InsertPortNames(dialog, IDC_OUTPUT_PORT, 1);
    SelectListItem(dialog, IDC_OUTPUT_PORT, 0);
}

void ShowSelection(Dialog* dialog)
{
    for (const SentenceType& type : kSentenceTypes)
        SetCheck(dialog, type.checkBoxId, relayState.selection.*type.flag);
}

bool InitMainDialog(Dialog* dialog)
{
    InitShellDialog(dialog, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN);
    FillLists(dialog);
    ShowSelection(dialog);
    UpdateTrayIcon(dialog, NotifyIconAction::kAdd, TRAY_ICON_UID, TrayIdlePicture());
    BringDialogToFront(dialog);
    return true;
}

// Every exit stops the run first, so the ports and the channel are closed before the icon goes.
bool ExitMonitor(Dialog* dialog)
{
    StopMonitoring(dialog);
    UpdateTrayIcon(dialog, NotifyIconAction::kDelete, TRAY_ICON_UID, TrayIdlePicture());
    EndDialog(dialog, 1);
    return true;
}

bool HandleCommand(Dialog* dialog, int id)
{
    switch (id) {
        case IDOK:
            return HideToTray(dialog);
        case IDCANCEL:
            return ExitMonitor(dialog);
        case IDC_START:
            StartMonitoring(dialog);
            return false;
        case IDC_STOP:
            StopMonitoring(dialog);
            return false;
        default:
            return false;
    }
}

}  // namespace

bool MainDlgProc(Dialog* dialog, unsigned message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_INITDIALOG:
            return InitMainDialog(dialog);
        case WM_COMMAND:
            return HandleCommand(dialog, CommandId(wParam));
        case WM_CLOSE:
            return ExitMonitor(dialog);
        case WM_TRAY_NOTIFY:
            HandleTrayNotify(dialog, wParam, lParam);
            return false;
        default:
            return false;
    }
}
