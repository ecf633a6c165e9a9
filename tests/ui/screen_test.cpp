// The dialog on screens of handheld and desktop size (the suite runs once per offscreen screen
// that the build configures): full screen up to 480 pixels wide, the template's size beyond,
// and the small tray pictures up to 240 pixels wide.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

#include "platform/window/dialog_units.h"
#include "platform/window/dialog_window.h"
#include "res/program_resources.h"
#include "res/resource_ids.h"
#include "tests/support/event_wait.h"
#include "tests/support/monitor_dialog.h"
#include "tests/support/pty_pair.h"

namespace {

TEST(ScreenSize, DialogSizeAndTrayPicturesFollowTheScreenWidth)
{
    const int width = qEnvironmentVariable("QUARNEX_TEST_SCREEN").section('x', 0, 0).toInt();
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_EQ(screen->geometry().width(), width) << "the configured screen is in use";
    MonitorDialog main;
    if (width <= 480) {
        EXPECT_TRUE(main.Window()->windowState() & Qt::WindowMaximized);
        EXPECT_TRUE(RunEventsUntil(  // the window system resizes it
            [&] { return main.Window()->frameGeometry() == screen->availableGeometry(); }));
    } else {
        const DialogRect layout = FindDialogTemplate(kProgramResources, IDD_MAIN)->rect;
        const DialogRect pixels = DialogUnitsToPixels(layout, BaseUnitsOf(main.Window()->font()));
        EXPECT_EQ(main.Window()->size(), QSize(pixels.width, pixels.height));
    }
    const bool small = width <= 240;
    EXPECT_EQ(main.TrayPicture(), small ? IDI_TRAY_IDLE_SMALL : IDI_TRAY_IDLE_LARGE);

    PtyPair input, output;
    main.Type(IDC_OUTPUT_PORT, "/dev/quarnex-no-such-port");
    main.Type(IDC_INPUT_PORT, input.Path());
    main.Click(IDC_START);
    EXPECT_EQ(main.TrayPicture(), small ? IDI_TRAY_IDLE_SMALL : IDI_TRAY_IDLE_LARGE)
        << "a failed Start keeps the idle picture";
    main.Type(IDC_OUTPUT_PORT, output.Path());
    main.Click(IDC_START);
    EXPECT_EQ(main.TrayPicture(), small ? IDI_TRAY_ACTIVE_SMALL : IDI_TRAY_ACTIVE_LARGE);
    main.Click(IDC_STOP);
    EXPECT_EQ(main.TrayPicture(), small ? IDI_TRAY_IDLE_SMALL : IDI_TRAY_IDLE_LARGE);
}

}  // namespace
