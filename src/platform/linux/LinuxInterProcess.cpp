#include "platform/linux/LinuxInterProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <semaphore.h>
#include <sys/mman.h>
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

#include "platform/linux/CopyMessageWire.h"

namespace {

constexpr size_t kMaxObjectName = 251;
// How long a copy may keep a sender waiting for a connection or for the rest of a packet.
constexpr int kConnectTimeoutMs = 1000;
constexpr int kPacketTimeoutMs = 500;

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

// A directory that this user owns and nobody else may enter.
bool PrivateDirectory(const std::string& dir) {
    struct stat st {};
    return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 077) == 0;
}

std::string MakePrivateDirectory(const std::string& dir) {
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return std::string();
    }
    return PrivateDirectory(dir) ? dir : std::string();
}

// The shared objects of another user must not be used: whoever made them could read and
// change what is in them.
bool OwnedByUs(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && st.st_uid == geteuid();
}

class TLinuxSharedBlock : public TSharedBlock {
public:
    TLinuxSharedBlock(uint8_t* data, size_t size) : FData(data), FSize(size) {}
    ~TLinuxSharedBlock() override { munmap(FData, FSize); }
    uint8_t* Data() const override { return FData; }
    size_t Size() const override { return FSize; }

private:
    uint8_t* FData;
    size_t FSize;
};

class TLinuxNamedEvent : public TNamedEvent {
public:
    explicit TLinuxNamedEvent(sem_t* sem) : FSem(sem) {}
    ~TLinuxNamedEvent() override { sem_close(FSem); }

    bool Set() override { return sem_post(FSem) == 0; }
    bool Wait(int timeoutMs) override {
        timespec until{};
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_sec += timeoutMs / 1000;
        until.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
        if (until.tv_nsec >= 1000000000L) {
            until.tv_sec += 1;
            until.tv_nsec -= 1000000000L;
        }
        int rc;
        do {
            rc = sem_clockwait(FSem, CLOCK_MONOTONIC, &until);
        } while (rc != 0 && errno == EINTR);
        return rc == 0;
    }

private:
    sem_t* FSem;
};

class TLinuxMessagePort : public TMessagePort {
public:
    TLinuxMessagePort(int listenFd, std::string path) : FListen(listenFd), FPath(std::move(path)) {}
    ~TLinuxMessagePort() override {
        CloseCurrent();
        close(FListen);
        unlink(FPath.c_str());
    }

    int Descriptor() const override { return FListen; }

    TReceive Receive(TCopyMessage& message) override {
        CloseCurrent();
        int fd;
        do {
            fd = accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            return TReceive::rNone;
        }
        ucred peer{};
        socklen_t length = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != geteuid() ||
            !ReadCopyMessage(fd, message, kPacketTimeoutMs)) {
            close(fd);
            return TReceive::rDropped;
        }
        FCurrent = fd;
        return TReceive::rMessage;
    }

    void Reply(const TCopyMessage& answer) override {
        if (FCurrent < 0) {
            return;
        }
        const std::string packet = EncodeCopyMessage(answer);
        (void)!send(FCurrent, packet.data(), packet.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        CloseCurrent();
    }

private:
    void CloseCurrent() {
        if (FCurrent >= 0) {
            close(FCurrent);
            FCurrent = -1;
        }
    }

    int FListen;
    std::string FPath;
    int FCurrent = -1;
};

bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A connection to a copy's port that only reaches a process of this user; -1 when none.
int ConnectPort(const std::string& path) {
    sockaddr_un address;
    if (!FillAddress(path, address)) {
        return -1;
    }
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    // A copy that does not take its connections (hung, stopped) holds a sender up this long.
    timeval limit{kConnectTimeoutMs / 1000, (kConnectTimeoutMs % 1000) * 1000};
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
    // Named objects are the user's own, as Windows keeps them per session: two users running
    // the same program file never meet.
    std::string full = "u" + std::to_string(geteuid()) + "_" + name;
    if (full.size() > kMaxObjectName) {
        full = full.substr(0, kMaxObjectName - 17) + "~" + Hex16(Fnv1a64(full));
    }
    return "/" + full;
}

std::unique_ptr<TSharedBlock> TLinuxInterProcess::OpenSharedBlock(const std::string& name,
                                                                  size_t size, bool& existed,
                                                                  int& error) {
    const std::string objectName = ObjectName(name);
    existed = false;
    int fd = shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        existed = true;
        fd = shm_open(objectName.c_str(), O_RDWR | O_CLOEXEC, 0600);
    }
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    struct stat st {};
    if (!OwnedByUs(fd) || fstat(fd, &st) != 0) {
        close(fd);
        error = EACCES;
        return nullptr;
    }
    // A fresh object has no bytes yet; growing it fills it with zeros.
    if (static_cast<size_t>(st.st_size) < size && ftruncate(fd, static_cast<off_t>(size)) != 0) {
        error = errno;
        close(fd);
        return nullptr;
    }
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    error = errno;
    close(fd);
    if (data == MAP_FAILED) {
        return nullptr;
    }
    return std::make_unique<TLinuxSharedBlock>(static_cast<uint8_t*>(data), size);
}

std::unique_ptr<TNamedEvent> TLinuxInterProcess::OpenEvent(const std::string& name, bool& existed,
                                                           int& error) {
    const std::string objectName = ObjectName(name);
    existed = false;
    sem_t* sem = sem_open(objectName.c_str(), O_CREAT | O_EXCL, 0600, 0);
    if (sem == SEM_FAILED && errno == EEXIST) {
        existed = true;
        sem = sem_open(objectName.c_str(), 0);
    }
    if (sem == SEM_FAILED) {
        error = errno;
        return nullptr;
    }
    // glibc keeps named semaphores as files "sem.<name>" in /dev/shm.
    struct stat st {};
    if (stat(("/dev/shm/sem." + objectName.substr(1)).c_str(), &st) == 0 &&
        st.st_uid != geteuid()) {
        sem_close(sem);
        error = EACCES;
        return nullptr;
    }
    return std::make_unique<TLinuxNamedEvent>(sem);
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

std::string TLinuxInterProcess::PortDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && PrivateDirectory(runtime)) {
        const std::string dir = MakePrivateDirectory(std::string(runtime) + "/latmo");
        // A socket's path is short; a deep runtime directory would leave no room for it.
        if (!dir.empty() && dir.size() + 40 < sizeof(sockaddr_un::sun_path)) {
            return dir;
        }
    }
    return MakePrivateDirectory("/tmp/latmo-" + std::to_string(geteuid()));
}

std::string TLinuxInterProcess::PortPath(const std::string& channel, uint32_t processId) {
    const std::string dir = PortDirectory();
    if (dir.empty()) {
        return std::string();
    }
    return dir + "/" + Hex16(Fnv1a64(channel)) + "-" + std::to_string(processId);
}

std::unique_ptr<TMessagePort> TLinuxInterProcess::OpenPort(const std::string& channel,
                                                           uint32_t processId) {
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
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        chmod(path.c_str(), 0600) != 0 || listen(fd, 64) != 0) {
        close(fd);
        unlink(path.c_str());
        return nullptr;
    }
    return std::make_unique<TLinuxMessagePort>(fd, path);
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
        unlink(path.c_str());
    }
}

bool TLinuxInterProcess::PostMessage(const std::string& channel, uint32_t processId,
                                     const TCopyMessage& message) {
    const int fd = ConnectPort(PortPath(channel, processId));
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
    const int fd = ConnectPort(PortPath(channel, processId));
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
