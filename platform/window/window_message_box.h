// Message boxes as windows. A box raised on the GUI thread is application-modal: the dialogs
// take no input until it is answered. A box raised on another thread is handed to the GUI
// thread and shown there without blocking the dialogs, while the raising thread sleeps until
// the user presses OK (as a box of the handheld's that has no owner window).
#pragma once

// Needs the QApplication; call on the GUI thread.
void InstallWindowMessagePresenter();
// Back to standard error; no box may still be waiting.
void RemoveWindowMessagePresenter();
