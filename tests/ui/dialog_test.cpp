// The main dialog as a user first meets it: texts, lists and defaults, the layout in pixels,
// what a screen reader is told, the tray icon, and hiding to the tray and coming back.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSystemTrayIcon>

#include <algorithm>
#include <string>
#include <vector>

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

// What a control is to a user: its id, or for a label or a frame its text (and which of the
// texts that appear twice it is, counted from the top).
struct Placed {
    int id;
    const char* text;
    int nthFromTop;
    QRect pixels;
};

QWidget* FindPlaced(const MonitorDialog& main, const Placed& placed)
{
    if (placed.id != IDC_STATIC) return DialogControl(main.dialog(), placed.id);
    std::vector<QWidget*> found;
    for (QWidget* child : main.Window()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const auto* label = qobject_cast<QLabel*>(child);
        const auto* frame = qobject_cast<QGroupBox*>(child);
        if ((label && label->text() == placed.text) || (frame && frame->title() == placed.text))
            found.push_back(child);
    }
    std::sort(found.begin(), found.end(), [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
    return placed.nthFromTop < static_cast<int>(found.size()) ? found[placed.nthFromTop] : nullptr;
}

// The handheld's layout in pixels for the base units of the desktop's sans-serif at 8 points
// (DejaVu Sans: 7 across, 13 down), worked out by hand from its dialog units: x and width *7/4,
// y and height *13/8, rounded half up. A list's field is as high as its font needs (22 pixels);
// the rest of its rectangle is the drop-down.
TEST(MainDialog, ControlsSitWhereTheLayoutSaysAndNoneOverlapsAnother)
{
    MonitorDialog main;
    ASSERT_EQ(QFontInfo(main.Window()->font()).family(), "DejaVu Sans");
    ASSERT_EQ(main.Window()->font().pointSize(), 8);
    EXPECT_EQ(main.Window()->size(), QSize(280, 263)) << "160 x 162 dialog units";
    const Placed layout[] = {
        {IDCANCEL, nullptr, 0, {75, 231, 128, 23}},
        {IDC_START, nullptr, 0, {33, 189, 88, 23}},
        {IDC_STOP, nullptr, 0, {156, 189, 88, 23}},
        {IDC_STATUS, nullptr, 0, {33, 213, 208, 16}},
        {IDC_INPUT_PORT, nullptr, 0, {128, 16, 84, 22}},
        {IDC_STATIC, "Port:", 0, {21, 20, 95, 13}},
        {IDC_BAUD, nullptr, 0, {128, 41, 84, 22}},
        {IDC_STATIC, "Baud Rate:", 0, {21, 44, 95, 13}},
        {IDC_SEND_GGA, nullptr, 0, {23, 130, 54, 16}},
        {IDC_SEND_VTG, nullptr, 0, {23, 148, 54, 16}},
        {IDC_SEND_GLL, nullptr, 0, {191, 130, 51, 16}},
        {IDC_SEND_GSA, nullptr, 0, {107, 148, 54, 16}},
        {IDC_SEND_GSV, nullptr, 0, {107, 130, 54, 16}},
        {IDC_SEND_RMC, nullptr, 0, {23, 166, 56, 16}},
        {IDC_SEND_MSS, nullptr, 0, {191, 148, 54, 16}},
        {IDC_STATIC, "Sende folgende Protokolle", 0, {12, 114, 249, 72}},
        {IDC_STATIC, "Eingang", 0, {14, 2, 249, 65}},
        {IDC_OUTPUT_PORT, nullptr, 0, {128, 83, 84, 22}},
        {IDC_STATIC, "Port:", 1, {30, 88, 86, 13}},
        {IDC_STATIC, "Ausgang", 0, {14, 68, 249, 44}},
    };
    std::vector<const QWidget*> placed;
    for (const Placed& control : layout) {
        SCOPED_TRACE(control.text ? control.text : std::to_string(control.id));
        const QWidget* widget = FindPlaced(main, control);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), control.pixels);
        placed.push_back(widget);
    }
    EXPECT_EQ(placed.size(),
              main.Window()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size())
        << "a control the layout does not name";

    // A frame overlaps only what it holds whole; nothing else overlaps anything.
    const auto holds = [](const QWidget* outer, const QWidget* inner) {
        return qobject_cast<const QGroupBox*>(outer) &&
               outer->geometry().contains(inner->geometry());
    };
    for (const QWidget* a : placed)
        for (const QWidget* b : placed)
            if (a < b && a->geometry().intersects(b->geometry()) && !holds(a, b) && !holds(b, a))
                ADD_FAILURE() << a->metaObject()->className() << " at " << a->x() << "," << a->y()
                              << " overlaps " << b->metaObject()->className() << " at " << b->x()
                              << "," << b->y();
}

// A screen reader names each list after the text before it on its row. (For a combo box Qt's
// accessibility on Linux gives the list's text as its name and the label through the relation,
// which AT-SPI reports as "labelled by".)
TEST(MainDialog, EachListIsLabelledByTheTextBeforeItForScreenReaders)
{
    MonitorDialog main;
    const struct {
        int id;
        const char* label;
    } lists[] = {{IDC_INPUT_PORT, "Port:"}, {IDC_BAUD, "Baud Rate:"}, {IDC_OUTPUT_PORT, "Port:"}};
    for (const auto& list : lists) {
        SCOPED_TRACE(list.id);
        QAccessibleInterface* accessible =
            QAccessible::queryAccessibleInterface(main.List(list.id));
        ASSERT_NE(accessible, nullptr);
        const auto labels = accessible->relations(QAccessible::Label);
        ASSERT_EQ(labels.size(), 1);
        EXPECT_EQ(labels[0].first->text(QAccessible::Name), list.label);
        EXPECT_LT(labels[0].first->rect().right(), accessible->rect().left())
            << "the one before it";
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
