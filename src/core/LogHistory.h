#pragma once
// The graph's history from the measurement log: its latest lines, read from the end of the file
// backwards, so that a log of any size costs only the few lines the graph can show. The log is
// only read, never changed.

#include <string>
#include <vector>

#include "toolkit/SysUtils.h"

// Reads back the date and time that DateTimeToStr wrote in the current locale. It learns the
// order of the numbers, and whether the clock counts 12 hours, from a moment written the same
// way, so that it reads whatever numeric form the locale's date and time take.
class TLogTimeReader {
public:
    TLogTimeReader();
    // False for a text that is not a date and time in this form.
    bool Read(const std::string& text, TDateTime& value) const;

private:
    enum class TField { Year, Month, Day, Hour, Minute, Second };
    std::vector<TField> FFields;  // the numbers of date and time, in the order written
    size_t FDateNumbers = 0;      // how many of them belong to the date
    bool FTwoDigitYear = false;
    std::string FAm;  // a 12-hour clock's marks; both empty for a 24-hour clock
    std::string FPm;
    bool FUsable = false;
};

struct THistoryPoint {
    TDateTime When = 0;
    double Mean = 0;  // milliseconds, as the log has it
};

struct TLogHistory {
    // Host 1, 2 and 3: oldest first.
    std::vector<THistoryPoint> Points[3];
    // Why the log could not be read at all; empty also when there is no such file.
    std::string Problem;
};

// The points of the log's latest lines for the three hosts as they are set now: for each host,
// the lines from the end back to the first one that names another host in its place (the host
// was changed there), at most maxPoints of them. Reading goes back as far as the lines are
// sound: it stops at a line that does not have the log's seven fields, a date and time and
// three numbers, or that is later than the line after it or than now; a last line without its
// line end (a write cut short) is passed over. A host with an empty text gets no points.
TLogHistory ReadLogHistory(const std::string& path, const std::string (&hosts)[3], int maxPoints,
                           TDateTime now);
