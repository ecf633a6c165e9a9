// Modal dialogs driven by a dialog procedure, as the handheld runs them: the window is built
// from a template, and every event reaches the procedure as a message (initialisation, a
// command from a button or from the caption's OK, close, tray icon events).
//
// The procedure is never re-entered: a message that arrives while it runs (for example a click
// during a wait that keeps the window responsive) is delivered once it has returned, in order.
// Everything here runs on the GUI thread.
#pragma once

#include <cstdint>

#include "platform/window/resources.h"

struct Dialog;

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using DialogProc = bool (*)(Dialog* dialog, unsigned message, WPARAM wParam, LPARAM lParam);

inline constexpr unsigned WM_CLOSE = 0x0010;
inline constexpr unsigned WM_INITDIALOG = 0x0110;
inline constexpr unsigned WM_COMMAND = 0x0111;
// Mouse messages, as tray icon events carry them in lParam.
inline constexpr LPARAM WM_LBUTTONDOWN = 0x0201;
inline constexpr LPARAM WM_LBUTTONDBLCLK = 0x0203;
inline constexpr LPARAM WM_RBUTTONDOWN = 0x0204;
inline constexpr LPARAM WM_MBUTTONDOWN = 0x0207;

inline constexpr int IDOK = 1;      // the caption's OK
inline constexpr int IDCANCEL = 2;  // the button that leaves the dialog
inline constexpr unsigned BN_CLICKED = 0;

// WM_COMMAND's wParam: the control id in the low 16 bits, the notification above them.
constexpr WPARAM MakeCommand(int id, unsigned notification)
{
    return (static_cast<WPARAM>(notification) << 16) | (static_cast<WPARAM>(id) & 0xffff);
}
constexpr int CommandId(WPARAM wParam)
{
    return static_cast<int>(wParam & 0xffff);
}

// Builds the dialog, sends WM_INITDIALOG, shows it, and runs the program's event loop until
// EndDialog(); returns the result given there, or -1 when the dialog could not be built.
// SIGINT, SIGTERM and SIGHUP reach the procedure as WM_CLOSE meanwhile, once every message box
// has been answered; boxes raised after such a signal are answered at once.
int DialogBoxIndirectParam(const ResourceModule& module, const DialogTemplate& dialogTemplate,
                           DialogProc proc, LPARAM initParam);

// The same dialog without its own event loop: built, initialised and shown, then returned.
Dialog* CreateDialogIndirectParam(const ResourceModule& module,
                                  const DialogTemplate& dialogTemplate, DialogProc proc,
                                  LPARAM initParam);
void DestroyDialog(Dialog* dialog);

// Delivers a message to the procedure now, or after the procedure call in progress.
void SendDialogMessage(Dialog* dialog, unsigned message, WPARAM wParam, LPARAM lParam);

// Hides the dialog for good and ends its event loop with `result`; later messages are dropped.
void EndDialog(Dialog* dialog, int result);
// True once EndDialog() was called; its result in `result`.
bool DialogEnded(const Dialog* dialog, int* result);
