#include "platform/window/shell.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWidget>

#include "platform/window/qt_dialog.h"

void InitShellDialog(Dialog* dialog, unsigned flags)
{
    dialog->SetCloseIsCaptionOk((flags & SHIDIF_DONEBUTTON) != 0);
    const QScreen* screen = QGuiApplication::primaryScreen();
    if ((flags & SHIDIF_SIZEDLGFULLSCREEN) && screen &&
        screen->geometry().width() <= kHandheldScreenWidth)
        dialog->window->setWindowState(dialog->window->windowState() | Qt::WindowMaximized);
}

namespace {

LPARAM MouseMessageOf(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return WM_LBUTTONDOWN;  // Qt reports the press of the left button
        case QSystemTrayIcon::DoubleClick:
            return WM_LBUTTONDBLCLK;
        case QSystemTrayIcon::Context:
            return WM_RBUTTONDOWN;
        case QSystemTrayIcon::MiddleClick:
            return WM_MBUTTONDOWN;
        default:
            return 0;
    }
}

QSystemTrayIcon* AddIcon(const NotifyIconData& data)
{
    auto* trayIcon = new QSystemTrayIcon(data.icon ? data.icon->icon : QIcon());
    Dialog* dialog = data.dialog;
    const unsigned id = data.id;
    const unsigned message = data.callbackMessage;
    QObject::connect(trayIcon, &QSystemTrayIcon::activated,
                     [dialog, id, message](QSystemTrayIcon::ActivationReason reason) {
                         if (const LPARAM mouse = MouseMessageOf(reason))
                             dialog->Send(message, id, mouse);
                     });
    trayIcon->show();
    return trayIcon;
}

}  // namespace

int ShellNotifyIcon(NotifyIconAction action, const NotifyIconData& data)
{
    QSystemTrayIcon* trayIcon = data.dialog->TrayIcon(data.id);
    switch (action) {
        case NotifyIconAction::kAdd:
            if (trayIcon) return 0;
            data.dialog->AddTrayIcon(data.id, AddIcon(data));
            return 1;
        case NotifyIconAction::kModify:
            if (!trayIcon) return 0;
            trayIcon->setIcon(data.icon ? data.icon->icon : QIcon());
            return 1;
        case NotifyIconAction::kDelete:
            if (!trayIcon) return 0;
            data.dialog->DeleteTrayIcon(data.id);
            return 1;
    }
    return 0;
}

void SetApplicationIdentity(const char* name, const char* version, const char* desktopEntry)
{
    QCoreApplication::setApplicationName(QString::fromUtf8(name));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(version));
    QGuiApplication::setDesktopFileName(QString::fromUtf8(desktopEntry));
}
