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
        SkipDuplicateAddressDetection(FClient);
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

// An IPv6 link's addresses, the link-local ones too, are usable only once the kernel has checked
// that no neighbour has them; a lab link has no such neighbour and need not wait for it.
void TLatencyLab::SkipDuplicateAddressDetection(const std::string& name) {
    RunInNetworkNamespace(name, [] {
        WriteSysctl("/proc/sys/net/ipv6/conf/all/accept_dad", "0");
        WriteSysctl("/proc/sys/net/ipv6/conf/default/accept_dad", "0");
    });
}

std::string TLatencyLab::Ipv6Of(const std::string& host) {
    const size_t first = host.find('.', host.find('.') + 1);
    const size_t second = host.find('.', first + 1);
    return "2001:2:0:" + host.substr(first + 1, second - first - 1) + "::2";
}

std::string TLatencyLab::AddHost(const TLabHostOptions& options) {
    if (FHosts >= kMaxHosts) {
        throw std::runtime_error("the latency lab has no room for another host");
    }
    const std::string k = std::to_string(++FHosts);
    const std::string host = AddNamespace();
    SkipDuplicateAddressDetection(host);
    const std::string clientEnd = "c" + k;
    const std::string hostEnd = "h" + k;
    const std::string address = "198.18." + k + ".2";
    // Fixed link-layer addresses, so that each end can know the other's from the start (below).
    char mac[2][18];
    for (int end = 0; end < 2; ++end) {
        std::snprintf(mac[end], sizeof mac[end], "02:00:00:00:%02x:%02x", FHosts, end + 1);
    }
    RunProgram({"ip", "-n", FClient, "link", "add", clientEnd, "address", mac[0], "type", "veth",
                "peer", "name", hostEnd, "address", mac[1], "netns", host});
    RunProgram({"ip", "-n", FClient, "addr", "add", "198.18." + k + ".1/24", "dev", clientEnd});
    RunProgram({"ip", "-n", FClient, "link", "set", clientEnd, "up"});
    RunProgram({"ip", "-n", host, "addr", "add", address + "/24", "dev", hostEnd});
    // IPv6 beside it, usable at once (no duplicate address detection), with a second host
    // address to answer from as a host with several addresses may.
    const std::string net6 = "2001:2:0:" + k + "::";
    RunProgram({"ip", "-n", FClient, "addr", "add", net6 + "1/64", "dev", clientEnd, "nodad"});
    for (const char* last : {"2", "3"}) {
        RunProgram({"ip", "-n", host, "addr", "add", net6 + last + "/64", "dev", hostEnd, "nodad"});
        // A fresh IPv6 link drops the first neighbour solicitations; one lost costs the first
        // echo a second. Each end is told the other's address instead of asking.
        RunProgram({"ip", "-n", FClient, "-6", "neigh", "add", net6 + last, "lladdr", mac[1], "dev",
                    clientEnd, "nud", "permanent"});
    }
    RunProgram({"ip", "-n", host, "-6", "neigh", "add", net6 + "1", "lladdr", mac[0], "dev",
                hostEnd, "nud", "permanent"});
    RunProgram({"ip", "-n", host, "link", "set", hostEnd, "up"});
    RunProgram({"ip", "-n", host, "link", "set", "lo", "up"});
    RunInNetworkNamespace(host, [] {
        WriteSysctl("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1");
        WriteSysctl("/proc/sys/net/ipv6/icmp/echo_ignore_all", "1");
    });

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
