// Where a test waits for a file to appear that another process makes: a compositor's socket, the
// device node the kernel makes for a newly plugged adapter. On inotify, never on a timer.
#pragma once

#include <chrono>
#include <string>

// True once `path` exists; false when it did not appear within `timeout`.
bool WaitForPath(const std::string& path, std::chrono::milliseconds timeout);
