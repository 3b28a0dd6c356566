#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <system_error>

#include "platform/Files.h"
#include "platform/windows/Wide.h"

namespace {

std::string DirOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithDelimiter(const std::string& dir) {
    return dir.empty() || IsPathDelimiter(dir.back()) ? dir : dir + kPathDelimiter;
}

int LastErrno() {
    return ErrnoOfWin32(GetLastError());
}

// One handle, closed with the object.
class THandle {
public:
    explicit THandle(HANDLE handle) : FHandle(handle) {}
    ~THandle() { Close(); }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    HANDLE Get() const { return FHandle; }
    bool Valid() const { return FHandle != INVALID_HANDLE_VALUE; }
    // Closing can report a delayed write error, so it is a step of its own.
    bool Close() {
        const bool closed = !Valid() || CloseHandle(FHandle) != 0;
        FHandle = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE FHandle;
};

// Whether the open file is a file on a disk, not a pipe, a device or a console.
bool IsDiskFile(HANDLE file) {
    return GetFileType(file) == FILE_TYPE_DISK;
}

int WriteAll(HANDLE file, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const DWORD part = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
        DWORD written = 0;
        if (WriteFile(file, data.data() + done, part, &written, nullptr) == 0) {
            return LastErrno();
        }
        if (written == 0) {
            return EIO;
        }
        done += written;
    }
    return 0;
}

int Asked(const TWriteFault& fault, TWriteStep step) {
    return fault ? fault(step) : 0;
}

}  // namespace

std::string ProgramPath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return "latmo.exe";
        }
        if (n < buffer.size()) {
            return Narrow(buffer.data(), n);
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool DirectoryWritable(const std::string& dir) {
    // Windows says what may be written only by trying: a file that vanishes when closed.
    static std::atomic<unsigned> counter{0};
    const std::string probe = WithDelimiter(dir.empty() ? std::string(".") : dir) + "~latmo-" +
                              std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(counter++) + ".tmp";
    HANDLE file = CreateFileW(Widen(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

std::string UserHomeDir(const std::string&) {
    wchar_t* path = nullptr;
    std::string dir;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path) == S_OK) {
        dir = Narrow(path, wcslen(path));
    }
    CoTaskMemFree(path);
    return dir;
}

std::string UserProgramDir(const std::string& kind) {
    return WithDelimiter(UserHomeDir(kind)) + "Latmo";
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeDirectory(const std::string& dir) {
    return CreateDirectoryW(Widen(dir).c_str(), nullptr) != 0 ||
           GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string AppendToFile(const std::string& path, const std::string& data) {
    // A folder cannot be opened as a file at all: say what it is rather than that it is denied.
    if (DirectoryExists(path)) {
        return "Not a regular file";
    }
    THandle file(CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                             nullptr));
    if (!file.Valid()) {
        return SysErrorMessage(LastErrno());
    }
    std::string problem;
    LARGE_INTEGER size{};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!IsDiskFile(file.Get()) || GetFileInformationByHandle(file.Get(), &info) == 0 ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        problem = "Not a regular file";
    } else if (GetFileSizeEx(file.Get(), &size) == 0) {
        problem = SysErrorMessage(LastErrno());
    } else {
        // One write, so that other writers' lines never come between its bytes; what a full
        // disk took of it is cut off again.
        DWORD written = 0;
        const BOOL ok =
            WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
        if (ok == 0 || written != data.size()) {
            const int error = ok == 0 ? LastErrno() : ENOSPC;
            if (written > 0 && SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN) != 0) {
                SetEndOfFile(file.Get());
            }
            problem = SysErrorMessage(error);
        }
    }
    if (!file.Close() && problem.empty()) {
        problem = SysErrorMessage(LastErrno());
    }
    return problem;
}

std::string SysErrorMessage(int error) {
    return std::generic_category().message(error);
}

bool FileEntryExists(const std::string& path) {
    if (GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

std::string ReadWholeFile(const std::string& path, size_t limit, std::string& text,
                          bool& tooLarge) {
    tooLarge = false;
    const std::wstring wide = Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return SysErrorMessage(EISDIR);
    }
    THandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return SysErrorMessage(LastErrno());
    }
    if (!IsDiskFile(file.Get())) {
        return "Not a regular file";
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.Get(), &size) == 0) {
        return SysErrorMessage(LastErrno());
    }
    if (static_cast<uint64_t>(size.QuadPart) > limit) {
        tooLarge = true;
        return std::string();
    }
    text.reserve(static_cast<size_t>(size.QuadPart));
    char buf[65536];
    // Bounded also for a file that grows while it is read.
    while (text.size() <= limit) {
        DWORD n = 0;
        if (ReadFile(file.Get(), buf, sizeof buf, &n, nullptr) == 0) {
            return SysErrorMessage(LastErrno());
        }
        if (n == 0) {
            break;
        }
        text.append(buf, n);
    }
    if (text.size() > limit) {
        tooLarge = true;
        text.clear();
    }
    return std::string();
}

int ReplaceFileWith(const std::string& path, const std::string& text, const TWriteFault& fault) {
    const std::wstring target = Widen(path);
    // A file its owner has marked read-only is left alone: the rename would replace it.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return EACCES;
    }
    static std::atomic<unsigned> counter{0};
    const std::string dir = DirOf(path);
    const std::wstring temp =
        Widen((dir.empty() ? std::string() : WithDelimiter(dir)) + "." + NameOf(path) + "." +
              std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + ".tmp");
    THandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    int error = file.Valid() ? Asked(fault, TWriteStep::wsCreate) : LastErrno();
    if (error == 0) {
        error = WriteAll(file.Get(), text);
    }
    if (error == 0) {
        error = Asked(fault, TWriteStep::wsWrite);
    }
    if (error == 0) {
        error = FlushFileBuffers(file.Get()) != 0 && file.Close() ? 0 : LastErrno();
    }
    if (error == 0) {
        error = Asked(fault, TWriteStep::wsSync);
    }
    if (error == 0) {
        error = Asked(fault, TWriteStep::wsRename);
    }
    if (error == 0 && MoveFileExW(temp.c_str(), target.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        error = LastErrno();
    }
    if (error != 0) {
        file.Close();
        DeleteFileW(temp.c_str());
    }
    return error;
}
