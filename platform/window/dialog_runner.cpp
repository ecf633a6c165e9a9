// Runs dialogs: builds the window, feeds the dialog procedure its messages one at a time, and
// for a modal dialog runs the program's event loop until EndDialog().
#include <QApplication>
#include <QSystemTrayIcon>
#include <QWidget>

#include "platform/window/qt_dialog.h"
#include "platform/window/shutdown_signals.h"
#include "platform/window/window_message_box.h"

Dialog* CreateDialogIndirectParam(const ResourceModule& module,
                                  const DialogTemplate& dialogTemplate, DialogProc proc,
                                  LPARAM initParam)
{
    auto* dialog = new Dialog;
    dialog->module = &module;
    dialog->dialogTemplate = &dialogTemplate;
    dialog->proc = proc;
    BuildDialogWindow(dialog);
    if (const Icon* icon = LoadIcon(module, module.programIconId))
        dialog->window->setWindowIcon(icon->icon);
    SendDialogMessage(dialog, WM_INITDIALOG, 0, initParam);
    if (!dialog->ended) dialog->window->show();
    return dialog;
}

void DestroyDialog(Dialog* dialog)
{
    for (auto& [id, trayIcon] : dialog->trayIcons)
        delete trayIcon;
    delete dialog->window;
    delete dialog;
}

// A shutdown signal closes the dialog whatever is open: the boxes are answered first, since a
// box that the procedure is showing (a failed Start's) would hold the close until somebody
// pressed OK, and one the relay thread waits on would hold the Stop that the close makes.
static void CloseOnShutdownSignal(Dialog* dialog)
{
    DismissMessageBoxes();
    SendDialogMessage(dialog, WM_CLOSE, 0, 0);
}

// Quitting goes through QCoreApplication::exit(): quit() first asks every top-level window
// to close, and the tray icon's own window together with a dialog that hides instead of
// closing can make it give up and leave the loop running.
int DialogBoxIndirectParam(const ResourceModule& module, const DialogTemplate& dialogTemplate,
                           DialogProc proc, LPARAM initParam)
{
    if (!QApplication::instance()) return -1;
    Dialog* dialog = CreateDialogIndirectParam(module, dialogTemplate, proc, initParam);
    {
        const ShutdownSignals shutdownSignals([dialog] { CloseOnShutdownSignal(dialog); });
        dialog->runsOwnLoop = true;
        if (!dialog->ended) QApplication::exec();
        dialog->runsOwnLoop = false;
    }
    ResumeMessageBoxes();
    const int result = dialog->result;
    DestroyDialog(dialog);
    return result;
}

static void CallProcedure(Dialog* dialog, const PendingMessage& message)
{
    ++dialog->procDepth;
    dialog->proc(dialog, message.message, message.wParam, message.lParam);
    --dialog->procDepth;
}

void SendDialogMessage(Dialog* dialog, unsigned message, WPARAM wParam, LPARAM lParam)
{
    if (dialog->ended) return;
    if (dialog->procDepth > 0) {
        dialog->pending.push_back({message, wParam, lParam});
        return;
    }
    CallProcedure(dialog, {message, wParam, lParam});
    while (!dialog->ended && !dialog->pending.empty()) {
        const PendingMessage next = dialog->pending.front();
        dialog->pending.pop_front();
        CallProcedure(dialog, next);
    }
}

void EndDialog(Dialog* dialog, int result)
{
    dialog->ended = true;
    dialog->result = result;
    dialog->pending.clear();
    dialog->window->hide();
    if (dialog->runsOwnLoop) QCoreApplication::exit(result);
}

bool DialogEnded(const Dialog* dialog, int* result)
{
    if (dialog->ended && result) *result = dialog->result;
    return dialog->ended;
}

QWidget* DialogControl(Dialog* dialog, int id)
{
    const auto found = dialog->controls.find(id);
    return found == dialog->controls.end() ? nullptr : found->second;
}

QSystemTrayIcon* DialogTrayIcon(Dialog* dialog, unsigned id)
{
    const auto found = dialog->trayIcons.find(id);
    return found == dialog->trayIcons.end() ? nullptr : found->second;
}
