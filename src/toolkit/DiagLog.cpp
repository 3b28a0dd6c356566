#include "toolkit/DiagLog.h"

#include <mutex>
#include <set>

#include "toolkit/SysUtils.h"

namespace {

std::mutex gPathMutex;
std::string gPathOverride;
// Why the log itself is not beside the program; said after the first line, since the log
// cannot be written while its place is being decided.
std::string gPlaceWhy;

std::mutex gSaidMutex;
std::set<std::string> gSaid;

}  // namespace

std::string DiagLogPath() {
    std::lock_guard<std::mutex> lock(gPathMutex);
    if (!gPathOverride.empty()) {
        return gPathOverride;
    }
    // Decided once, so that one run's lines stay together in one file.
    static const std::string path = [] {
        const std::string program = ProgramPath();
        const std::string name = ChangeFileExt(ExtractFileName(program), ".log");
        return IncludeTrailingPathDelimiter(
                   ProgramFilesDir(ExtractFileDir(program), "STATE", name, &gPlaceWhy)) +
               name;
    }();
    return path;
}

void SetDiagLogPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(gPathMutex);
    gPathOverride = path;
}

void WriteDiagLog(const std::string& message) {
    try {
        const std::string line =
            DateTimeToStr(Now()) + ": " + message + " [Latmo " LATMO_VERSION_TEXT "]\r\n";
        AppendToFile(DiagLogPath(), line);
        std::string why;
        {
            std::lock_guard<std::mutex> lock(gPathMutex);
            why.swap(gPlaceWhy);
        }
        ReportNotOwn(why);
    } catch (...) {
        // The log is the last resort for reporting; there is nowhere left to report its failure.
    }
}

void ReportNotOwn(const std::string& why) {
    if (why.empty()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(gSaidMutex);
        if (!gSaid.insert(why).second) {
            return;
        }
    }
    WriteDiagLog("Not used, as another user could change it: " + why);
}
