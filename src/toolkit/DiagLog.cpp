#include "toolkit/DiagLog.h"

#include <mutex>

#include "toolkit/SysUtils.h"

namespace {

std::mutex gPathMutex;
std::string gPathOverride;

}  // namespace

std::string DiagLogPath() {
    std::lock_guard<std::mutex> lock(gPathMutex);
    if (!gPathOverride.empty()) {
        return gPathOverride;
    }
    // Decided once, so that one run's lines stay together in one file.
    static const std::string path = [] {
        const std::string program = ProgramPath();
        return IncludeTrailingPathDelimiter(ProgramFilesDir(ExtractFileDir(program), "STATE")) +
               ChangeFileExt(ExtractFileName(program), ".log");
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
    } catch (...) {
        // The log is the last resort for reporting; there is nowhere left to report its failure.
    }
}
