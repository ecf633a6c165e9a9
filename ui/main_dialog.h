// The main dialog's procedure: fills the lists and check boxes, turns the buttons into Start,
// Stop and exit, hides the dialog to the tray and brings it back.
#pragma once

#include "platform/window/dialog.h"

// The rates the baud list offers, in list order.
inline constexpr int kBaudRates[] = {300,   1200,  2400,  4800,  9600,
                                     14400, 19200, 38400, 57600, 115200};

bool MainDlgProc(Dialog* dialog, unsigned message, WPARAM wParam, LPARAM lParam);
