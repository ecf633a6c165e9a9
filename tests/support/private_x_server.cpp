#include "tests/support/private_x_server.h"

#include <signal.h>

#include <stdexcept>

#include "tests/support/spawned_process.h"

namespace {

constexpr int kDisplayFd = 9;  // where Xvfb writes its display number once it accepts clients

}  // namespace

PrivateXServer::PrivateXServer(TrayHost host)
{
    const std::string number = SpawnReady({"Xvfb", "-displayfd", std::to_string(kDisplayFd),
                                           "-screen", "0", "800x600x24", "-nolisten", "tcp"},
                                          kDisplayFd, xvfb_);
    // Not ":" + number: g++ 12 warns falsely (-Wrestrict) inside libstdc++ for that when
    // optimising.
    display_.reserve(number.size() + 1);
    display_.push_back(':');
    display_.append(number);
    try {
        StartTrayHost(host);
    } catch (...) {
        StopAll();
        throw;
    }
}

PrivateXServer::~PrivateXServer()
{
    StopAll();
}

void PrivateXServer::StopAll()
{
    while (!tray_.empty()) {
        StopSpawned(tray_.back());
        tray_.pop_back();
    }
    StopSpawned(xvfb_);
    xvfb_ = -1;
}

void PrivateXServer::StartTrayHost(TrayHost host)
{
    const std::vector<std::string> onThisDisplay{"DISPLAY=" + display_};
    if (host == TrayHost::kXEmbed) {
        tray_.push_back(SpawnQuietly({"trayer", "--edge", "bottom", "--align", "right", "--height",
                                      "32", "--widthtype", "request"},
                                     onThisDisplay));
        return;
    }
    tray_.push_back(SpawnQuietly({"status-notifier-watcher"}));
    // gdbus returns once the name is owned: no look at the bus on a timer of ours.
    if (RunQuietly({"gdbus", "wait", "--session", "--timeout", "30",
                    "org.kde.StatusNotifierWatcher"}) != 0)
        throw std::runtime_error("status-notifier-watcher did not come onto the bus");
    // A small bar at the screen's bottom right, like a desktop's tray. An opaque background, as
    // the transparent one needs a 32-bit window that a screenshot of the screen cannot show; and
    // the icon filling the bar, which otherwise is at times laid out cut off at the bar's end.
    // GTK on X11 alone, and without its accessibility bridge, which would look for a bus of its
    // own.
    tray_.push_back(SpawnQuietly({"gtk-sni-tray-standalone", "--bottom", "--end", "--length",
                                  "1 % 16", "--color", "#d6d6d6", "--expand"},
                                 {"DISPLAY=" + display_, "GDK_BACKEND=x11", "NO_AT_BRIDGE=1"}));
    // The host registers with the watcher before it has built its bar, and an item that comes
    // in between may be drawn twice; its bar on the screen says it is done.
    if (RunQuietly({"timeout", "30", "xdotool", "search", "--sync", "--onlyvisible", "--classname",
                    "gtk-sni-tray-standalone"},
                   onThisDisplay) != 0)
        throw std::runtime_error("gtk-sni-tray-standalone did not show its bar");
}

void PrivateXServer::KillServer()
{
    StopSpawned(xvfb_, SIGKILL);
    xvfb_ = -1;
}
