// A serial port is held as its file descriptor; INVALID_HANDLE_VALUE marks "not open".
#pragma once

using PortHandle = int;

inline constexpr PortHandle INVALID_HANDLE_VALUE = -1;
