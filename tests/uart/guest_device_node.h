// A device node's arrival in the guest: the kernel's devtmpfs makes /dev/ttyUSB0 once the driver
// has taken a newly plugged adapter, some time after QEMU has added it.
#pragma once

#include <string>

// True once `path` exists, false when it did not appear within `timeoutMs`. Waits on inotify
// for its directory to change, never on a timer.
bool WaitForDeviceNode(const std::string& path, int timeoutMs);
