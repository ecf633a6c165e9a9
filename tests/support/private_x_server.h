// A private X server with a system tray, for tests of the real tray icon: Xvfb on a display
// number it picks itself (-displayfd, so no fixed number can clash with another session's),
// and trayer as the tray host. Both are stopped by their process ids when the object goes.
#pragma once

#include <sys/types.h>

#include <string>

class PrivateXServer {
public:
    PrivateXServer();  // throws std::runtime_error when either cannot be started
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    const std::string& Display() const { return display_; }
    // Kills the X server as a crash would (SIGKILL): its clients lose their connection.
    void KillServer();

private:
    pid_t xvfb_ = -1;
    pid_t trayer_ = -1;
    std::string display_;
};
