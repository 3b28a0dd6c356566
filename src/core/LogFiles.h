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

// Appends one line to the file, creating it when missing. Never empties an existing file;
// a line that cannot be written is lost without a word, as the collection must go on.
void AppendLogLine(const std::string& fileName, const std::string& line);

// A bare file name (no directory part) is placed in the program's directory.
std::string CompleteLogFileName(const std::string& name, const std::string& programDir);
