// The program's main dialog as a user meets it, built by the program's own code (resources,
// dialog procedure, window layer) but without the modal loop, so a test can look at it and click
// it between steps. Message boxes are watched (and answered at once unless told otherwise).
#pragma once

#include <string>

#include "relay/run.h"
#include "res/resource_ids.h"
#include "tests/support/box_watcher.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSystemTrayIcon;
class QWidget;
struct Dialog;

// The controls that hold a run's settings, in the dialog's order, which is also the order in
// which a run disables them at its start and enables them again at its end.
inline constexpr int kSettingControls[] = {
    IDC_INPUT_PORT, IDC_BAUD,     IDC_OUTPUT_PORT, IDC_SEND_GGA, IDC_SEND_VTG,
    IDC_SEND_RMC,   IDC_SEND_GLL, IDC_SEND_GSA,    IDC_SEND_GSV, IDC_SEND_MSS};

class MonitorDialog {
public:
    MonitorDialog();
    // The dialog that WinMain() runs, looked at without owning it.
    explicit MonitorDialog(Dialog* running);
    ~MonitorDialog();  // an own dialog: stops a run that is still held, then destroys it
    MonitorDialog(const MonitorDialog&) = delete;
    MonitorDialog& operator=(const MonitorDialog&) = delete;

    Dialog* dialog() const { return dialog_; }
    BoxWatcher& boxes() { return boxes_; }

    QWidget* Window() const;
    QComboBox* List(int id) const;
    QCheckBox* CheckBox(int id) const;
    QPushButton* Button(int id) const;
    QLabel* Status() const;
    QSystemTrayIcon* Tray() const;  // nullptr once removed

    // What the user does: a click with the mouse, replacing a list field's text by typing.
    void Click(int id);
    void Type(int listId, const std::string& text);

    // The tray picture resource (111 to 114) whose image the tray icon shows; 0 for none.
    int TrayPicture() const;
    // True when the look is idle: status text, every setting control enabled, idle picture.
    bool LooksIdle() const;
    // True when the look is a run's: its status text, every setting control disabled (Start and
    // Stop never are), the active picture.
    bool LooksActive() const;
    // Types the two ports and the baud rate into their fields and clicks Start.
    void StartWith(const std::string& input, const std::string& baud, const std::string& output);

private:
    BoxWatcher boxes_;
    Dialog* dialog_;
    bool owned_;
};

// The dialog WinMain() shows, once it is up; nullptr before.
Dialog* ShownMainDialog();
