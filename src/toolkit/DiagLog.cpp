#include "toolkit/DiagLog.h"

#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include "toolkit/SysUtils.h"

namespace {

std::mutex gPathMutex;
std::string gPathOverride;

}  // namespace

std::string DiagLogPath() {
    {
        std::lock_guard<std::mutex> lock(gPathMutex);
        if (!gPathOverride.empty()) {
            return gPathOverride;
        }
    }
    const std::string program = ProgramPath();
    if (DirectoryWritable(ExtractFileDir(program))) {
        return ChangeFileExt(program, ".log");
    }
    return IncludeTrailingPathDelimiter(UserDataDir("STATE")) +
           ChangeFileExt(ExtractFileName(program), ".log");
}

void SetDiagLogPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(gPathMutex);
    gPathOverride = path;
}

void WriteDiagLog(const std::string& message) {
    try {
        const std::string line =
            DateTimeToStr(Now()) + ": " + message + " [Latmo " LATMO_VERSION_TEXT "]\r\n";
        const std::string path = DiagLogPath();
        // Appending never empties what earlier runs wrote; a missing file is created.
        const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            return;
        }
        const char* p = line.data();
        size_t left = line.size();
        while (left > 0) {
            const ssize_t n = write(fd, p, left);
            if (n <= 0) {
                break;
            }
            p += n;
            left -= static_cast<size_t>(n);
        }
        close(fd);
    } catch (...) {
        // The log is the last resort for reporting; there is nowhere left to report its failure.
    }
}
