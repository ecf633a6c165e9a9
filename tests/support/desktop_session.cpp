#include "tests/support/desktop_session.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "tests/support/listening_socket.h"

namespace {

constexpr const char* kSessionVariables[] = {"DISPLAY", "WAYLAND_DISPLAY",
                                             "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"};
constexpr char kCompositorName[] = "wayland-0";
constexpr char kBusName[] = "bus";
// Far above the numbers Xvfb -displayfd takes from 0 on; the lock file settles any race.
constexpr int kFirstDisplay = 700;
constexpr int kDisplaysTried = 100;

std::string XSocketPath(int display)
{
    return "/tmp/.X11-unix/X" + std::to_string(display);
}

std::string XLockPath(int display)
{
    return "/tmp/.X" + std::to_string(display) + "-lock";
}

// A display number nobody uses, reserved by its lock file as an X server would.
int ReserveDisplay()
{
    for (int display = kFirstDisplay; display < kFirstDisplay + kDisplaysTried; ++display) {
        const UniqueFd lock{::open(XLockPath(display).c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444)};
        if (lock && !std::filesystem::exists(XSocketPath(display))) return display;
        if (lock) ::unlink(XLockPath(display).c_str());
    }
    throw std::runtime_error("no free X display number for the decoy session");
}

UniqueFd ListenAt(const std::string& path)
{
    UniqueFd fd = Listen(UnixAddress(path.c_str()));
    if (!fd) throw std::runtime_error("cannot listen at " + path);
    return fd;
}

// A connection waits in the queue even when its client has closed it again.
bool Connected(const UniqueFd& listener)
{
    pollfd ready{listener.get(), POLLIN, 0};
    return ::poll(&ready, 1, 0) == 1;
}

}  // namespace

void LeaveTheDesktopSession()
{
    for (const char* name : kSessionVariables)
        unsetenv(name);
}

DecoySession::DecoySession() : runtime_("quarnex-decoy-session"), display_(ReserveDisplay())
{
    ::mkdir("/tmp/.X11-unix", 01777);
    displaySocket_ = ListenAt(XSocketPath(display_));
    compositorSocket_ = ListenAt((runtime_.Path() / kCompositorName).string());
    busSocket_ = ListenAt((runtime_.Path() / kBusName).string());
}

DecoySession::~DecoySession()
{
    ::unlink(XSocketPath(display_).c_str());
    ::unlink(XLockPath(display_).c_str());
}

std::vector<std::string> DecoySession::Environment() const
{
    return {"DISPLAY=:" + std::to_string(display_),
            std::string("WAYLAND_DISPLAY=") + kCompositorName,
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (runtime_.Path() / kBusName).string(),
            "XDG_RUNTIME_DIR=" + runtime_.Path().string()};
}

std::vector<std::string> DecoySession::Reached() const
{
    std::vector<std::string> reached;
    if (Connected(displaySocket_)) reached.emplace_back("the X display");
    if (Connected(compositorSocket_)) reached.emplace_back("the Wayland compositor");
    if (Connected(busSocket_)) reached.emplace_back("the session bus");
    for (const auto& entry : std::filesystem::directory_iterator(runtime_.Path())) {
        const std::string name = entry.path().filename().string();
        if (name != kCompositorName && name != kBusName) reached.push_back(entry.path().string());
    }
    return reached;
}
