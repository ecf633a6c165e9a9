#include "ui/monitoring.h"

#include <climits>
#include <cstdlib>

#include "platform/window/dialog_controls.h"
#include "platform/window/gui_wait.h"
#include "relay/run.h"
#include "relay/sentence_types.h"
#include "res/program_resources.h"
#include "res/resource_ids.h"
#include "ui/tray_icon.h"

namespace {

// The controls of a run's settings, in the order they are disabled and enabled: these three,
// then the sentence types' check boxes in the table's order.
constexpr int kPortAndRateControls[] = {IDC_INPUT_PORT, IDC_BAUD, IDC_OUTPUT_PORT};

// Lets the relay thread see the stop request and leave its loop before the wait for its end.
constexpr int kStopPauseMs = 1000;

void EnableSettingControls(Dialog* dialog, bool enable)
{
    for (const int id : kPortAndRateControls)
        EnableControl(dialog, id, enable);
    for (const SentenceType& type : kSentenceTypes)
        EnableControl(dialog, type.checkBoxId, enable);
}

SentenceSelection ReadSelection(Dialog* dialog)
{
    SentenceSelection selection;
    for (const SentenceType& type : kSentenceTypes)
        selection.*type.flag = GetCheck(dialog, type.checkBoxId);
    return selection;
}

}  // namespace

int BaudFromText(const char* text)
{
    const long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

int StartMonitoring(Dialog* dialog)
{
    char inputName[kControlTextBufferSize];
    char baudText[kControlTextBufferSize];
    char outputName[kControlTextBufferSize];
    GetControlText(dialog, IDC_INPUT_PORT, inputName, sizeof inputName);
    GetControlText(dialog, IDC_BAUD, baudText, sizeof baudText);
    GetControlText(dialog, IDC_OUTPUT_PORT, outputName, sizeof outputName);
    if (!StartRun(inputName, outputName, BaudFromText(baudText), ReadSelection(dialog))) return 0;
    EnableSettingControls(dialog, false);
    UpdateTrayIcon(dialog, NotifyIconAction::kModify, TRAY_ICON_UID, TrayActivePicture());
    SetControlText(dialog, IDC_STATUS, kActiveStatusText);
    return 1;
}

int StopMonitoring(Dialog* dialog)
{
    // The pause, then the wait for the relay thread's end. The GUI keeps serving all the while:
    // the relay may be showing a box (a failed write) and waits for its answer.
    StopRun([](int relayEnded) {
        PauseMilliseconds(kStopPauseMs);
        WaitForDescriptor(relayEnded);
    });
    UpdateTrayIcon(dialog, NotifyIconAction::kModify, TRAY_ICON_UID, TrayIdlePicture());
    SetControlText(dialog, IDC_STATUS, kIdleStatusText);
    EnableSettingControls(dialog, true);
    return 1;
}
