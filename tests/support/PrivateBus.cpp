#include "support/PrivateBus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

const char* const kConfig =
    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
    "<busconfig><type>session</type><listen>unix:dir=%DIR%</listen><auth>EXTERNAL</auth>\n"
    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";

}  // namespace

TPrivateBus::TPrivateBus() {
    std::string pattern = (std::filesystem::temp_directory_path() / "latmo-bus-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        FProblem = "no scratch directory";
        return;
    }
    FDir = pattern;
    std::string config = kConfig;
    config.replace(config.find("%DIR%"), 5, FDir);
    const std::string configPath = FDir + "/bus.conf";
    std::ofstream(configPath) << config;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        FProblem = "no pipe";
        return;
    }
    const std::string configArg = "--config-file=" + configPath;
    FPid = fork();
    if (FPid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        execlp("dbus-daemon", "dbus-daemon", configArg.c_str(), "--nofork", "--print-address=1",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // The address comes on one line once the bus listens.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{fds[0], POLLIN, 0};
        char chunk[256];
        if (poll(&ready, 1, 100) <= 0) {
            continue;
        }
        const ssize_t n = read(fds[0], chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        line.append(chunk, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (FPid < 0 || line.find('\n') == std::string::npos) {
        FProblem = "dbus-daemon did not start (tools/install-deps installs it)";
        return;
    }
    FAddress = line.substr(0, line.find('\n'));
}

TPrivateBus::~TPrivateBus() {
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        int status = 0;
        bool reaped = false;
        for (int i = 0; i < 200 && !reaped; ++i) {
            reaped = waitpid(FPid, &status, WNOHANG) == FPid;
            if (!reaped) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        if (!reaped) {
            kill(FPid, SIGKILL);
            while (waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    if (!FDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(FDir, ignored);
    }
}
