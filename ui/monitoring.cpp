#include "ui/monitoring.h"

#include <climits>
#include <cstdlib>

#include "platform/window/dialog_controls.h"
#include "platform/window/gui_wait.h"
#include "ports/serial_port.h"
#include "relay/relay_state.h"
#include "relay/relay_thread.h"
#include "relay/run_ends.h"
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

void ReadSelection(Dialog* dialog)
{
    for (const SentenceType& type : kSentenceTypes)
        relayState.selection.*type.flag = GetCheck(dialog, type.checkBoxId);
}

// Ports, channel or relay thread still held: by a run, or by one that a write or read failure
// ended and that waits for Stop.
bool RunIsHeld()
{
    return RelayEndedDescriptor() >= 0 || relayState.inputPort != INVALID_HANDLE_VALUE ||
           relayState.outputPort != INVALID_HANDLE_VALUE || relayState.gateChannel != nullptr;
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
    // A second Start would rewrite the selection under the running relay and could only fail to
    // open the port that the run holds.
    if (RunIsHeld()) return 0;
    char inputName[kControlTextBufferSize];
    char baudText[kControlTextBufferSize];
    char outputName[kControlTextBufferSize];
    GetControlText(dialog, IDC_INPUT_PORT, inputName, sizeof inputName);
    GetControlText(dialog, IDC_BAUD, baudText, sizeof baudText);
    GetControlText(dialog, IDC_OUTPUT_PORT, outputName, sizeof outputName);
    ReadSelection(dialog);
    const int baud = BaudFromText(baudText);

    relayState.inputPort = OpenSerialPort(inputName, baud);
    if (relayState.inputPort == INVALID_HANDLE_VALUE) return 0;
    // StartRelayThread() clears stopRequested just before the thread exists.
    if (!OpenOutputEnd(outputName, baud) || !StartRelayThread()) {
        CloseRunEnds();
        return 0;
    }
    EnableSettingControls(dialog, false);
    UpdateTrayIcon(dialog, NotifyIconAction::kModify, TRAY_ICON_UID, TrayActivePicture());
    SetControlText(dialog, IDC_STATUS, kActiveStatusText);
    return 1;
}

int StopMonitoring(Dialog* dialog)
{
    RequestRelayStop();
    PauseMilliseconds(kStopPauseMs);
    // The relay may be showing a box (a failed write) and waits for its answer; the GUI keeps
    // serving it while we wait here.
    WaitForDescriptor(RelayEndedDescriptor());
    ReleaseRelayThread();
    CloseRunEnds();
    UpdateTrayIcon(dialog, NotifyIconAction::kModify, TRAY_ICON_UID, TrayIdlePicture());
    SetControlText(dialog, IDC_STATUS, kIdleStatusText);
    EnableSettingControls(dialog, true);
    return 1;
}
