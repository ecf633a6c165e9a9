// The program in a process of its own with a scripted user, for the tests that end that process
// from outside (a signal, the display going away). It runs WinMain() as the program's main()
// does; the user types the ports and the rate given as arguments, presses Start, leaves every
// message box open and reports, one line each on standard output, what a user would see:
//   starting        Start is pressed next
//   box: TEXT       a message box appeared
//   status: TEXT    Start has returned and the status line reads TEXT
//   stopping        Stop is pressed next (told so by the line "stop" on standard input)
// Usage: scripted_quarnex INPUT BAUD OUTPUT
#include <unistd.h>

#include <QLabel>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>
#include <string>

#include "platform/window/application_run.h"
#include "platform/window/program_entry.h"
#include "res/resource_ids.h"
#include "tests/support/event_wait.h"
#include "tests/support/monitor_dialog.h"

namespace {

void Report(const QString& line)
{
    const QByteArray bytes = (line + '\n').toUtf8();
    [[maybe_unused]] const ssize_t ignored = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
}

struct Script {
    std::string input;
    std::string baud;
    std::string output;
};

void PressStart(std::unique_ptr<MonitorDialog>& user, const Script& script)
{
    if (!RunEventsUntil([] { return ShownMainDialog() != nullptr; })) return Report("no dialog");
    user = std::make_unique<MonitorDialog>(ShownMainDialog());
    user->boxes().SetPolicy(BoxWatcher::kHoldBoxes);
    user->boxes().OnShown([](const SeenBox& box) { Report("box: " + box.text); });
    user->Type(IDC_INPUT_PORT, script.input);
    user->Type(IDC_BAUD, script.baud);
    user->Type(IDC_OUTPUT_PORT, script.output);
    Report("starting");
    user->Click(IDC_START);
    Report("status: " + user->Status()->text());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) return 2;
    const Script script{argv[1], argv[2], argv[3]};
    return RunInApplication(argc, argv, [&script] {
        std::unique_ptr<MonitorDialog> user;
        QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(&commands, &QSocketNotifier::activated, [&] {
            char line[64] = {};
            if (::read(STDIN_FILENO, line, sizeof line - 1) <= 0) return commands.setEnabled(false);
            if (std::string(line) != "stop\n" || !user) return;
            Report("stopping");
            user->Click(IDC_STOP);
        });
        QTimer::singleShot(0, [&] { PressStart(user, script); });
        return WinMain();
    });
}
