#include "relay/relay_thread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

#include "platform/gpsd/gate_api_simple.h"
#include "platform/io/fd_io.h"
#include "platform/io/unique_fd.h"
#include "platform/messages/message_box.h"
#include "relay/forward_sentence.h"
#include "relay/relay_state.h"
#include "relay/sentence_framer.h"

namespace {

void Signal(int eventFd)
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(eventFd, &one, sizeof one);
}

// A receiver that is unplugged or hangs up ends the run like a failed write: one message, and
// the loop stops instead of spinning on a descriptor that stays readable forever. The GPS
// service's input goes at once: nobody would serve it while the box waits and until Stop.
void ReportReadFailure()
{
    if (relayState.gateChannel) relayState.gateChannel->Withdraw();
    if (!relayState.stopRequested.load()) ShowMessageBox(kReadErrorText);
    relayState.stopRequested.store(true);
}

enum class ReadResult { kDrained, kHungUp };

// Reads while data keeps coming. A tty read returns 0 both for "nothing yet" and after a
// hang-up; right after poll() reported input, 0 can only mean the latter.
ReadResult ReadWhileDataArrives(SentenceFramer& framer)
{
    for (bool first = true;; first = false) {
        const ssize_t count =
            ReadRetrying(relayState.inputPort, framer.ReadPosition(), framer.ReadRoom());
        if (count > 0) {
            framer.Receive(static_cast<std::size_t>(count));
            if (relayState.stopRequested.load()) return ReadResult::kDrained;
            continue;
        }
        if (count == 0) return first ? ReadResult::kHungUp : ReadResult::kDrained;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return ReadResult::kDrained;
        return ReadResult::kHungUp;  // EIO: the device is gone
    }
}

enum class WaitResult { kInput, kWoken, kHungUp };

// Sleeps in the kernel until the receiver sends or hangs up, or a stop wakes the thread. The
// wake descriptor is left readable: a write the stop finds waiting for room sees it as well.
// Connections to the GPS service's input are served meanwhile, whatever the receiver does.
WaitResult WaitForInput(int wakeFd)
{
    GateApi::Simple* const channel = relayState.gateChannel;
    pollfd waits[3] = {{relayState.inputPort, POLLIN, 0},
                       {wakeFd, POLLIN, 0},
                       {channel ? channel->ListenerDescriptor() : -1, POLLIN, 0}};
    if (PollRetrying(waits, 3, -1) < 0) return WaitResult::kHungUp;
    if (waits[2].revents != 0) channel->ServeConnections();
    if (waits[1].revents & POLLIN) return WaitResult::kWoken;
    if (waits[0].revents & POLLIN) return WaitResult::kInput;  // read first: a hang-up shows there
    if (waits[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return WaitResult::kHungUp;
    return WaitResult::kWoken;
}

void RunRelay(int wakeFd)
{
    SentenceFramer framer(ForwardSentence, relayState.stopRequested);
    ChooseOutputEnd();
    while (!relayState.stopRequested.load()) {
        const WaitResult woke = WaitForInput(wakeFd);
        if (woke == WaitResult::kWoken) continue;  // the loop's condition decides
        if (woke == WaitResult::kHungUp || ReadWhileDataArrives(framer) == ReadResult::kHungUp) {
            ReportReadFailure();
            return;
        }
    }
}

// The thread's entry; returns 0 on every path.
unsigned RelayThread()
{
    RunRelay(relayState.relayThread.wakeFd);
    Signal(relayState.relayThread.endedFd);
    return 0;
}

}  // namespace

int StartRelayThread()
{
    RelayThreadHandle& handle = relayState.relayThread;
    UniqueFd wake{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    UniqueFd ended{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    if (!wake || !ended || handle.thread.joinable()) {
        ShowMessageBox(kCreateThreadFailedText);
        return 0;
    }
    handle.wakeFd = wake.get();
    handle.endedFd = ended.get();
    relayState.stopRequested.store(false);
    try {
        handle.thread = std::thread(RelayThread);
    } catch (const std::system_error&) {
        relayState.stopRequested.store(true);
        handle.wakeFd = handle.endedFd = -1;
        ShowMessageBox(kCreateThreadFailedText);
        return 0;
    }
    wake.release();
    ended.release();
    return 1;
}

void RequestRelayStop()
{
    relayState.stopRequested.store(true);
    if (relayState.relayThread.wakeFd >= 0) Signal(relayState.relayThread.wakeFd);
}

int RelayEndedDescriptor()
{
    return relayState.relayThread.endedFd;
}

void ReleaseRelayThread()
{
    RelayThreadHandle& handle = relayState.relayThread;
    if (handle.thread.joinable()) handle.thread.join();
    UniqueFd(std::exchange(handle.wakeFd, -1)).reset();
    UniqueFd(std::exchange(handle.endedFd, -1)).reset();
}
