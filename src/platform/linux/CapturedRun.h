#pragma once
// Runs a program to its end and keeps what it prints: started directly (no shell), in the C
// locale, with nothing on its input. The wait gives up at a deadline or when a stop signal is
// raised; the program is then killed. Either way it is reaped before the call returns, so no
// child outlives the call, not even as a zombie.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/StopSignal.h"

struct TCapturedRun {
    enum class TEnd { Exited, NotStarted, TimedOut, Cancelled };
    TEnd End = TEnd::NotStarted;
    int ExitCode = -1;         // when Exited: the exit code, or -1 when a signal ended it
    std::string Output;        // standard output and standard error, in the order written
    int64_t Microseconds = 0;  // from the start to the end of its output
};

// Starts a program as RunCaptured does, its standard output and standard error going to
// outputFd; the caller waits for it and reaps it. -1 when it cannot be started.
pid_t SpawnWithOutput(const std::string& program, const std::vector<std::string>& args,
                      int outputFd);

// args[0] is what the program sees as its name; `program` is the file that runs.
TCapturedRun RunCaptured(const std::string& program, const std::vector<std::string>& args,
                         int64_t deadlineMs, TStopSignal stop = kNoStopSignal);
