#include "tests/support/monitor_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>

#include "platform/window/dialog_controls.h"
#include "platform/window/qt_dialog.h"
#include "relay/relay_state.h"
#include "res/program_resources.h"
#include "res/resource_ids.h"
#include "ui/main_dialog.h"
#include "ui/monitoring.h"
#include "ui/tray_icon.h"
#include "ui/win_main.h"

namespace {

Dialog* CreateMainDialog()
{
    programInstance = &kProgramResources;
    windowHidden = 0;
    ChooseTrayPictures(ScreenWidth());
    return CreateDialogIndirectParam(
        kProgramResources, *FindDialogTemplate(kProgramResources, IDD_MAIN), MainDlgProc, 0);
}

QImage ImageOf(const QIcon& icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

MonitorDialog::MonitorDialog() : dialog_(CreateMainDialog()), owned_(true) {}

MonitorDialog::MonitorDialog(Dialog* running) : dialog_(running), owned_(false) {}

MonitorDialog::~MonitorDialog()
{
    if (!owned_) return;
    boxes_.SetPolicy(BoxWatcher::kAnswerAtOnce);
    boxes_.AnswerOpenBoxes();
    if (RunIsHeld()) StopMonitoring(dialog_);
    DestroyDialog(dialog_);
    relayState.selection = SentenceSelection{};
}

Dialog* ShownMainDialog()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (Dialog* dialog = DialogOfWindow(window); dialog && window->isVisible()) return dialog;
    return nullptr;
}

QWidget* MonitorDialog::Window() const
{
    return dialog_->window;
}

QComboBox* MonitorDialog::List(int id) const
{
    return qobject_cast<QComboBox*>(DialogControl(dialog_, id));
}

QCheckBox* MonitorDialog::CheckBox(int id) const
{
    return qobject_cast<QCheckBox*>(DialogControl(dialog_, id));
}

QPushButton* MonitorDialog::Button(int id) const
{
    return qobject_cast<QPushButton*>(DialogControl(dialog_, id));
}

QLabel* MonitorDialog::Status() const
{
    return qobject_cast<QLabel*>(DialogControl(dialog_, IDC_STATUS));
}

QSystemTrayIcon* MonitorDialog::Tray() const
{
    return DialogTrayIcon(dialog_, TRAY_ICON_UID);
}

void MonitorDialog::Click(int id)
{
    QTest::mouseClick(DialogControl(dialog_, id), Qt::LeftButton);
}

void MonitorDialog::Type(int listId, const std::string& text)
{
    QComboBox* list = List(listId);
    list->lineEdit()->selectAll();
    QTest::keyClick(list->lineEdit(), Qt::Key_Delete);
    QTest::keyClicks(list->lineEdit(), QString::fromStdString(text));
}

int MonitorDialog::TrayPicture() const
{
    const QSystemTrayIcon* tray = Tray();
    if (!tray) return 0;
    const QImage shown = ImageOf(tray->icon());
    for (const int id :
         {IDI_TRAY_IDLE_SMALL, IDI_TRAY_ACTIVE_SMALL, IDI_TRAY_ACTIVE_LARGE, IDI_TRAY_IDLE_LARGE})
        if (ImageOf(LoadIcon(kProgramResources, id)->icon) == shown) return id;
    return 0;
}

bool MonitorDialog::LooksIdle() const
{
    for (const int id : kSettingControls)
        if (!DialogControl(dialog_, id)->isEnabled()) return false;
    return Status()->text() == QString::fromUtf8(kIdleStatusText) &&
           TrayPicture() == TrayIdlePicture();
}

bool MonitorDialog::LooksActive() const
{
    for (const int id : kSettingControls)
        if (DialogControl(dialog_, id)->isEnabled()) return false;
    return Status()->text() == QStringLiteral("Überwachung ist aktiv") &&
           TrayPicture() == TrayActivePicture() && Button(IDC_START)->isEnabled() &&
           Button(IDC_STOP)->isEnabled();
}

void MonitorDialog::StartWith(const std::string& input, const std::string& baud,
                              const std::string& output)
{
    Type(IDC_INPUT_PORT, input);
    Type(IDC_BAUD, baud);
    Type(IDC_OUTPUT_PORT, output);
    Click(IDC_START);
}
