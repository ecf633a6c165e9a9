#include "tests/support/private_wayland_compositor.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <stdexcept>

#include "platform/io/unique_fd.h"

namespace {

constexpr char kSocket[] = "wayland-quarnex";

}  // namespace

PrivateWaylandCompositor::PrivateWaylandCompositor()
{
    const std::string folder = runtime_.Path();
    const UniqueFd created{inotify_init1(IN_CLOEXEC | IN_NONBLOCK)};
    inotify_add_watch(created.get(), folder.c_str(), IN_CREATE);
    weston_.emplace(
        std::vector<std::string>{"weston", "--backend=headless-backend.so", "--no-config",
                                 std::string("--socket=") + kSocket, "--idle-time=0"},
        ChildSetup{.environment = {"XDG_RUNTIME_DIR=" + folder}});
    char events[4096];
    for (int waits = 0; ::access((folder + "/" + kSocket).c_str(), F_OK) != 0; ++waits) {
        pollfd change{created.get(), POLLIN, 0};
        if (waits == 30 || ::poll(&change, 1, 1000) < 0)
            throw std::runtime_error("weston did not open its socket");
        [[maybe_unused]] const ssize_t drained = ::read(created.get(), events, sizeof events);
    }
}

std::vector<std::string> PrivateWaylandCompositor::ClientEnvironment() const
{
    // No X display, and Qt picks its platform itself. No input method: without a seat, Qt 6.4's
    // Wayland text input crashes on a key event that a test sends to a widget.
    return {"XDG_SESSION_TYPE=wayland",
            "XDG_RUNTIME_DIR=" + runtime_.Path().string(),
            std::string("WAYLAND_DISPLAY=") + kSocket,
            "DISPLAY=",
            "QT_QPA_PLATFORM=",
            "QT_IM_MODULE=none"};
}

void PrivateWaylandCompositor::KillCompositor()
{
    weston_->Stop(SIGKILL);
}
