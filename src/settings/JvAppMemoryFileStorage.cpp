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
        LoadDocument(name, ReadFileText(name, kMaxFileSize));
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
    const std::string text = SaveDocument(name);
    WriteFileAtomic(name, text, FWriteFault);
    DocumentWritten(text);
}

void TJvCustomAppMemoryFileStorage::SaveOnDestroy() noexcept {
    SaveAndTell();
}

void TJvCustomAppMemoryFileStorage::Flush() noexcept {
    if (Modified()) {
        SaveAndTell();
    }
}

void TJvCustomAppMemoryFileStorage::SaveAndTell() noexcept {
    std::string reason;
    try {
        SaveToDisk();
        FToldFailure.clear();
        return;
    } catch (const std::exception& e) {
        reason = e.what();
    } catch (...) {
        reason = "unknown error";
    }
    if (reason == FToldFailure) {
        return;
    }
    FToldFailure = reason;
    const std::string message = ReportSaveFailure(reason.c_str());
    if (OnSaveError && !message.empty()) {
        try {
            OnSaveError(this, message);
        } catch (...) {
            // Said on standard error and in the log already; the program goes on.
        }
    }
}
