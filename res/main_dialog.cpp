// The main dialog's layout, in dialog units, in template order (which is also the tab order).
#include "platform/window/dialog.h"
#include "res/icon_images.h"
#include "res/program_resources.h"
#include "res/resource_ids.h"

namespace {

constexpr unsigned kList = kEditableList | kSortedList | kVerticalScrollBar | kTabStop;

// A sentence type's check box, labelled as the sentence types' table names it.
constexpr ControlTemplate SendBox(int id, DialogRect rect)
{
    return {id, ControlKind::kCheckBox, kAutoCheckBox | kTabStop, SentenceTypeLabel(id), rect};
}

constexpr ControlTemplate kMainControls[] = {
    {IDCANCEL, ControlKind::kPushButton, kTabStop, "Programm beenden", {43, 142, 73, 14}},
    {IDC_START, ControlKind::kPushButton, kTabStop, "Start", {19, 116, 50, 14}},
    {IDC_STOP, ControlKind::kPushButton, kTabStop, "Stop", {89, 116, 50, 14}},
    {IDC_STATUS,
     ControlKind::kStaticText,
     kTextCentered | kCenteredVertically | kBorder,
     kIdleStatusText,
     {19, 131, 119, 10}},
    {IDC_INPUT_PORT, ControlKind::kComboBox, kList, "", {73, 10, 48, 59}},
    {IDC_STATIC, ControlKind::kStaticText, kTextRight, "Port:", {12, 12, 54, 8}},
    {IDC_BAUD, ControlKind::kComboBox, kList, "", {73, 25, 48, 59}},
    {IDC_STATIC, ControlKind::kStaticText, kTextRight, "Baud Rate:", {12, 27, 54, 8}},
    SendBox(IDC_SEND_GGA, {13, 80, 31, 10}),
    SendBox(IDC_SEND_VTG, {13, 91, 31, 10}),
    SendBox(IDC_SEND_GLL, {109, 80, 29, 10}),
    SendBox(IDC_SEND_GSA, {61, 91, 31, 10}),
    SendBox(IDC_SEND_GSV, {61, 80, 31, 10}),
    SendBox(IDC_SEND_RMC, {13, 102, 32, 10}),
    SendBox(IDC_SEND_MSS, {109, 91, 31, 10}),
    {IDC_STATIC, ControlKind::kGroupBox, 0, "Sende folgende Protokolle", {7, 70, 142, 44}},
    {IDC_STATIC, ControlKind::kGroupBox, 0, "Eingang", {8, 1, 142, 40}},
    {IDC_OUTPUT_PORT, ControlKind::kComboBox, kList, "", {73, 51, 48, 59}},
    {IDC_STATIC, ControlKind::kStaticText, kTextRight | kGroupStart, "Port:", {17, 54, 49, 8}},
    {IDC_STATIC, ControlKind::kGroupBox, 0, "Ausgang", {8, 42, 142, 27}},
};

constexpr DialogTemplate kDialogs[] = {
    {IDD_MAIN,
     kPopupWindow | kCaption | kModalFrame | kOwnFont | kCaptionOkButton,
     "DuZE Quarnex",
     {0, 0, 160, 162},
     "MS Sans Serif",
     8,
     kMainControls},
};

}  // namespace

const ResourceModule kProgramResources = {kDialogs, kIconImages, IDI_APP};
