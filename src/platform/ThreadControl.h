#pragma once
// What a worker thread needs from the system beyond the standard library: a stop signal that
// waits in the system can watch, and a scheduling priority below the user interface's.

#include "platform/StopSignal.h"

// A stop signal not yet raised; kNoStopSignal when the system cannot make one.
TStopSignal MakeStopSignal();
// Raises it for good: every wait that watches it, now or later, gives up.
void RaiseStopSignal(TStopSignal signal);
void CloseStopSignal(TStopSignal signal);
// Whether it has been raised, without waiting; false for kNoStopSignal.
bool StopSignalRaised(TStopSignal signal);

enum class TSignalWait { swRaised, swStopped, swTimedOut, swFailed };
// Waits until `signal` is raised (one made by MakeStopSignal that stands for something else to
// come), or `stop` is (kNoStopSignal watches nothing; a raised stop wins when both are), or
// timeoutMs passes (a negative one waits as long as it takes).
TSignalWait WaitForSignal(TStopSignal signal, TStopSignal stop, int timeoutMs);

// The calling thread's number as the system counts threads; never 0.
long CurrentThreadNumber();

// Ends the process at once with that exit code: no clean-up of the program's or the libraries'
// (on Windows no DLL hears of it, so no thread the program left running can hold the end up).
[[noreturn]] void EndProcessNow(int code);

enum class TThreadLevel { tlNormal, tlLower, tlLowest };
// Sets the scheduling priority of the thread of that number (CurrentThreadNumber()).
void SetThreadLevel(long thread, TThreadLevel level);
