// A private X server with a system tray, for tests of the real tray icon: Xvfb on a display
// number it picks itself (-displayfd, so no fixed number can clash with another session's),
// and one of the two kinds of tray a desktop has. All are stopped when the object goes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

enum class TrayHost {
    // An X tray that embeds the icon's own window (XEmbed): trayer.
    kXEmbed,
    // A StatusNotifierItem tray on the session bus, as KDE Plasma, GNOME's AppIndicator
    // extension and most Wayland sessions have it: status-notifier-watcher, which items
    // register with, and gtk-sni-tray-standalone drawing them in a bar at the screen's bottom.
    // Needs the bus that DBUS_SESSION_BUS_ADDRESS names (a PrivateSessionBus); the watcher is
    // on the bus before the constructor returns, as Qt looks for it once, at its first icon.
    kStatusNotifier,
};

class PrivateXServer {
public:
    explicit PrivateXServer(TrayHost host);  // throws std::runtime_error when one cannot start
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    const std::string& Display() const { return display_; }
    // Kills the X server as a crash would (SIGKILL): its clients lose their connection.
    void KillServer();

private:
    void StartTrayHost(TrayHost host);
    void StopAll();

    std::optional<ChildProcess> xvfb_;
    std::vector<std::unique_ptr<ChildProcess>>
        tray_;  // stopped in the reverse order of their start
    std::string display_;
};
