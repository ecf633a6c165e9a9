#include "bench/baseline_run.h"

#include "bench/baseline_loops.h"

BaselineRun::BaselineRun(BaselineLoop loop, const SentenceSelection& selection)
{
    const int input = inputSlave_.get(), output = outputSlave_.get();
    loop_ = std::thread([this, loop, selection, input, output] {
        used_ = loop == BaselineLoop::kCopy ? CopyLoop(input, output)
                                            : OneWritePerSentenceLoop(input, output, selection);
    });
}

BaselineRun::~BaselineRun()
{
    Stop();
}

ThreadUsage BaselineRun::Stop()
{
    input_.CloseMaster();   // hang-up: the loop's read fails
    output_.CloseMaster();  // and so does a write it may be blocked in
    if (loop_.joinable()) loop_.join();
    return used_;
}
