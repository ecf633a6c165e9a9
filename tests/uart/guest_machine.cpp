#include "tests/uart/guest_machine.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <string_view>

namespace {

// The adapter as -device and device_add take it: QEMU's FTDI FT232B on the xHCI controller's
// bus, whose serial line is a pseudo-terminal here.
constexpr char kAdapterId[] = "adapter";
constexpr char kAdapterDevice[] =
    R"({"driver":"usb-serial","id":"adapter","bus":"xhci.0","chardev":"adapter-line"})";

// QEMU's trace of the adapter's rate: the rate it works out from each divisor the driver writes.
constexpr char kAdapterRateTrace[] = "usb_serial_set_baud";

struct QemuEnds {
    std::string ttyS1, ttyS2, adapter;  // pseudo-terminals
    int monitorFd;
    std::string logFile;
};

// TCG: this machine's KVM hangs a guest at boot. "quiet" keeps the kernel's messages off the
// console the tests read; panic=-1 with -no-reboot turns a guest panic into QEMU's exit, which
// the next wait sees at once.
std::vector<std::string> QemuArguments(const std::string& imageDir, const QemuEnds& ends)
{
    // The machine, what it boots, its three UARTs in order (ttyS0, ttyS1, ttyS2), the adapter,
    // the monitor and the trace.
    // clang-format off
    return {"qemu-system-x86_64",
            "-accel", "tcg", "-m", "256",
            "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
            "-kernel", imageDir + "/vmlinuz",
            "-initrd", imageDir + "/initramfs.cpio.gz",
            "-append", "console=ttyS0 quiet panic=-1",
            "-chardev", "stdio,id=console,signal=off", "-serial", "chardev:console",
            "-chardev", "serial,id=ttyS1,path=" + ends.ttyS1, "-serial", "chardev:ttyS1",
            "-chardev", "serial,id=ttyS2,path=" + ends.ttyS2, "-serial", "chardev:ttyS2",
            "-device", "qemu-xhci,id=xhci",
            "-chardev", "serial,id=adapter-line,path=" + ends.adapter, "-device", kAdapterDevice,
            "-chardev", "socket,id=monitor,fd=" + std::to_string(ends.monitorFd),
            "-mon", "chardev=monitor,mode=control",
            "-D", ends.logFile, "-trace", kAdapterRateTrace};
    // clang-format on
}

}  // namespace

GuestMachine::GuestMachine(const std::string& imageDir)
{
    int monitor[2];  // ours non-blocking, QEMU's second
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, monitor) != 0)
        throw std::runtime_error("socketpair");
    const UniqueFd qemuMonitor(monitor[1]);
    fcntl(monitor[0], F_SETFL, O_NONBLOCK);
    monitor_ = std::make_unique<GuestMonitor>(UniqueFd(monitor[0]));
    // The console is QEMU's standard input, output and error. QEMU takes the monitor by its
    // number, and is killed with the test process, also when that is killed itself (ctest's
    // time-out).
    qemu_.emplace(
        QemuArguments(imageDir, {input_->Path(), output_->Path(), adapter_->Path(),
                                 qemuMonitor.get(), (logs_.Path() / "qemu.log").string()}),
        ChildSetup{.descriptors = {{qemuMonitor.get(), qemuMonitor.get()}},
                   .lineFds = {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO},
                   .diesWithTest = true});
}

PtyPair& GuestMachine::FarEnd(const std::string& guestPort)
{
    if (guestPort == kInputUart) return *input_;
    if (guestPort == kOutputUart) return *output_;
    if (guestPort == kAdapterPort) return *adapter_;
    throw std::invalid_argument("no far end for " + guestPort);
}

bool GuestMachine::UnplugAdapter()
{
    return monitor_->DeleteDevice(kAdapterId);
}

bool GuestMachine::PlugAdapter()
{
    return monitor_->AddDevice(kAdapterDevice);
}

// Trace lines read "usb_serial_set_baud dev 0:1 baud rate 14397".
long GuestMachine::AdapterLineRate() const
{
    constexpr std::string_view kRate = " baud rate ";
    std::ifstream log(logs_.Path() / "qemu.log");
    long rate = -1;
    for (std::string line; std::getline(log, line);) {
        const std::size_t at = line.find(kRate);
        if (line.find(kAdapterRateTrace) != std::string::npos && at != std::string::npos)
            rate = std::stol(line.substr(at + kRate.size()));
    }
    return rate;
}

void GuestMachine::Send(const std::string& line)
{
    // A guest that reads nothing any more fills the socket: give up rather than wait forever.
    if (hung_ || !qemu_->Tell(line)) hung_ = true;
}

std::optional<std::string> GuestMachine::WaitForLine(const std::string& prefix,
                                                     std::chrono::milliseconds timeout)
{
    const std::optional<std::string> rest = hung_ ? std::nullopt : qemu_->ReadLine(prefix, timeout);
    if (!rest) hung_ = true;
    return rest ? std::optional(prefix + *rest) : std::nullopt;
}

std::string GuestMachine::Tail() const
{
    const std::vector<std::string>& lines = Lines();
    std::string tail = "console (last lines):\n";
    for (std::size_t i = lines.size() > 30 ? lines.size() - 30 : 0; i < lines.size(); ++i)
        tail += "  " + lines[i] + "\n";
    if (hung_) tail += "(the guest missed a deadline or QEMU ended; later waits fail at once)\n";
    return tail;
}
