// Start and Stop as a user presses them, with real pseudo-terminals as the ports: what reaches
// the output, the look of the dialog in each state, the check boxes, the fields as they are
// read, and every failed start's message. How a run ends is in run_end_test.cpp.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <fstream>
#include <random>

#include "platform/io/fd_io.h"
#include "platform/io/unique_fd.h"
#include "platform/messages/message_box.h"
#include "platform/window/dialog.h"
#include "platform/window/qt_dialog.h"
#include "relay/relay_state.h"
#include "relay/relay_thread.h"
#include "res/resource_ids.h"
#include "tests/support/event_wait.h"
#include "tests/support/far_end_settings.h"
#include "tests/support/held_resources.h"
#include "tests/support/monitor_dialog.h"
#include "tests/support/pty_pair.h"
#include "tests/support/relay_model.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/scratch.h"
#include "ui/monitoring.h"
#include "ui/tray_icon.h"

using namespace std::chrono_literals;

namespace {

// Records, in order, which controls were enabled or disabled.
class EnableLog : public QObject {
public:
    explicit EnableLog(MonitorDialog& main)
    {
        for (const int id : kSettingControls) {
            QWidget* control = DialogControl(main.dialog(), id);
            control->setProperty("logId", id);
            control->installEventFilter(this);
        }
    }
    std::vector<int> Take() { return std::exchange(ids_, {}); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange)
            ids_.push_back(watched->property("logId").toInt());
        return false;
    }

private:
    std::vector<int> ids_;
};

unsigned long FarEndBaud(const PtyPair& pty)
{
    FarEndSettings settings{};
    return ReadFarEndSettings(pty.Master(), settings) ? settings.outputBaud : 0;
}

