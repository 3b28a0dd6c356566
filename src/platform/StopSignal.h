#pragma once
// What a long wait on the operating system watches besides the thing it waits for, so that a
// program that is ending never sits out a time-out first. Whoever owns the signal raises it
// once; a wait that sees it raised gives up at once and reports that it was cancelled.

#include <cstdint>

// On Linux a descriptor that turns readable, and stays so, once the signal is raised (an
// eventfd); on Windows the handle of a manual-reset event that is set then. kNoStopSignal
// watches nothing. platform/ThreadControl.h makes, raises and closes one.
using TStopSignal = intptr_t;
inline constexpr TStopSignal kNoStopSignal = -1;
