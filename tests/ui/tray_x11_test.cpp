// The real tray icon on an X server with a tray host (a private Xvfb with trayer): embedded
// after start, its drawn picture switching with Start and Stop, the close button hiding the
// dialog to it, and a real left click on it bringing the dialog back. A missing tray host fails
// here. Also leaves a screenshot of the running dialog for the documentation, and checks that
// the dialog comes up in front, which only a real window system shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWidget>

#include "platform/window/dialog.h"
#include "res/resource_ids.h"
#include "tests/support/child_process.h"
#include "tests/support/event_wait.h"
#include "tests/support/green_pixels.h"
#include "tests/support/monitor_dialog.h"
#include "tests/support/pty_pair.h"

namespace {

// What the X server shows where the icon sits, from the screen's own pixels.
QImage DrawnIcon(const QSystemTrayIcon& tray)
{
    const QRect where = tray.geometry();
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, where.x(), where.y(), where.width(), where.height())
        .toImage();
}

// The share of the icon's pixels that are clearly green (the active picture's disc).
double GreenShare(const QImage& image)
{
    return image.isNull() ? 0 : double(GreenPixels(image)) / (image.width() * image.height());
}

bool DrawnActive(const QSystemTrayIcon& tray)
{
    return GreenShare(DrawnIcon(tray)) > 0.25;
}

void ClickWithTheMouse(const QPoint& where)
{
    ChildProcess xdotool({"xdotool", "mousemove", std::to_string(where.x()),
                          std::to_string(where.y()), "click", "1"});
    ASSERT_EQ(xdotool.Wait(std::chrono::seconds(30)), 0);
}

void SaveScreenshot(QWidget* window)
{
    const QString path = QStringLiteral(QUARNEX_SCREENSHOT);
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window->winId());
    ASSERT_TRUE(shot.save(path));
    std::printf("screenshot of the dialog: %s\n", qPrintable(path));
}

TEST(RealTray, IconShowsTheRunAndBringsTheHiddenDialogBack)
{
    MonitorDialog main;
    QSystemTrayIcon& tray = *main.Tray();
    ASSERT_TRUE(RunEventsUntil([&] {
        return QSystemTrayIcon::isSystemTrayAvailable() && tray.geometry().isValid() &&
               !DrawnIcon(tray).isNull() && GreenShare(DrawnIcon(tray)) == 0;
    })) << "no tray host embedded the icon";

    PtyPair input, output;
    main.Type(IDC_INPUT_PORT, input.Path());
    main.Type(IDC_OUTPUT_PORT, output.Path());
    main.Click(IDC_START);
    EXPECT_TRUE(RunEventsUntil([&] { return DrawnActive(tray); })) << "active picture drawn";
    ASSERT_TRUE(RunEventsUntil([&] { return main.Window()->isVisible(); }));
    SaveScreenshot(main.Window());

    main.Window()->close();  // the window's close button, with a tray to come back from
    EXPECT_FALSE(main.Window()->isVisible());
    EXPECT_FALSE(DialogEnded(main.dialog(), nullptr));
    EXPECT_TRUE(RunIsHeld()) << "hiding leaves the run going";

    ClickWithTheMouse(tray.geometry().center());
    EXPECT_TRUE(RunEventsUntil([&] { return main.Window()->isVisible(); }));

    main.Click(IDC_STOP);
    EXPECT_TRUE(RunEventsUntil([&] { return !DrawnActive(tray); })) << "idle picture drawn";
}

// The dialog asks to come to the front while it is built, before it is shown; it must still be
// the active window once shown, also when another window had the focus.
TEST(RealDisplay, TheDialogComesUpActiveOverAnotherWindow)
{
    QWidget other;
    other.setWindowTitle("another program");
    other.show();
    other.activateWindow();
    ASSERT_TRUE(RunEventsUntil([&] { return QApplication::activeWindow() == &other; }));
    MonitorDialog main;
    EXPECT_TRUE(RunEventsUntil([&] { return QApplication::activeWindow() == main.Window(); },
                               std::chrono::seconds(5)));
}

}  // namespace
