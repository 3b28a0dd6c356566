#include "settings/JvAppMemoryFileStorage.h"

#include <cstdio>

#include "toolkit/DiagLog.h"
#include "toolkit/SysUtils.h"

namespace {

std::string ReportSaveFailure(const char* reason) noexcept {
    try {
        const std::string message = std::string("Settings not saved: ") + reason;
        WriteDiagLog(message);
        std::fprintf(stderr, "latmo: %s\n", message.c_str());
        return message;
    } catch (...) {
        // Out of memory while shutting down: nothing is left to report with.
        return std::string();
    }
}

}  // namespace

void TJvCustomAppMemoryFileStorage::SetFileName(const std::string& Value) {
    if (Value != FFileName) {
        FFileName = Value;
        LoadFromDisk();
    }
}

void TJvCustomAppMemoryFileStorage::SetLocation(TFileLocation Value) {
    if (Value != FLocation) {
        FLocation = Value;
        LoadFromDisk();
    }
}

void TJvCustomAppMemoryFileStorage::SetDirectory(const std::string& Value) {
    if (Value != FDirectory) {
        FDirectory = Value;
        if (FLocation == TFileLocation::flCustom) {
            LoadFromDisk();
        }
    }
}

std::string TJvCustomAppMemoryFileStorage::ExeFileDirectory(const std::string& programDir,
                                                            const std::string& name) {
    std::string why;
    const std::string dir = ProgramFilesDir(programDir, "CONFIG", name, &why);
    ReportNotOwn(why);
    return dir;
}

std::string TJvCustomAppMemoryFileStorage::PlaceFile() const {
    const std::string name = FFileName.substr(FFileName.find_last_of("/\\:") + 1);
    if (name.empty()) {
        return std::string();
    }
    const std::string dir =
        FLocation == TFileLocation::flExeFile ? ExeFileDirectory(ProgramDir(), name) : FDirectory;
    return dir.empty() ? name : IncludeTrailingPathDelimiter(dir) + name;
}

void TJvCustomAppMemoryFileStorage::LoadFromDisk() {
    FFullFileName = PlaceFile();
    const std::string& name = FFullFileName;
    FLoadFailed = false;
    if (name.empty() || !FileEntryExists(name)) {
        return;
    }
    try {
        LoadDocument(name, ReadFileText(name));
    } catch (const EFOpenError&) {
        // Writing at exit would replace settings that were never seen with the defaults.
        FLoadFailed = true;
        throw;
    }
}

void TJvCustomAppMemoryFileStorage::SaveToDisk() {
    const std::string& name = FFullFileName;
    if (name.empty()) {
        return;
    }
    if (FLoadFailed) {
        throw EJVCLAppStorageError("\"" + name +
                                   "\" was not replaced, because it could not be read at start");
    }
    WriteFileAtomic(name, SaveDocument(name), FWriteFault);
}

void TJvCustomAppMemoryFileStorage::SaveOnDestroy() noexcept {
    std::string message;
    try {
        SaveToDisk();
        return;
    } catch (const std::exception& e) {
        message = ReportSaveFailure(e.what());
    } catch (...) {
        message = ReportSaveFailure("unknown error");
    }
    if (OnSaveError && !message.empty()) {
        try {
            OnSaveError(this, message);
        } catch (...) {
            // Said on standard error and in the log already; the program goes on ending.
        }
    }
}
