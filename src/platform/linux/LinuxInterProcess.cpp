#include "platform/linux/LinuxInterProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/linux/CopyMessageWire.h"
#include "platform/linux/LinuxMessagePort.h"
#include "platform/linux/LinuxSharedFiles.h"

namespace {

// How many names under /tmp the guard's folder may take, when others have taken the first.
constexpr int kTmpChoices = 8;
// How long an asking copy waits for the asked one to take its connection.
constexpr int kConnectTimeoutMs = 1000;

uint64_t Fnv1a64(const std::string& text) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string Hex16(uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

// A real folder (not a link to one) that this user owns and nobody else may enter.
bool PrivateDirectory(const std::string& dir) {
    struct stat st {};
    return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 077) == 0;
}

// Makes dir when nothing has its name; true when it is then a private folder.
bool MakePrivateDirectory(const std::string& dir) {
    return (mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) && PrivateDirectory(dir);
}

// The names the guard's folder may have under /tmp, the first one first.
std::vector<std::string> TmpChoices() {
    const std::string uid = std::to_string(geteuid());
    std::vector<std::string> names;
    for (int i = 0; i < kTmpChoices; ++i) {
        names.push_back("/tmp/latmo-" + uid + (i == 0 ? "" : "." + std::to_string(i)));
    }
    return names;
}

// What keeps a name from being the guard's folder, as the end of a sentence about it or about
// several: {for one, for more}.
std::pair<std::string, std::string> WhyNotPrivate(const std::string& dir) {
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) {
        const std::string why = std::string(" cannot be made (") + std::strerror(errno) + ")";
        return {why, why};
    }
    if (st.st_uid != geteuid()) {
        const passwd* owner = getpwuid(st.st_uid);
        const std::string who = std::string(" to another user, ") +
                                (owner != nullptr ? owner->pw_name : "unnamed") + " (uid " +
                                std::to_string(st.st_uid) + ")";
        return {" belongs" + who, " belong" + who};
    }
    const std::string what =
        !S_ISDIR(st.st_mode) ? " yours but not a folder" : " yours but open to other users";
    return {" is" + what, " are" + what};
}

