// The main dialog as a user first meets it: texts, lists and defaults, the layout in dialog
// units, the tray icon, and hiding to the tray and coming back.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSystemTrayIcon>

#include "platform/window/dialog.h"
#include "platform/window/qt_dialog.h"
#include "res/program_resources.h"
#include "res/resource_ids.h"
#include "tests/support/monitor_dialog.h"
#include "ui/tray_icon.h"

namespace {

QStringList Items(const QComboBox* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

QStringList Ports(const char* first = nullptr)
{
    QStringList ports;
    if (first) ports << first;
    for (int port = 0; port <= 9; ++port)
        ports << QStringLiteral("COM%1:").arg(port);
    return ports;
}

TEST(MainDialog, FreshStartShowsTheDefaults)
{
    MonitorDialog main;
    EXPECT_EQ(main.Window()->windowTitle(), "DuZE Quarnex");
    EXPECT_TRUE(main.Window()->isVisible());

    EXPECT_EQ(Items(main.List(IDC_INPUT_PORT)), Ports());
    EXPECT_EQ(main.List(IDC_INPUT_PORT)->currentText(), "COM1:");
    EXPECT_EQ(Items(main.List(IDC_BAUD)),
              QStringList({"300", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
                           "57600", "115200"}));
    EXPECT_EQ(main.List(IDC_BAUD)->currentText(), "4800");
    EXPECT_EQ(Items(main.List(IDC_OUTPUT_PORT)), Ports("GPSGate"));
    EXPECT_EQ(main.List(IDC_OUTPUT_PORT)->currentText(), "GPSGate");
    for (const int id : {IDC_INPUT_PORT, IDC_BAUD, IDC_OUTPUT_PORT})
        EXPECT_TRUE(main.List(id)->isEditable()) << id;

    const struct {
        int id;
        const char* label;
        bool checked;
    } boxes[] = {{IDC_SEND_GGA, "GGA", true}, {IDC_SEND_VTG, "VTG", true},
                 {IDC_SEND_RMC, "RMC", true}, {IDC_SEND_GLL, "GLL", true},
                 {IDC_SEND_GSA, "GSA", true}, {IDC_SEND_GSV, "GSV", true},
                 {IDC_SEND_MSS, "MSS", false}};
    for (const auto& box : boxes) {
        SCOPED_TRACE(box.label);
        EXPECT_EQ(main.CheckBox(box.id)->text(), box.label);
        EXPECT_EQ(main.CheckBox(box.id)->isChecked(), box.checked);
    }
    EXPECT_EQ(main.Button(IDC_START)->text(), "Start");
    EXPECT_EQ(main.Button(IDC_STOP)->text(), "Stop");
    EXPECT_EQ(main.Button(IDCANCEL)->text(), "Programm beenden");
    EXPECT_TRUE(main.LooksIdle());
    EXPECT_EQ(main.Status()->text(), "Überwachung ist nicht aktiv");

    QStringList frames;
    for (const QGroupBox* frame : main.Window()->findChildren<QGroupBox*>())
        frames << frame->title();
    frames.sort();
    EXPECT_EQ(frames, QStringList({"Ausgang", "Eingang", "Sende folgende Protokolle"}));
    ASSERT_NE(main.Tray(), nullptr);
    EXPECT_TRUE(main.Tray()->isVisible());
}

// Every control sits where its dialog units say, with base units measured here from the
// dialog's own font: the average width of the 52 letters (rounded) and the font's height.
TEST(MainDialog, LayoutFollowsTheDialogUnitsOfAnEightPointSansSerifFont)
{
    MonitorDialog main;
    const QFont font = main.Window()->font();
    EXPECT_EQ(font.pointSize(), 8);
    EXPECT_NE(QFontInfo(font).family(), "") << "a desktop sans-serif was found";
    const QFontMetrics metrics(font);
    const double average =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52.0;
    const int baseX = static_cast<int>(average + 0.5);
    const int baseY = metrics.height();
    const auto across = [&](int du) { return static_cast<int>(du * baseX / 4.0 + 0.5); };
    const auto down = [&](int du) { return static_cast<int>(du * baseY / 8.0 + 0.5); };

    const DialogTemplate& layout = *FindDialogTemplate(kProgramResources, IDD_MAIN);
    for (const ControlTemplate& control : layout.controls) {
        if (control.id == IDC_STATIC) continue;
        SCOPED_TRACE(control.id);
        const QRect geometry = DialogControl(main.dialog(), control.id)->geometry();
        EXPECT_EQ(geometry.x(), across(control.rect.x));
        EXPECT_EQ(geometry.y(), down(control.rect.y));
        EXPECT_EQ(geometry.width(), across(control.rect.width));
        if (control.kind != ControlKind::kComboBox) {  // a list's height includes its drop-down
            EXPECT_EQ(geometry.height(), down(control.rect.height));
        }
    }
}

// The caption's OK hides the dialog to the tray; a tap on the icon (the left button going
// down) brings it back; releasing, other buttons and other icons do nothing.
TEST(MainDialog, CaptionOkHidesAndATapOnTheTrayIconShows)
{
    MonitorDialog main;
    const auto captionOk = [&] {
        SendDialogMessage(main.dialog(), WM_COMMAND, MakeCommand(IDOK, BN_CLICKED), 0);
    };
    const auto trayEvent = [&](unsigned id, LPARAM mouse) {
        SendDialogMessage(main.dialog(), WM_TRAY_NOTIFY, id, mouse);
    };
    captionOk();
    EXPECT_FALSE(main.Window()->isVisible());
    captionOk();
    EXPECT_FALSE(main.Window()->isVisible()) << "a second OK changes nothing";

    const struct {
        const char* legend;
        unsigned id;
        LPARAM mouse;
    } ignored[] = {{"pen lifted", TRAY_ICON_UID, 0x0202},
                   {"right button", TRAY_ICON_UID, WM_RBUTTONDOWN},
                   {"another icon", TRAY_ICON_UID + 1, WM_LBUTTONDOWN}};
    for (const auto& event : ignored) {
        trayEvent(event.id, event.mouse);
        EXPECT_FALSE(main.Window()->isVisible()) << event.legend;
    }
    emit main.Tray()->activated(QSystemTrayIcon::Trigger);  // as Qt reports a left click
    EXPECT_TRUE(main.Window()->isVisible());

    // A tap on the shown dialog raises it and leaves it shown, and OK still hides it then.
    trayEvent(TRAY_ICON_UID, WM_LBUTTONDOWN);
    EXPECT_TRUE(main.Window()->isVisible());
    captionOk();
    EXPECT_FALSE(main.Window()->isVisible());
    EXPECT_EQ(windowHidden, 1);
}

// Without a tray to come back from, the window's close button must not hide the window for
// good: it ends the program like "Programm beenden", and the icon goes with it.
TEST(MainDialog, CloseButtonWithoutATrayEndsTheDialogWithOne)
{
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    MonitorDialog main;
    main.Window()->close();
    int result = 0;
    EXPECT_TRUE(DialogEnded(main.dialog(), &result));
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(main.Window()->isVisible());
    EXPECT_EQ(main.Tray(), nullptr);
}

// The idle and active pictures must tell the two states apart at a glance.
TEST(TrayPictures, IdleAndActiveDifferInMostPixels)
{
    const struct {
        int idle;
        int active;
        int size;
    } pairs[] = {{IDI_TRAY_IDLE_SMALL, IDI_TRAY_ACTIVE_SMALL, 16},
                 {IDI_TRAY_IDLE_LARGE, IDI_TRAY_ACTIVE_LARGE, 32}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair.size);
        const QImage idle =
            LoadIcon(kProgramResources, pair.idle)->icon.pixmap(pair.size).toImage();
        const QImage active =
            LoadIcon(kProgramResources, pair.active)->icon.pixmap(pair.size).toImage();
        ASSERT_EQ(idle.size(), QSize(pair.size, pair.size));
        ASSERT_EQ(active.size(), idle.size());
        int different = 0;
        for (int y = 0; y < pair.size; ++y)
            for (int x = 0; x < pair.size; ++x)
                different += idle.pixelColor(x, y) != active.pixelColor(x, y);
        EXPECT_GT(different, pair.size * pair.size / 2);
    }
    EXPECT_NE(LoadIcon(kProgramResources, IDI_APP), nullptr);
}

}  // namespace
