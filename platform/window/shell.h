// The handheld shell's services for a dialog, mapped onto a Linux desktop.
//
// InitShellDialog():
//  - SHIDIF_SIZEDLGFULLSCREEN: the dialog is maximized, filling the screen's free area, where
//    the screen is handheld-sized (480 pixels wide or less); on a desktop it keeps the
//    template's size.
//  - SHIDIF_DONEBUTTON: the window's close button is the caption's OK (WM_COMMAND IDOK, hide
//    to the tray) while a tray shows the dialog's icon; without a tray it sends WM_CLOSE, so the
//    window cannot be lost.
//  - SHIDIF_SIPDOWN: there is no input panel to lower.
//
// ShellNotifyIcon() keeps icons in the desktop's system tray; a click on one reaches the dialog
// as `callbackMessage` with wParam = the icon's id and lParam = the mouse message.
#pragma once

struct Dialog;
struct Icon;

inline constexpr unsigned SHIDIF_DONEBUTTON = 0x1;
inline constexpr unsigned SHIDIF_SIZEDLGFULLSCREEN = 0x4;
inline constexpr unsigned SHIDIF_SIPDOWN = 0x8;

// Screens up to this width are handheld-sized.
inline constexpr int kHandheldScreenWidth = 480;

void InitShellDialog(Dialog* dialog, unsigned flags);

enum class NotifyIconAction { kAdd, kModify, kDelete };

struct NotifyIconData {
    Dialog* dialog;
    unsigned id;
    unsigned callbackMessage;
    const Icon* icon;
};

// 1 on success, 0 when there is no such icon (modify, delete) or it exists already (add).
int ShellNotifyIcon(NotifyIconAction action, const NotifyIconData& data);

// The program's name, version and desktop entry (its file name without ".desktop") as the
// desktop sees them.
void SetApplicationIdentity(const char* name, const char* version, const char* desktopEntry);
