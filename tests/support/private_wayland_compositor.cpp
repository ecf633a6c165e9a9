#include "tests/support/private_wayland_compositor.h"

#include <stdexcept>

#include "tests/support/path_wait.h"

namespace {

constexpr char kSocket[] = "wayland-quarnex";

}  // namespace

PrivateWaylandCompositor::PrivateWaylandCompositor()
{
    const std::string folder = runtime_.Path();
    weston_.emplace(
        std::vector<std::string>{"weston", "--backend=headless-backend.so", "--no-config",
                                 std::string("--socket=") + kSocket, "--idle-time=0"},
        ChildSetup{.environment = {"XDG_RUNTIME_DIR=" + folder}});
    if (!WaitForPath(folder + "/" + kSocket, std::chrono::seconds(30)))
        throw std::runtime_error("weston did not open its socket");
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
