// What the guest program tells about itself, so that the host sees what a run costs and leaves
// behind from inside the guest, where the relay thread lives.
#pragma once

#include <string>

// "usage MS VOLUNTARY INVOLUNTARY": the CPU time this process has spent so far, its ended
// threads' included, and how often it was switched out.
std::string DescribeUsage();

// "holds nothing" once the process is back to what it was before a run; otherwise "holds" and
// what is left: "run" (its thread, a port or the channel, as RunIsHeld says), "descriptors N
// (TARGET)...".
std::string DescribeWhatIsHeld();