std::string SharedPath(const std::string& name) {
    const std::string dir = TLinuxInterProcess::GuardDirectory();
    return dir.empty() ? std::string() : dir + "/" + TLinuxInterProcess::ObjectName(name);
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A connection to a copy's port that only reaches a process of this user; -1 when none. A copy
// that takes no connections now (stopped, or too many waiting) holds the sender up to waitMs.
int ConnectPort(const std::string& path, int waitMs) {
    sockaddr_un address;
    if (!FillAddress(path, address)) {
        return -1;
    }
    const int fd =
        socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | (waitMs > 0 ? 0 : SOCK_NONBLOCK), 0);
    if (fd < 0) {
        return -1;
    }
    timeval limit{waitMs / 1000, (waitMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    int rc;
    do {
        rc = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    ucred peer{};
    socklen_t length = sizeof peer;
    if (rc != 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        peer.uid != geteuid()) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendPacket(int fd, const TCopyMessage& message) {
    const std::string packet = EncodeCopyMessage(message);
    if (packet.empty()) {
        return false;
    }
    ssize_t n;
    do {
        n = send(fd, packet.data(), packet.size(), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(packet.size());
}

}  // namespace

std::string TLinuxInterProcess::ObjectName(const std::string& name) {
    if (name.size() <= kMaxObjectName) {
        return name;
    }
    return name.substr(0, kMaxObjectName - 17) + "~" + Hex16(Fnv1a64(name));
}

std::string TLinuxInterProcess::GuardDirectory() {
    const std::string uid = std::to_string(geteuid());
    // logind's runtime folder; the environment's XDG_RUNTIME_DIR may differ between copies.
    const std::string runtime = "/run/user/" + uid;
    if (PrivateDirectory(runtime) && MakePrivateDirectory(runtime + "/latmo")) {
        return runtime + "/latmo";
    }
    const std::vector<std::string> names = TmpChoices();
    // One that exists first: copies started before another user took the first free name
    // keep meeting there.
    for (const std::string& name : names) {
        if (PrivateDirectory(name)) {
            return name;
        }
    }
    for (const std::string& name : names) {
        if (MakePrivateDirectory(name)) {
            return name;
        }
    }
    return std::string();
}

std::string TLinuxInterProcess::GuardDirectoryBlocked() {
    if (!GuardDirectory().empty()) {
        return std::string();
    }
    const std::vector<std::string> names = TmpChoices();
    std::string text;
    for (size_t first = 0; first < names.size();) {
        const auto why = WhyNotPrivate(names[first]);
        size_t last = first;
        while (last + 1 < names.size() && WhyNotPrivate(names[last + 1]) == why) {
            ++last;
        }
        text += (text.empty() ? "" : "; ") +
                (first == last ? names[first] + why.first
                               : names[first] + " to " + names[last] + why.second);
        first = last + 1;
    }
    return text;
}

std::string TLinuxInterProcess::ObjectsBlocked() const {
    return GuardDirectoryBlocked();
}

namespace {

// open(path) in the guard's folder, again in a folder made anew where the last copy removed it
// in between (ENOENT).
template <typename TOpen>
auto InGuardFolder(const std::string& name, bool& existed, int& error, TOpen open)
    -> decltype(open(std::string())) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::string path = SharedPath(name);
        if (path.empty()) {
            existed = false;
            error = EACCES;
            return nullptr;
        }
        auto opened = open(path);
        if (opened != nullptr || error != ENOENT) {
            return opened;
        }
    }
    return nullptr;
}

}  // namespace

void TLinuxInterProcess::RemoveFromGuardFolder(const std::string& path) {
    unlink(path.c_str());
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        rmdir(path.substr(0, slash).c_str());  // fails, as it should, while other files remain
    }
}

std::unique_ptr<TSharedBlock> TLinuxInterProcess::OpenSharedBlock(const std::string& name,
                                                                  size_t size, bool& existed,
                                                                  int& error) {
    return InGuardFolder(name, existed, error, [&](const std::string& path) {
        return OpenSharedFile(path, size, existed, error);
    });
}

std::unique_ptr<TNamedLock> TLinuxInterProcess::OpenLock(const std::string& name, bool& existed,
                                                         int& error) {
    return InGuardFolder(name, existed, error, [&](const std::string& path) {
        return OpenLockFile(path, existed, error);
    });
}

void TLinuxInterProcess::RemoveShared(const std::string& name) {
    const std::string path = SharedPath(name);
    if (!path.empty()) {
        RemoveFromGuardFolder(path);
    }
}

std::string TLinuxInterProcess::ErrorText(int error) const {
    return std::strerror(error);
}

uint32_t TLinuxInterProcess::CurrentProcessId() const {
    return static_cast<uint32_t>(getpid());
}

uint32_t TLinuxInterProcess::CurrentThreadId() const {
    return static_cast<uint32_t>(gettid());
}

unsigned TLinuxInterProcess::ProcessorCount() const {
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<unsigned>(n) : 1;
}

uint64_t TLinuxInterProcess::ParseStartTime(const std::string& statText) {
    // The command name in parentheses may hold blanks and parentheses itself; the fields
    // after the last ")" start with the state (field 3); the start time is field 22.
    const auto close = statText.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(statText.substr(close + 1));
    std::string field;
    for (int number = 3; number <= 22 && fields >> field; ++number) {
        if (number == 3 && (field == "Z" || field == "X")) {
            return 0;  // ended; only its parent has not collected it yet
        }
        if (number == 22) {
            char* end = nullptr;
            const unsigned long long ticks = std::strtoull(field.c_str(), &end, 10);
            // One more, so that a process started at tick 0 is not taken for none.
            return end != nullptr && *end == '\0' ? ticks + 1 : 0;
        }
    }
    return 0;
}

uint64_t TLinuxInterProcess::StartTime(uint32_t id) const {
    if (id == 0) {
        return 0;
    }
    std::ifstream in("/proc/" + std::to_string(id) + "/stat");
    std::string text;
    if (!in || !std::getline(in, text)) {
        return 0;
    }
    return ParseStartTime(text);
}

std::vector<std::string> TLinuxInterProcess::CommandLineParameters() const {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> parameters;
    std::string item;
    bool first = true;
    while (std::getline(in, item, '\0')) {
        if (!first) {
            parameters.push_back(item);
        }
        first = false;
    }
    return parameters;
}

uint32_t TLinuxInterProcess::RegisterWindowMessage(const std::string& name) const {
    return kFirstRegisteredMessage + static_cast<uint32_t>(Fnv1a64(name) % 0x4000);
}

std::string TLinuxInterProcess::PortPath(const std::string& channel, uint32_t processId) {
    const std::string dir = GuardDirectory();
    if (dir.empty()) {
        return std::string();
    }
    return dir + "/" + Hex16(Fnv1a64(channel)) + "-" + std::to_string(processId);
}

std::unique_ptr<TMessagePort> TLinuxInterProcess::OpenPort(const std::string& channel,
                                                           uint32_t processId) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::string path = PortPath(channel, processId);
        sockaddr_un address;
        if (!FillAddress(path, address)) {
            return nullptr;
        }
        // Left behind by an earlier process that had this id and was killed.
        unlink(path.c_str());
        const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            return nullptr;
        }
        if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            chmod(path.c_str(), 0600) == 0 && listen(fd, SOMAXCONN) == 0) {
            return std::make_unique<TLinuxMessagePort>(fd, path);
        }
        const int error = errno;
        close(fd);
        unlink(path.c_str());
        if (error != ENOENT) {
            return nullptr;  // ENOENT: the last copy removed the folder in between
        }
    }
    return nullptr;
}

