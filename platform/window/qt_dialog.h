// The Qt side of a dialog, shared by the window layer's files and by tests that look at the
// real widgets. Nothing outside platform/ and tests/ includes this.
#pragma once

#include <QFont>

#include <deque>
#include <map>

#include "platform/window/dialog.h"
#include "platform/window/dialog_units.h"
#include "platform/window/qt_icon.h"

class QSystemTrayIcon;
class QWidget;

struct PendingMessage {
    unsigned message;
    WPARAM wParam;
    LPARAM lParam;
};

struct Dialog {
    const ResourceModule* module = nullptr;
    const DialogTemplate* dialogTemplate = nullptr;
    DialogProc proc = nullptr;
    QWidget* window = nullptr;  // owns the controls
    std::map<int, QWidget*> controls;
    std::map<unsigned, QSystemTrayIcon*> trayIcons;
    std::deque<PendingMessage> pending;  // arrived while the procedure ran
    int procDepth = 0;
    bool closeIsCaptionOk = false;  // SHIDIF_DONEBUTTON
    bool frontWhenShown = false;    // raise and activate the window once it is shown
    bool runsOwnLoop = false;       // DialogBoxIndirectParam's event loop is running
    bool ended = false;
    int result = 0;
};

// The font a template asks for, as the desktop has it.
QFont DialogFont(const DialogTemplate& dialogTemplate);
DialogBaseUnits BaseUnitsOf(const QFont& font);

// Builds the top-level window and its controls into `dialog`.
void BuildDialogWindow(Dialog* dialog);

// For tests: the widgets behind a dialog.
QWidget* DialogControl(Dialog* dialog, int id);  // nullptr for an unknown id
QSystemTrayIcon* DialogTrayIcon(Dialog* dialog, unsigned id);
Dialog* DialogOfWindow(QWidget* window);  // nullptr when `window` is no dialog
