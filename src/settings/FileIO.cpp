#include "settings/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "toolkit/SysUtils.h"

namespace {

// The file a link points to, so that replacing it keeps the link; the path itself otherwise.
std::string ResolveLink(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return path;
    }
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) {
        return path;  // a dangling link: replace the link itself
    }
    std::string result(real);
    std::free(real);
    return result;
}

// The temporary file of one replacement; removed again unless it has become the real file.
class TTempFile {
public:
    explicit TTempFile(const std::string& target) {
        const std::string dir = ExtractFileDir(target);
        FName = (dir.empty() ? std::string() : IncludeTrailingPathDelimiter(dir)) + "." +
                ExtractFileName(target) + ".XXXXXX";
        std::vector<char> buf(FName.begin(), FName.end());
        buf.push_back('\0');
        FFd = mkostemp(buf.data(), O_CLOEXEC);
        if (FFd >= 0) {
            FName = buf.data();
        } else {
            FCreateError = errno;
        }
    }
    ~TTempFile() {
        if (FFd >= 0) {
            close(FFd);
        }
        if (FFd != kNeverOpened && !FRenamed) {
            unlink(FName.c_str());
        }
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    int Fd() const { return FFd; }
    // 0, or why the file could not be made.
    int CreateError() const { return FCreateError; }
    const std::string& Name() const { return FName; }
    // Closing can report a delayed write error, so it is a step of its own.
    int Close() {
        const int rc = close(FFd);
        FFd = kClosed;
        return rc == 0 ? 0 : errno;
    }
    void Renamed() { FRenamed = true; }

private:
    static constexpr int kNeverOpened = -1;
    static constexpr int kClosed = -2;
    std::string FName;
    int FFd = kNeverOpened;
    int FCreateError = 0;
    bool FRenamed = false;
};

// A file its owner has marked read-only is left alone, also by root, who could write it: the
// rename would replace it silently, since only the directory's permission counts for that.
bool WriteProtected(const std::string& target) {
    struct stat st {};
    if (stat(target.c_str(), &st) != 0) {
        return false;
    }
    return (st.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0;
}

int Asked(const TWriteFault& fault, TWriteStep step) {
    return fault ? fault(step) : 0;
}

// Makes the rename itself survive a power failure; a failure here loses nothing already written.
void SyncDirectory(const std::string& file) {
    const std::string dir = ExtractFileDir(file);
    const int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// "16 MiB" for a whole number of MiB, else the bytes.
std::string SizeText(size_t bytes) {
    constexpr size_t kMiB = size_t{1} << 20;
    return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB"
                             : std::to_string(bytes) + " bytes";
}

}  // namespace

EFTooLargeError::EFTooLargeError(const std::string& fileName, size_t limit)
    : EFOpenError(fileName, "Not a settings file: larger than " + SizeText(limit)) {}

bool FileEntryExists(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        return true;
    }
    return errno != ENOENT && errno != ENOTDIR;
}

std::string ReadFileText(const std::string& path, size_t limit) {
    // Non-blocking, so that a pipe of that name cannot hang the start; it is refused below.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        throw EFOpenError(path, SysErrorMessage(errno));
    }
    std::string text;
    std::string failure;
    bool tooLarge = false;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        failure = SysErrorMessage(errno);
    } else if (S_ISDIR(st.st_mode)) {
        failure = SysErrorMessage(EISDIR);
    } else if (!S_ISREG(st.st_mode)) {
        failure = "Not a regular file";
    } else if (static_cast<uint64_t>(st.st_size) > limit) {
        tooLarge = true;
    } else {
        text.reserve(static_cast<size_t>(st.st_size));
        char buf[65536];
        // Bounded also for a file that grows while it is read.
        while (text.size() <= limit) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                failure = SysErrorMessage(errno);
            }
            if (n <= 0) {
                break;
            }
            text.append(buf, static_cast<size_t>(n));
        }
        tooLarge = text.size() > limit;
    }
    close(fd);
    if (tooLarge) {
        throw EFTooLargeError(path, limit);
    }
    if (!failure.empty()) {
        throw EFOpenError(path, failure);
    }
    return text;
}

void WriteFileAtomic(const std::string& path, const std::string& text, const TWriteFault& fault) {
    const std::string target = ResolveLink(path);
    if (WriteProtected(target)) {
        throw EFCreateError(path, SysErrorMessage(EACCES));
    }
    TTempFile temp(target);
    int error = temp.CreateError() != 0 ? temp.CreateError() : Asked(fault, TWriteStep::wsCreate);
    if (error == 0) {
        struct stat st {};
        const mode_t mode = (stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                                ? (st.st_mode & 07777)
                                : mode_t{0644};
        fchmod(temp.Fd(), mode);  // without it the file is merely private to the user
        error = WriteAllToFd(temp.Fd(), text);
    }
    if (error == 0) {
        error = Asked(fault, TWriteStep::wsWrite);
    }
    if (error == 0) {
        error = fsync(temp.Fd()) == 0 ? temp.Close() : errno;
    }
    if (error == 0) {
        error = Asked(fault, TWriteStep::wsSync);
    }
    if (error == 0) {
        error = Asked(fault, TWriteStep::wsRename);
    }
    if (error == 0) {
        error = rename(temp.Name().c_str(), target.c_str()) == 0 ? 0 : errno;
    }
    if (error != 0) {
        throw EFCreateError(path, SysErrorMessage(error));
    }
    temp.Renamed();
    SyncDirectory(target);
}