TEST(Monitoring, StartRelaysWithTheDialogsSettingsAndStopRestoresTheIdleLook)
{
    PtyPair input, output;
    MonitorDialog main;
    EnableLog enables(main);
    const std::vector<int> inDialogOrder(std::begin(kSettingControls), std::end(kSettingControls));
    main.Click(IDC_SEND_GSV);  // off
    main.Click(IDC_SEND_MSS);  // on
    main.StartWith(input.Path(), "9600", output.Path());
    EXPECT_TRUE(main.boxes().Seen().empty());
    EXPECT_TRUE(main.LooksActive());
    EXPECT_EQ(enables.Take(), inDialogOrder);
    EXPECT_EQ(FarEndBaud(input), 9600u);
    EXPECT_EQ(FarEndBaud(output), 9600u) << "both ports run at the one rate";

    // Hidden to the tray, the run goes on and the icon keeps its active picture.
    SendDialogMessage(main.dialog(), WM_COMMAND, MakeCommand(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(main.Window()->isVisible());
    SentenceSelection chosen;
    chosen.gsv = 0;
    chosen.mss = 1;
    const std::string capture = ReadCapture("nl551e.log");
    const std::string expected = ExpectedRelayOutput(capture, chosen);
    std::mt19937 random(std::random_device{}());
    input.WriteInRandomChunks(capture, random);
    EXPECT_TRUE(output.ReadBytes(expected.size(), 20s) == expected);
    EXPECT_EQ(main.TrayPicture(), TrayActivePicture());

    main.Click(IDC_STOP);
    EXPECT_TRUE(main.LooksIdle());
    EXPECT_EQ(enables.Take(), inDialogOrder);
    EXPECT_FALSE(RunIsHeld());
    EXPECT_TRUE(input.ProgramEndClosed() && output.ProgramEndClosed()) << "both ports were closed";
    EXPECT_TRUE(main.boxes().Seen().empty());
}

// The check box with this text, found as a user finds it.
QCheckBox* CheckBoxLabelled(MonitorDialog& main, const QString& text)
{
    for (QCheckBox* box : main.Window()->findChildren<QCheckBox*>())
        if (box->text() == text) return box;
    return nullptr;
}

// Each check box shows and sets its own flag. A selection with one flag turned from its initial
// value shows exactly that box turned; Start reads the boxes into the flags (also when it then
// fails, here at the missing input port), so the box turned back gives the initial selection.
TEST(Monitoring, EachCheckBoxShowsAndSetsItsOwnFlag)
{
    const struct {
        const char* label;
        SentenceSelection turned;
    } rows[] = {{"GGA", {.gga = 0}}, {"VTG", {.vtg = 0}}, {"RMC", {.rmc = 0}}, {"GLL", {.gll = 0}},
                {"GSA", {.gsa = 0}}, {"GSV", {.gsv = 0}}, {"MSS", {.mss = 1}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        relayState.selection = row.turned;
        MonitorDialog main;
        for (const QCheckBox* box : main.Window()->findChildren<QCheckBox*>()) {
            const bool initiallyChecked = box->text() != "MSS";
            EXPECT_EQ(box->isChecked(), initiallyChecked != (box->text() == row.label))
                << box->text().toStdString();
        }
        main.StartWith("/dev/quarnex-no-such-port", "4800", "/dev/quarnex-no-such-port");
        EXPECT_TRUE(relayState.selection == row.turned) << "read as shown";
        QCheckBox* box = CheckBoxLabelled(main, row.label);
        ASSERT_NE(box, nullptr);
        QTest::mouseClick(box, Qt::LeftButton);
        main.Click(IDC_START);
        EXPECT_TRUE(relayState.selection == SentenceSelection{}) << "the box turned back";
    }
}

// A name longer than the 63 characters that are read, of which neither the whole nor the cut
// names a device.
const char* LongMissingName()
{
    static const std::string name = "/dev/" + std::string(80, 'q');
    return name.c_str();
}

// Holds `path` as another program holding the port does: an exclusive lock on an open file
// description of its own.
int HoldLikeAnotherProgram(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct FailedStart {
    const char* legend;
    // "IN" and "OUT" stand for the two pseudo-terminals, "HELD" for a third one that another
    // program holds, "FILE" for a regular file.
    const char* input;
    const char* baud;
    const char* output;
    const char* message;
};

// Every failing step shows its own message once, in a box that blocks the dialog until OK,
// and leaves the system idle as before: nothing held, the input port closed again, no
// descriptor or thread more than before.
TEST(Monitoring, EachFailedStartShowsItsMessageAndKeepsTheIdleLook)
{
    const FailedStart rows[] = {
        {"input port missing", "/dev/quarnex-no-such-port", "4800", "OUT",
         "Unable to open the port!"},
        {"output port missing", "IN", "4800", "/dev/quarnex-no-such-port",
         "Unable to open the port!"},
        {"input is a regular file", "FILE", "4800", "OUT", "Unable to open the port!"},
        {"output is a directory", "IN", "4800", "/tmp", "Unable to open the port!"},
        {"input name of 63 characters and more naming nothing", LongMissingName(), "4800", "OUT",
         "Unable to open the port!"},
        {"input held by another program", "HELD", "4800", "OUT", "Unable to open the port!"},
        {"output held by another program", "IN", "4800", "HELD", "Unable to open the port!"},
        {"one port for input and output", "IN", "4800", "IN", "Unable to open the port!"},
        {"output in another case than the channel's name", "IN", "4800", "gpsgate",
         "Unable to open the port!"},
        {"empty baud field", "IN", "", "OUT", "Unable to configure the serial port!"},
        {"baud text without digits", "IN", "abc", "OUT", "Unable to configure the serial port!"},
        {"negative baud", "IN", "-4800", "OUT", "Unable to configure the serial port!"},
        {"zero baud", "IN", "0", "OUT", "Unable to configure the serial port!"},
        {"baud beyond the 32-bit range", "IN", "99999999999", "OUT",
         "Unable to configure the serial port!"},
        {"baud that a 32-bit cut would turn into 4800", "IN", "4294972096", "OUT",
         "Unable to configure the serial port!"},
    };
    const ScratchDirectory scratch;
    const std::string regularFile = (scratch.Path() / "capture.log").string();
    ASSERT_TRUE(std::ofstream(regularFile).is_open());
    for (const FailedStart& row : rows) {
        SCOPED_TRACE(row.legend);
        PtyPair input, output, held;
        const UniqueFd heldElsewhere(HoldLikeAnotherProgram(held.Path()));
        ASSERT_TRUE(heldElsewhere);
        const auto port = [&](const std::string& name) {
            return name == "IN"     ? input.Path()
                   : name == "OUT"  ? output.Path()
                   : name == "HELD" ? held.Path()
                   : name == "FILE" ? regularFile
                                    : name;
        };
        MonitorDialog main;
        const int descriptors = OpenDescriptorCount();
        const int threads = ThreadCount();
        main.StartWith(port(row.input), row.baud, port(row.output));
        ASSERT_EQ(main.boxes().Seen().size(), 1u);
        const SeenBox& box = main.boxes().Seen()[0];
        EXPECT_EQ(box.caption, "Quarnex");
        EXPECT_EQ(box.text, row.message);
        EXPECT_TRUE(box.okButtonOnly);
        EXPECT_TRUE(box.blocksOtherWindows);
        EXPECT_TRUE(main.LooksIdle());
        EXPECT_FALSE(RunIsHeld());
        EXPECT_EQ(OpenDescriptorCount(), descriptors);
        EXPECT_EQ(ThreadCount(), threads);
        if (std::string(row.input) == "IN") {
            EXPECT_TRUE(input.ProgramEndClosed());
        }
    }
}

TEST(Monitoring, ASecondStartWithACorrectedOutputSucceeds)
{
    PtyPair input, output;
    MonitorDialog main;
    main.StartWith(input.Path(), "4800", "/dev/quarnex-no-such-port");
    ASSERT_EQ(main.boxes().Texts(), std::vector<QString>{"Unable to open the port!"});
    main.Type(IDC_OUTPUT_PORT, output.Path());
    main.Click(IDC_START);
    EXPECT_EQ(main.boxes().Seen().size(), 1u);
    EXPECT_TRUE(main.LooksActive());
    input.Write(kTwoSentences);
    EXPECT_EQ(output.ReadBytes(kGga.size() + kRmc.size(), 10s), kGga + kRmc);
}

// The baud field is read like wcstol: blanks, a sign and trailing text are allowed.
TEST(Monitoring, BaudTextIsReadUpToTheFirstNonDigit)
{
    const struct {
        const char* text;
        unsigned long baud;
    } rows[] = {{" 9600", 9600}, {"+19200 baud", 19200}, {" 4800x", 4800}, {"4800", 4800}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        PtyPair input, output;
        MonitorDialog main;
        main.StartWith(input.Path(), row.text, output.Path());
        EXPECT_TRUE(main.boxes().Seen().empty());
        EXPECT_EQ(FarEndBaud(input), row.baud);
        EXPECT_EQ(FarEndBaud(output), row.baud);
    }
}

// A port field is read as its first 63 characters: a name of exactly that length works even
// when more was typed behind it.
TEST(Monitoring, PortNamesAreReadAsTheirFirst63Characters)
{
    PtyPair input, output;
    const ScratchDirectory folder("quarnex-ui");
    std::string link = folder.Path().string() + "/";
    link += std::string(63 - link.size(), 'p');
    ASSERT_EQ(symlink(input.Path().c_str(), link.c_str()), 0);
    MonitorDialog main;
    main.StartWith(link + "-and-more", "4800", output.Path());
    EXPECT_TRUE(main.boxes().Seen().empty());
    EXPECT_TRUE(RunIsHeld());
    main.Click(IDC_STOP);
}

// Start during a run is ignored: no message, and the running relay keeps its ports, its
// selection and its thread.
TEST(Monitoring, StartDuringARunChangesNothingOfIt)
{
    PtyPair input, output;
    MonitorDialog main;
    main.StartWith(input.Path(), "4800", output.Path());
    const int inputPort = relayState.inputPort;
    const int outputPort = relayState.outputPort;
    const int ended = RelayEndedDescriptor();
    main.Click(IDC_START);
    EXPECT_TRUE(main.boxes().Seen().empty());
    EXPECT_EQ(relayState.inputPort, inputPort);
    EXPECT_EQ(relayState.outputPort, outputPort);
    EXPECT_EQ(RelayEndedDescriptor(), ended);
    EXPECT_TRUE(main.LooksActive());
    input.Write(kTwoSentences);
    EXPECT_EQ(output.ReadBytes(kGga.size() + kRmc.size(), 10s), kGga + kRmc);
}

}  // namespace
