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

std::mutex gHoldMutex;
bool gHeld = false;
std::string gHeldLines;

// Empty when even the line cannot be made.
std::string DiagLogLine(const std::string& message) noexcept {
    try {
        return DateTimeToStr(Now()) + ": " + message + " [Latmo " LATMO_VERSION_TEXT "]\r\n";
    } catch (...) {
        return std::string();
    }
}

void AppendLines(const std::string& lines) {
    if (lines.empty()) {
        return;
    }
    std::string why;
    try {
        AppendToFile(DiagLogPath(), lines);
        std::lock_guard<std::mutex> lock(gPathMutex);
        why.swap(gPlaceWhy);
    } catch (...) {
        // The log is the last resort for reporting; there is nowhere left to report its failure.
    }
    ReportNotOwn(why);
}

// Writes `first` and then whatever waited, and ends the hold.
void WriteHeldLines(std::string first) {
    {
        std::lock_guard<std::mutex> lock(gHoldMutex);
        first += gHeldLines;
        gHeldLines.clear();
        gHeld = false;
    }
    AppendLines(first);
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
    const std::string line = DiagLogLine(message);
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
    WriteHeldLines(DiagLogLine(message));
}

void ReleaseDiagLog() {
    WriteHeldLines(std::string());
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
