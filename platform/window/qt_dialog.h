// The Qt side of a dialog, shared by the window layer's files and by tests that look at the
// real widgets. Nothing outside platform/ and tests/ includes this.
//
// A Dialog owns all that a dialog keeps while it lives: its window and controls, its tray icons,
// the messages waiting for the procedure and whether it has ended. Only qt_dialog.cpp changes
// that state; the window layer's other files ask the dialog.
#pragma once

#include <deque>
#include <map>

#include "platform/window/dialog.h"
#include "platform/window/qt_icon.h"

class QSystemTrayIcon;
class QWidget;

struct Dialog {
public:
    class Window;  // the top-level window's class, which hands its events to the dialog

    explicit Dialog(DialogProc proc);
    ~Dialog();  // the tray icons first, then the window with its controls
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    QWidget* const window;  // made empty with the dialog; owns the controls

    // As SendDialogMessage(), EndDialog() and DialogEnded().
    void Send(unsigned message, WPARAM wParam, LPARAM lParam);
    void End(int result);
    bool Ended(int* result) const;
    // Runs the program's event loop until End(); at once if the dialog has ended already.
    void RunEventLoop();

    void AddControl(int id, QWidget* control) { controls_[id] = control; }
    QWidget* Control(int id) const;  // nullptr for an unknown id

    // The dialog deletes its tray icons.
    void AddTrayIcon(unsigned id, QSystemTrayIcon* trayIcon) { trayIcons_[id] = trayIcon; }
    QSystemTrayIcon* TrayIcon(unsigned id) const;  // nullptr when there is none
    void DeleteTrayIcon(unsigned id);

    // Whether the window's close button is the caption's OK (see InitShellDialog()).
    void SetCloseIsCaptionOk(bool captionOk) { closeIsCaptionOk_ = captionOk; }
    // Raises and activates the window, or does so once it is shown.
    void BringToFront();

private:
    struct PendingMessage {
        unsigned message;
        WPARAM wParam;
        LPARAM lParam;
    };

    void Call(const PendingMessage& message);
    void Shown();
    void CloseAsked();

    DialogProc proc_;
    std::map<int, QWidget*> controls_;
    std::map<unsigned, QSystemTrayIcon*> trayIcons_;
    std::deque<PendingMessage> pending_;  // arrived while the procedure ran
    int procDepth_ = 0;
    bool closeIsCaptionOk_ = false;
    bool frontWhenShown_ = false;  // raise and activate the window once it is shown
    bool runsOwnLoop_ = false;     // RunEventLoop() is running
    bool ended_ = false;
    int result_ = 0;
};

// For tests: the widgets behind a dialog.
QWidget* DialogControl(Dialog* dialog, int id);  // nullptr for an unknown id
QSystemTrayIcon* DialogTrayIcon(Dialog* dialog, unsigned id);
Dialog* DialogOfWindow(QWidget* window);  // nullptr when `window` is no dialog
