// The tray icon: one icon whose picture shows whether monitoring is active, and the hiding of
// the dialog to the tray (the caption's OK) and its return (a tap on the icon).
#pragma once

#include "platform/window/dialog.h"
#include "platform/window/shell.h"

inline constexpr unsigned TRAY_ICON_UID = 6000;
inline constexpr unsigned WM_TRAY_NOTIFY = 5025;  // tray events for the main dialog

// 1 while the dialog is hidden to the tray.
extern int windowHidden;

// Small screens (240 pixels wide or less) get the 16x16 pictures, others the 32x32 ones.
inline constexpr int kSmallScreenWidth = 240;
void ChooseTrayPictures(int screenWidth);
int TrayIdlePicture();
int TrayActivePicture();

// The tray icon of `dialog` with the picture of resource `pictureId`.
void UpdateTrayIcon(Dialog* dialog, NotifyIconAction action, unsigned identifier, int pictureId);

// The caption's OK: hides a shown dialog. Always handled.
bool HideToTray(Dialog* dialog);

// A tray event: a tap (left button down) on the icon shows the hidden dialog, or raises a
// shown one; every other event is ignored.
void HandleTrayNotify(Dialog* dialog, WPARAM wParam, LPARAM lParam);
