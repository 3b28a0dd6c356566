#include "toolkit/DiagLog.h"

#include <mutex>

#include "toolkit/SysUtils.h"

namespace {

std::mutex gPathMutex;
std::string gPathOverride;

std::mutex gHoldMutex;
bool gHeld = false;
std::string gHeldLines;

std::string DiagLogLine(const std::string& message) {
    return DateTimeToStr(Now()) + ": " + message + " [Latmo " LATMO_VERSION_TEXT "]\r\n";
}

void AppendLines(const std::string& lines) {
    try {
        AppendToFile(DiagLogPath(), lines);
    } catch (...) {
        // The log is the last resort for reporting; there is nowhere left to report its failure.
    }
}

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
    std::string line;
    try {
        line = DiagLogLine(message);
    } catch (...) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(gHoldMutex);
        if (gHeld) {
            gHeldLines += line;
            return;
        }
    }
    AppendLines(line);
}

void HoldDiagLog() {
    std::lock_guard<std::mutex> lock(gHoldMutex);
    gHeld = true;
}

void StartDiagLog(const std::string& message) {
    std::string lines;
    try {
        lines = DiagLogLine(message);
    } catch (...) {
    }
    {
        std::lock_guard<std::mutex> lock(gHoldMutex);
        lines += gHeldLines;
        gHeldLines.clear();
        gHeld = false;
    }
    AppendLines(lines);
}

void ReleaseDiagLog() {
    std::string lines;
    {
        std::lock_guard<std::mutex> lock(gHoldMutex);
        lines.swap(gHeldLines);
        gHeld = false;
    }
    if (!lines.empty()) {
        AppendLines(lines);
    }
}
