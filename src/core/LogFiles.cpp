#include "core/LogFiles.h"

#include "toolkit/DiagLog.h"

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

void TMeasurementLog::Append(const std::string& fileName, const std::string& line) {
    if (fileName.empty()) {
        return;
    }
    const std::string problem = AppendToFile(fileName, line);
    if (problem.empty()) {
        FReported.clear();
        return;
    }
    const std::string message = "Measurement log " + fileName + " not written: " + problem;
    if (message != FReported) {
        FReported = message;
        WriteDiagLog(message);
    }
}

std::string CompleteLogFileName(const std::string& name, const std::string& programDir,
                                std::string* why) {
    if (name.empty() || HasPathDelimiter(name)) {
        return name;
    }
    return IncludeTrailingPathDelimiter(ProgramFilesDir(programDir, "DATA", name, why)) + name;
}
