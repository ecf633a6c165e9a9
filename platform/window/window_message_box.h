// Message boxes as windows. A box raised on the GUI thread is application-modal: the dialogs
// take no input until it is answered. A box raised on another thread is handed to the GUI
// thread and shown there without blocking the dialogs, while the raising thread sleeps until
// the user presses OK (as a box of the handheld's that has no owner window).
//
// An ending program must not be held by a box nobody will answer: DismissMessageBoxes() answers
// them all, and every box asked for after it returns at once (its text on standard error).
#pragma once

// Needs the QApplication; call on the GUI thread.
void InstallWindowMessagePresenter();
// Back to standard error; no box may still be waiting.
void RemoveWindowMessagePresenter();

// Closes every box window that is open and answers every box another thread waits on; until
// ResumeMessageBoxes(), later boxes are answered at once. GUI thread.
void DismissMessageBoxes();
// The same without touching a window, for the end of the process, when the window system may
// already be gone: the threads waiting on boxes are let go, and later boxes answered at once.
// Any thread.
void ReleaseMessageBoxWaiters();
// Boxes are shown again.
void ResumeMessageBoxes();
