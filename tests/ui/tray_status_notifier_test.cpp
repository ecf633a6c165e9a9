// The tray icon where most desktops show it now: a StatusNotifierItem on the session bus, which
// Qt publishes instead of an X tray window when a StatusNotifierWatcher is on the bus (here a
// private bus, Debian's status-notifier-watcher and gtk-sni-tray-standalone as the host, on a
// private Xvfb). The item must be registered with the watcher, publish the tray picture the
// program carries for the run's state and the screen's size, and a click on it (the Activate
// a host calls) must bring the hidden dialog back. Leaves a screenshot of the host showing the
// icon of a running dialog.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "platform/window/resources.h"
#include "res/program_resources.h"
#include "res/resource_ids.h"
#include "tests/support/event_wait.h"
#include "tests/support/green_pixels.h"
#include "tests/support/monitor_dialog.h"
#include "tests/support/pty_pair.h"
#include "tests/support/status_notifier_client.h"

// Under AddressSanitizer: unwind the stacks of allocations through Qt, which keeps no frame
// pointers, so that LeakSanitizer can name the Qt D-Bus frame that tests/sanitizers/lsan.supp
// names. Slow, but only this test's allocations pay.
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

namespace {

constexpr int kLargeTraySize = 32;  // the tray pictures' size on screens over 240 pixels wide

// The picture the program carries as resource `id` at `size` pixels, straight from its PNG.
QImage ProgramPicture(int id, int size)
{
    for (const IconImage& image : kProgramResources.icons)
        if (image.id == id && image.size == size)
            return QImage::fromData(image.png, static_cast<int>(image.length), "PNG")
                .convertToFormat(QImage::Format_ARGB32);
    return {};
}

// Equal pictures, compared premultiplied: Qt keeps an icon's pixels premultiplied on the way to
// the bus, which may change the colour of a fully transparent pixel but never what it shows.
::testing::AssertionResult SamePicture(const QImage& published, int id)
{
    const QImage expected = ProgramPicture(id, kLargeTraySize);
    if (published.isNull())
        return ::testing::AssertionFailure()
               << "no picture of " << kLargeTraySize << " pixels published";
    if (published.convertToFormat(QImage::Format_ARGB32_Premultiplied) ==
        expected.convertToFormat(QImage::Format_ARGB32_Premultiplied))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the published picture is not resource " << id;
}

// The screen once the host's bar shows the active picture's green disc and has settled (the
// same pixels in two looks in a row, so that the picture is not one caught between two of the
// host's drawings); a null image when that did not happen within the bound. The host is another
// process: nothing in this one wakes when it has drawn, so the wait looks again every 100 ms.
QImage ScreenWithTheActivePicture()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const int barHeight = 40;
    const QRect bar(0, screen->geometry().height() - barHeight, screen->geometry().width(),
                    barHeight);
    QImage look;
    QImage settled;
    QTimer lookAgain;
    lookAgain.start(100);
    RunEventsUntil([&] {
        if (!settled.isNull()) return true;
        const QImage lastLook = look;
        look = screen->grabWindow(0).toImage();
        if (look.copy(bar) == lastLook.copy(bar) && GreenPixels(look.copy(bar)) > 100)
            settled = look;
        return !settled.isNull();
    });
    return settled;
}

void SaveScreenshot(const QImage& screen)
{
    const QString path = QStringLiteral(QUARNEX_SCREENSHOT);
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(screen.save(path));
    std::printf("screenshot of the StatusNotifierItem host: %s\n", qPrintable(path));
}

TEST(StatusNotifierTray, ItemShowsTheRunAndAClickOnItBringsTheHiddenDialogBack)
{
    const StatusNotifierClient tray;
    MonitorDialog main;
    ASSERT_TRUE(RunEventsUntil([&] { return tray.Registrations() > 0; }))
        << "no item registered with the watcher";
    const std::vector<QString> items = tray.RegisteredItems();
    ASSERT_EQ(items.size(), 1u);
    const QString item = items.front();
    EXPECT_EQ(tray.ItemProcess(item), unsigned(getpid())) << qPrintable(item);
    EXPECT_TRUE(SamePicture(tray.ItemPicture(item, kLargeTraySize), IDI_TRAY_IDLE_LARGE));

    PtyPair input, output;
    main.Type(IDC_INPUT_PORT, input.Path());
    main.Type(IDC_OUTPUT_PORT, output.Path());
    main.Click(IDC_START);
    ASSERT_TRUE(RunIsHeld());
    EXPECT_TRUE(SamePicture(tray.ItemPicture(item, kLargeTraySize), IDI_TRAY_ACTIVE_LARGE));
    const QImage screen = ScreenWithTheActivePicture();
    ASSERT_FALSE(screen.isNull()) << "the host shows the running dialog's icon";
    SaveScreenshot(screen);

    main.Window()->close();  // the window's close button, with a tray to come back from
    ASSERT_FALSE(main.Window()->isVisible());
    ASSERT_TRUE(tray.Click(item, "SecondaryActivate"));
    EXPECT_FALSE(main.Window()->isVisible()) << "a middle click leaves the dialog hidden";
    ASSERT_TRUE(tray.Click(item, "Activate"));
    EXPECT_TRUE(RunEventsUntil([&] { return main.Window()->isVisible(); }))
        << "a click on the item brings the dialog back";

    main.Click(IDC_STOP);
    EXPECT_TRUE(SamePicture(tray.ItemPicture(item, kLargeTraySize), IDI_TRAY_IDLE_LARGE));
}

}  // namespace
