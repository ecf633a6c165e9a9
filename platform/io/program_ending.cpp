#include "platform/io/program_ending.h"

#include <atomic>

namespace {

std::atomic<int> endingFd{-1};

}  // namespace

void SetProgramEndingFd(int fd)
{
    endingFd.store(fd);
}

int ProgramEndingFd()
{
    return endingFd.load();
}
