#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace {

std::string DirOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return std::string();
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithSlash(const std::string& dir) {
    return dir.empty() || dir.back() == '/' ? dir : dir + '/';
}

// Writes all bytes to an open descriptor, going on after interruptions and short writes.
// Returns 0, or the errno of the failure (EIO when the device takes nothing more).
int WriteAllToFd(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return EIO;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

// One write, so that other writers' lines never come between its bytes; what a full disk took
// of it is cut off again.
int AppendWhole(int fd, off_t size, const std::string& data) {
    ssize_t n;
    while ((n = write(fd, data.data(), data.size())) < 0 && errno == EINTR) {
    }
    if (n == static_cast<ssize_t>(data.size())) {
        return 0;
    }
    const int error = n < 0 ? errno : ENOSPC;
    if (n > 0 && ftruncate(fd, size) != 0) {
        return errno;
    }
    return error;
}

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
        const std::string dir = DirOf(target);
        FName = (dir.empty() ? std::string() : WithSlash(dir)) + "." + NameOf(target) + ".XXXXXX";
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
    const std::string dir = DirOf(file);
    const int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

std::string ProgramPath() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        return "latmo";
    }
    return std::string(buf, static_cast<size_t>(n));
}

bool DirectoryWritable(const std::string& dir) {
    return access(dir.empty() ? "." : dir.c_str(), W_OK | X_OK) == 0;
}

std::string UserHomeDir(const std::string& kind) {
    const std::string var = "XDG_" + kind + "_HOME";
    if (const char* v = std::getenv(var.c_str()); v != nullptr && v[0] == '/') {
        return v;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && home[0] != '\0' ? home : "/tmp") +
           (kind == "STATE"  ? "/.local/state"
            : kind == "DATA" ? "/.local/share"
                             : "/.config");
}

std::string UserProgramDir(const std::string& kind) {
    return WithSlash(UserHomeDir(kind)) + "latmo";
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::string& dir) {
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string AppendToFile(const std::string& path, const std::string& data) {
    // A link is followed only where nobody else could have made it; the check and the open
    // agree, since O_NOFOLLOW refuses a link put in its place in between.
    struct stat link {};
    const bool ownLink = lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
                         (link.st_uid == geteuid() || link.st_uid == 0);
    // A pipe without a reader fails at once instead of waiting for one.
    const int fd = open(path.c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY |
                            (ownLink ? 0 : O_NOFOLLOW),
                        0644);
    if (fd < 0) {
        return errno == ELOOP ? "A link of another user" : SysErrorMessage(errno);
    }
    std::string problem;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        problem = SysErrorMessage(errno);
    } else if (!S_ISREG(st.st_mode)) {
        problem = "Not a regular file";
    } else if (const int error = AppendWhole(fd, st.st_size, data); error != 0) {
        problem = SysErrorMessage(error);
    }
    if (close(fd) != 0 && problem.empty()) {
        problem = SysErrorMessage(errno);
    }
    return problem;
}

std::string SysErrorMessage(int error) {
    return std::generic_category().message(error);
}

bool FileEntryExists(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        return true;
    }
    return errno != ENOENT && errno != ENOTDIR;
}

std::string ReadWholeFile(const std::string& path, size_t limit, std::string& text,
                          bool& tooLarge) {
    // Non-blocking, so that a pipe of that name cannot hang the start; it is refused below.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return SysErrorMessage(errno);
    }
    std::string failure;
    tooLarge = false;
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
        text.clear();
    }
    return failure;
}

int ReplaceFileWith(const std::string& path, const std::string& text, const TWriteFault& fault) {
    const std::string target = ResolveLink(path);
    if (WriteProtected(target)) {
        return EACCES;
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
        return error;
    }
    temp.Renamed();
    SyncDirectory(target);
    return 0;
}
