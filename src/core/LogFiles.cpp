#include "core/LogFiles.h"

std::string UpdateLogLine(TDateTime when, const THostMean& host1, const THostMean& host2,
                          const THostMean& host3) {
    std::string line = DateTimeToStr(when);
    for (const THostMean* h : {&host1, &host2, &host3}) {
        line += '\t';
        line += h->Host;
        line += '\t';
        line += FormatFixed(h->Mean, 5, 2, '.');
    }
    line += "\r\n";
    return line;
}

void AppendLogLine(const std::string& fileName, const std::string& line) {
    if (!fileName.empty()) {
        AppendToFile(fileName, line);
    }
}

std::string CompleteLogFileName(const std::string& name, const std::string& programDir) {
    if (name.empty() || name.find('/') != std::string::npos) {
        return name;
    }
    return IncludeTrailingPathDelimiter(programDir) + name;
}
