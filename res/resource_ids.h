// Resource and control identifiers of the program.
#pragma once

// The seven check boxes' ids (IDC_SEND_GGA ...) come with their sentence types' table.
#include "relay/sentence_types.h"

// Dialog
inline constexpr int IDD_MAIN = 104;

// Controls of IDD_MAIN (IDOK and IDCANCEL come with the dialogs)
inline constexpr int IDC_START = 1002;
inline constexpr int IDC_STOP = 1003;
inline constexpr int IDC_STATUS = 1004;
inline constexpr int IDC_INPUT_PORT = 1005;
inline constexpr int IDC_BAUD = 1007;
inline constexpr int IDC_OUTPUT_PORT = 1015;

// Icons: the program's, and the tray pictures (16x16 for small screens, 32x32 otherwise)
inline constexpr int IDI_APP = 101;
inline constexpr int IDI_TRAY_IDLE_SMALL = 111;
inline constexpr int IDI_TRAY_ACTIVE_SMALL = 112;
inline constexpr int IDI_TRAY_ACTIVE_LARGE = 113;
inline constexpr int IDI_TRAY_IDLE_LARGE = 114;
