#include "platform/window/qt_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QShowEvent>
#include <QSystemTrayIcon>
#include <QWidget>

class Dialog::Window : public QWidget {
public:
    explicit Window(Dialog* dialog) : dialog_(dialog) {}
    Dialog* dialog() const { return dialog_; }

protected:
    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        dialog_->Shown();
    }

    // Closing is the procedure's decision: it hides the window (caption OK) or ends the dialog.
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        dialog_->CloseAsked();
    }

private:
    Dialog* dialog_;
};

Dialog::Dialog(DialogProc proc) : window(new Window(this)), proc_(proc) {}

Dialog::~Dialog()
{
    for (auto& [id, trayIcon] : trayIcons_)
        delete trayIcon;
    delete window;
}

void Dialog::Call(const PendingMessage& message)
{
    ++procDepth_;
    proc_(this, message.message, message.wParam, message.lParam);
    --procDepth_;
}

void Dialog::Send(unsigned message, WPARAM wParam, LPARAM lParam)
{
    if (ended_) return;
    if (procDepth_ > 0) {
        pending_.push_back({message, wParam, lParam});
        return;
    }
    Call({message, wParam, lParam});
    while (!ended_ && !pending_.empty()) {
        const PendingMessage next = pending_.front();
        pending_.pop_front();
        Call(next);
    }
}

// Quitting goes through QCoreApplication::exit(): quit() first asks every top-level window
// to close, and the tray icon's own window together with a dialog that hides instead of
// closing can make it give up and leave the loop running.
void Dialog::End(int result)
{
    ended_ = true;
    result_ = result;
    pending_.clear();
    window->hide();
    if (runsOwnLoop_) QCoreApplication::exit(result);
}

bool Dialog::Ended(int* result) const
{
    if (ended_ && result) *result = result_;
    return ended_;
}

void Dialog::RunEventLoop()
{
    runsOwnLoop_ = true;
    if (!ended_) QApplication::exec();
    runsOwnLoop_ = false;
}

QWidget* Dialog::Control(int id) const
{
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

QSystemTrayIcon* Dialog::TrayIcon(unsigned id) const
{
    const auto found = trayIcons_.find(id);
    return found == trayIcons_.end() ? nullptr : found->second;
}

void Dialog::DeleteTrayIcon(unsigned id)
{
    const auto found = trayIcons_.find(id);
    if (found == trayIcons_.end()) return;
    found->second->hide();
    delete found->second;
    trayIcons_.erase(found);
}

void Dialog::CloseAsked()
{
    const bool trayShowsDialog = !trayIcons_.empty() && QSystemTrayIcon::isSystemTrayAvailable();
    if (closeIsCaptionOk_ && trayShowsDialog)
        Send(WM_COMMAND, MakeCommand(IDOK, BN_CLICKED), 0);
    else
        Send(WM_CLOSE, 0, 0);
}

// A window that is not shown yet cannot be raised or activated (the procedure asks for it while
// it initialises the dialog): that waits until the window is shown.
void Dialog::BringToFront()
{
    if (!window->isVisible()) {
        frontWhenShown_ = true;
        return;
    }
    window->raise();
    window->activateWindow();
}

void Dialog::Shown()
{
    if (!frontWhenShown_) return;
    frontWhenShown_ = false;
    window->raise();
    window->activateWindow();  // the window system activates it once it is mapped
}

void SendDialogMessage(Dialog* dialog, unsigned message, WPARAM wParam, LPARAM lParam)
{
    dialog->Send(message, wParam, lParam);
}

void EndDialog(Dialog* dialog, int result)
{
    dialog->End(result);
}

bool DialogEnded(const Dialog* dialog, int* result)
{
    return dialog->Ended(result);
}

QWidget* DialogControl(Dialog* dialog, int id)
{
    return dialog->Control(id);
}

QSystemTrayIcon* DialogTrayIcon(Dialog* dialog, unsigned id)
{
    return dialog->TrayIcon(id);
}

Dialog* DialogOfWindow(QWidget* window)
{
    auto* dialogWindow = dynamic_cast<Dialog::Window*>(window);
    return dialogWindow ? dialogWindow->dialog() : nullptr;
}
