#pragma once
// The measurement log: one tab-separated line per collection in a file the user names.

#include <string>

#include "toolkit/SysUtils.h"

struct THostMean {
    std::string Host;
    double Mean = 0;
};

// date-time, host 1, mean 1, host 2, mean 2, host 3, mean 3, separated by TABs, ended by CR LF;
// the means with a point whatever the locale, right-aligned in at least 5 characters.
std::string UpdateLogLine(TDateTime when, const THostMean& host1, const THostMean& host2,
                          const THostMean& host3);

// The measurement log as the window writes it: each line appended to the file named at that
// moment, created when missing, never emptied. A line that cannot be written is lost, as the
// collection must go on, but not in silence: the diagnostic log says why, once for each new
// reason. Only a regular file is written, and nothing waits for a pipe or a device.
class TMeasurementLog {
public:
    void Append(const std::string& fileName, const std::string& line);

private:
    std::string FReported;  // the latest problem said; empty once a line got through
};

// A bare file name (no directory part) is placed as the settings file is: beside the program
// where its directory can be written and it and the file are the user's own, else into the
// user's data directory ($XDG_DATA_HOME/latmo or ~/.local/share/latmo). why, when given,
// receives why a directory the program could write was passed over.
std::string CompleteLogFileName(const std::string& name, const std::string& programDir,
                                std::string* why = nullptr);
