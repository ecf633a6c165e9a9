// Every failure that the user must know of is shown through here, by the thread that met it:
// a box with the caption "Quarnex", no owner window and an OK button only, which holds the
// calling thread until the user dismisses it. Callable from any thread.
//
// No window code here, so relay/ and ports/ raise boxes without depending on a window system;
// platform/window installs the presenter that shows them on Qt. Until one is installed, the text
// goes to standard error. Tests install their own presenter to see every call.
#pragma once

inline constexpr char kMessageCaption[] = "Quarnex";

void ShowMessageBox(const char* text);

// Shows one box and returns once it has been dismissed; called on the failing thread.
using MessagePresenter = void (*)(const char* caption, const char* text);

// Installs `presenter` for all later boxes; nullptr restores standard error.
void SetMessagePresenter(MessagePresenter presenter);
