// That a run gives back what it took: descriptors, threads and memory, counted from /proc.
#pragma once

#include <functional>

#include "tests/support/thread_usage.h"

// Runs `cycle` once (for what stays for the life of the process, such as caches), counts, runs it
// `times` more and expects as many descriptors and threads as before, and a resident size grown
// by under 256 KiB. Under a sanitizer the resident size says nothing (freed memory is kept aside
// for a while) and is not looked at; the sanitizer's own leak check stands in for it.
void ExpectNothingLeftBehindByRepeating(int times, const std::function<void()>& cycle);
