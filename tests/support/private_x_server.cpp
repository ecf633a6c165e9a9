#include "tests/support/private_x_server.h"

#include <stdexcept>

using namespace std::chrono_literals;

namespace {

constexpr int kDisplayFd = 9;  // where Xvfb writes its display number once it accepts clients

// Runs a one-shot program to its end; false when it fails or takes longer than a minute.
bool Ran(std::vector<std::string> arguments, const std::vector<std::string>& environment = {})
{
    return ChildProcess(std::move(arguments), {.environment = environment}).Wait(60s) == 0;
}

}  // namespace

PrivateXServer::PrivateXServer(TrayHost host)
{
    xvfb_.emplace(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(kDisplayFd),
                                           "-screen", "0", "800x600x24", "-nolisten", "tcp"},
                  ChildSetup{.lineFds = {kDisplayFd}});
    // A guard against a server that never comes up, not a pace.
    const std::string number = xvfb_->ReadLine("", 30s).value_or("");
    if (number.empty()) throw std::runtime_error("Xvfb did not come up");
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
    while (!tray_.empty())
        tray_.pop_back();
    xvfb_.reset();
}

void PrivateXServer::StartTrayHost(TrayHost host)
{
    const std::vector<std::string> onThisDisplay{"DISPLAY=" + display_};
    if (host == TrayHost::kXEmbed) {
        tray_.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{"trayer", "--edge", "bottom", "--align", "right", "--height",
                                     "32", "--widthtype", "request"},
            ChildSetup{.environment = onThisDisplay}));
        return;
    }
    tray_.push_back(
        std::make_unique<ChildProcess>(std::vector<std::string>{"status-notifier-watcher"}));
    // gdbus returns once the name is owned: no look at the bus on a timer of ours.
    if (!Ran({"gdbus", "wait", "--session", "--timeout", "30", "org.kde.StatusNotifierWatcher"}))
        throw std::runtime_error("status-notifier-watcher did not come onto the bus");
    // A small bar at the screen's bottom right, like a desktop's tray. An opaque background, as
    // the transparent one needs a 32-bit window that a screenshot of the screen cannot show; and
    // the icon filling the bar, which otherwise is at times laid out cut off at the bar's end.
    // GTK on X11 alone, and without its accessibility bridge, which would look for a bus of its
    // own.
    tray_.push_back(std::make_unique<ChildProcess>(
        std::vector<std::string>{"gtk-sni-tray-standalone", "--bottom", "--end", "--length",
                                 "1 % 16", "--color", "#d6d6d6", "--expand"},
        ChildSetup{.environment = {"DISPLAY=" + display_, "GDK_BACKEND=x11", "NO_AT_BRIDGE=1"}}));
    // The host registers with the watcher before it has built its bar, and an item that comes
    // in between may be drawn twice; its bar on the screen says it is done.
    if (!Ran({"timeout", "30", "xdotool", "search", "--sync", "--onlyvisible", "--classname",
              "gtk-sni-tray-standalone"},
             onThisDisplay))
        throw std::runtime_error("gtk-sni-tray-standalone did not show its bar");
}

void PrivateXServer::KillServer()
{
    xvfb_->Stop(SIGKILL);
}
