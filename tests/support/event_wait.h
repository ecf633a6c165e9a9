// Waiting in a GUI test: the event loop runs (so windows, timers, socket notifiers and boxes
// raised by other threads are served) until a condition holds. The condition is looked at each
// time the loop has run out of work and is about to sleep, never on a timer.
#pragma once

#include <chrono>
#include <functional>

// True once `done` holds; false when `timeout` passed first (a generous guard, not a measure).
bool RunEventsUntil(const std::function<bool()>& done,
                    std::chrono::milliseconds timeout = std::chrono::seconds(30));
// The same for "`fd` is readable", which wakes the loop to look again (a descriptor that another
// thread makes readable sends the loop no event of its own).
bool RunEventsUntilReadable(int fd, std::chrono::milliseconds timeout = std::chrono::seconds(30));