bool TLinuxInterProcess::PortExists(const std::string& channel, uint32_t processId) const {
    const std::string path = PortPath(channel, processId);
    struct stat st {};
    return !path.empty() && lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) &&
           st.st_uid == geteuid();
}

void TLinuxInterProcess::RemovePort(const std::string& channel, uint32_t processId) {
    const std::string path = PortPath(channel, processId);
    if (!path.empty()) {
        RemoveFromGuardFolder(path);
    }
}

void TLinuxInterProcess::RemoveEndedPorts(const std::string& channel) {
    const std::string dir = GuardDirectory();
    DIR* folder = dir.empty() ? nullptr : opendir(dir.c_str());
    if (folder == nullptr) {
        return;
    }
    const std::string prefix = Hex16(Fnv1a64(channel)) + "-";
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        char* end = nullptr;
        const unsigned long pid =
            name.rfind(prefix, 0) == 0 ? std::strtoul(name.c_str() + prefix.size(), &end, 10) : 0;
        if (pid != 0 && end != nullptr && *end == '\0' &&
            StartTime(static_cast<uint32_t>(pid)) == 0) {
            unlinkat(dirfd(folder), name.c_str(), 0);
        }
    }
    closedir(folder);
}

bool TLinuxInterProcess::PostMessage(const std::string& channel, uint32_t processId,
                                     const TCopyMessage& message, int waitMs) {
    const int fd = ConnectPort(PortPath(channel, processId), waitMs);
    if (fd < 0) {
        return false;
    }
    const bool sent = SendPacket(fd, message);
    close(fd);
    return sent;
}

bool TLinuxInterProcess::SendMessage(const std::string& channel, uint32_t processId,
                                     const TCopyMessage& message, TCopyMessage& answer,
                                     int timeoutMs, TMessagePort* own,
                                     const std::function<void()>& serve) {
    const int fd = ConnectPort(PortPath(channel, processId), kConnectTimeoutMs);
    if (fd < 0) {
        return false;
    }
    if (!SendPacket(fd, message)) {
        close(fd);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool answered = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        pollfd p[2] = {{fd, POLLIN, 0}, {own != nullptr ? own->Descriptor() : -1, POLLIN, 0}};
        const int ready = poll(p, own != nullptr && serve ? 2 : 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        if ((p[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            answered = ReadCopyMessage(fd, answer, 0);
            break;
        }
        if ((p[1].revents & POLLIN) != 0) {
            serve();
        }
    }
    close(fd);
    return answered;
}
