// Runs dialogs: makes the dialog and builds its window, sends WM_INITDIALOG, and for a modal
// dialog runs the program's event loop until EndDialog().
#include <QApplication>
#include <QWidget>

#include "platform/window/dialog_window.h"
#include "platform/window/qt_dialog.h"
#include "platform/window/shutdown_signals.h"
#include "platform/window/window_message_box.h"

Dialog* CreateDialogIndirectParam(const ResourceModule& module,
                                  const DialogTemplate& dialogTemplate, DialogProc proc,
                                  LPARAM initParam)
{
    auto* dialog = new Dialog(proc);
    BuildDialogWindow(dialog, dialogTemplate);
    if (const Icon* icon = LoadIcon(module, module.programIconId))
        dialog->window->setWindowIcon(icon->icon);
    dialog->Send(WM_INITDIALOG, 0, initParam);
    if (!dialog->Ended(nullptr)) dialog->window->show();
    return dialog;
}

void DestroyDialog(Dialog* dialog)
{
    delete dialog;
}

// A shutdown signal closes the dialog whatever is open: the boxes are answered first, since a
// box that the procedure is showing (a failed Start's) would hold the close until somebody
// pressed OK, and one the relay thread waits on would hold the Stop that the close makes.
static void CloseOnShutdownSignal(Dialog* dialog)
{
    DismissMessageBoxes();
    dialog->Send(WM_CLOSE, 0, 0);
}

int DialogBoxIndirectParam(const ResourceModule& module, const DialogTemplate& dialogTemplate,
                           DialogProc proc, LPARAM initParam)
{
    if (!QApplication::instance()) return -1;
    Dialog* dialog = CreateDialogIndirectParam(module, dialogTemplate, proc, initParam);
    {
        const ShutdownSignals shutdownSignals([dialog] { CloseOnShutdownSignal(dialog); });
        dialog->RunEventLoop();
    }
    ResumeMessageBoxes();
    int result = 0;
    dialog->Ended(&result);
    DestroyDialog(dialog);
    return result;
}
