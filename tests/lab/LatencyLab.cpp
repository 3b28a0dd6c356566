#include "lab/LatencyLab.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "lab/LabProcess.h"

namespace {

std::atomic<int> gNamespaceCount{0};

void WriteSysctl(const std::string& path, const std::string& value) {
    std::ofstream file(path);
    file << value << '\n';
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}

// A test process that was killed (a time-out, a crash) could not tidy up; its namespaces are
// recognised by the pid in their name, and removed once that process is gone.
void RemoveLeftovers() {
    DIR* dir = ::opendir("/run/netns");
    if (dir == nullptr) {
        return;
    }
    std::vector<std::string> stale;
    for (int i = 0; i < 10000; ++i) {
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            break;
        }
        int pid = 0;
        int n = 0;
        char tail = 0;
        if (std::sscanf(entry->d_name, "latmo-%d-%d%c", &pid, &n, &tail) == 2 && pid > 0 &&
            pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) {
            stale.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    for (const std::string& name : stale) {
        try {
            RunProgram({"ip", "netns", "del", name});
        } catch (const std::exception&) {
            // Another lab may have been quicker; what is left is not ours to insist on.
        }
    }
}

}  // namespace

std::string TLatencyLab::Unavailable() {
    if (::geteuid() != 0) {
        return "the latency lab builds network namespaces and needs root; run the tests as root "
               "to include it";
    }
    return std::string();
}

TLatencyLab::TLatencyLab() {
    RemoveLeftovers();
    try {
        FClient = AddNamespace();
        RunProgram({"ip", "-n", FClient, "link", "set", "lo", "up"});
    } catch (...) {
        TearDown();
        throw;
    }
}

TLatencyLab::~TLatencyLab() {
    TearDown();
}

void TLatencyLab::TearDown() noexcept {
    // Responders first: a namespace disappears only when no process is left in it.
    for (const pid_t pid : FResponders) {
        StopProcess(pid);
    }
    FResponders.clear();
    for (auto it = FNamespaces.rbegin(); it != FNamespaces.rend(); ++it) {
        try {
            RunProgram({"ip", "netns", "del", *it});
        } catch (const std::exception& e) {
            std::fprintf(stderr, "latency lab: %s\n", e.what());
        }
    }
    FNamespaces.clear();
}

std::string TLatencyLab::AddNamespace() {
    const std::string name =
        "latmo-" + std::to_string(::getpid()) + "-" + std::to_string(gNamespaceCount++);
    RunProgram({"ip", "netns", "add", name});
    FNamespaces.push_back(name);
    return name;
}

std::string TLatencyLab::AddHost(const TLabHostOptions& options) {
    if (FHosts >= kMaxHosts) {
        throw std::runtime_error("the latency lab has no room for another host");
    }
    const std::string k = std::to_string(++FHosts);
    const std::string host = AddNamespace();
    const std::string clientEnd = "c" + k;
    const std::string hostEnd = "h" + k;
    const std::string address = "198.18." + k + ".2";
    RunProgram({"ip", "-n", FClient, "link", "add", clientEnd, "type", "veth", "peer", "name",
                hostEnd, "netns", host});
    RunProgram({"ip", "-n", FClient, "addr", "add", "198.18." + k + ".1/24", "dev", clientEnd});
    RunProgram({"ip", "-n", FClient, "link", "set", clientEnd, "up"});
    RunProgram({"ip", "-n", host, "addr", "add", address + "/24", "dev", hostEnd});
    RunProgram({"ip", "-n", host, "link", "set", hostEnd, "up"});
    RunProgram({"ip", "-n", host, "link", "set", "lo", "up"});
    RunInNetworkNamespace(host,
                          [] { WriteSysctl("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1"); });

    std::vector<std::string> argv = {"ip", "netns", "exec", host, LATMO_LAB_RESPONDER};
    const std::vector<std::string> arguments = HostArguments(options);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    FResponders.push_back(StartServer(argv, "ready"));
    return address;
}

void TLatencyLab::RunInClient(const std::function<void()>& fn) const {
    RunInNetworkNamespace(FClient, fn);
}

TLatencyLab::TClientGuard TLatencyLab::EnterClient() const {
    const int original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (original < 0) {
        throw std::runtime_error(std::string("/proc/thread-self/ns/net: ") + std::strerror(errno));
    }
    const std::string path = "/run/netns/" + FClient;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const int joined = fd >= 0 ? ::setns(fd, CLONE_NEWNET) : -1;
    const int error = errno;
    if (fd >= 0) {
        ::close(fd);
    }
    if (joined != 0) {
        ::close(original);
        throw std::runtime_error("setns " + FClient + ": " + std::strerror(error));
    }
    return TClientGuard(original);
}

TLatencyLab::TClientGuard::~TClientGuard() {
    if (FOriginal >= 0) {
        ::setns(FOriginal, CLONE_NEWNET);
        ::close(FOriginal);
    }
}

void TLatencyLab::AllowDatagramSockets(bool allow) const {
    RunInClient([allow] {
        WriteSysctl("/proc/sys/net/ipv4/ping_group_range", allow ? "0 2147483647" : "1 0");
    });
}
