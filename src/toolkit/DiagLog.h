#pragma once
// The diagnostic log: one line per start and per failure that start-up or the timers catch.

#include <string>

// Appends "<date time>: <message> [Latmo <version>]" and CR LF to the diagnostic log, the
// version being the project's (CMakeLists.txt), as on the About page, in latmo_info and in the
// package. Never fails outward: a log that cannot be written loses the line.
void WriteDiagLog(const std::string& message);

// The file WriteDiagLog appends to: the program file's path with ".log" as its extension, or,
// where the program's directory cannot be written or is not the user's own, the same file name
// in the user's state directory. Decided at the first line of a run. Only a regular file is
// written: a pipe or a device of that name loses the line, and nothing waits for it.
std::string DiagLogPath();

// Sends the log elsewhere (tests); an empty path restores the normal place.
void SetDiagLogPath(const std::string& path);

// Start-up reports what it finds before the run's "Start" line can be written. While held,
// lines wait (each with the time it was written) until StartDiagLog or ReleaseDiagLog.
void HoldDiagLog();
// Writes the run's first line, then whatever waited, and ends the hold.
void StartDiagLog(const std::string& message);
// Writes whatever waited and ends the hold (a run that ends before it could start).
void ReleaseDiagLog();
// Says in the diagnostic log why a file or folder that others may change was passed over
// (NotOwnReason), once per reason and run; an empty reason says nothing.
void ReportNotOwn(const std::string& why);
