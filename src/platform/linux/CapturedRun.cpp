#include "platform/linux/CapturedRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern char** environ;

namespace {

// More than any ping prints about one echo; the rest is read and dropped.
constexpr size_t kMaxOutput = 64 * 1024;

int64_t NowUs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1000000 + t.tv_nsec / 1000;
}

// Our environment with the locale set to C, so that what the program prints is the English
// text with "." as the decimal separator that the caller parses.
std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> result;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("LC_", 0) != 0 && entry.rfind("LANG=", 0) != 0 &&
            entry.rfind("LANGUAGE=", 0) != 0) {
            result.push_back(entry);
        }
    }
    result.emplace_back("LC_ALL=C");
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

class TDescriptor {
public:
    explicit TDescriptor(int fd = -1) : FFd(fd) {}
    ~TDescriptor() { Close(); }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return FFd; }
    void Close() {
        if (FFd >= 0) {
            ::close(FFd);
            FFd = -1;
        }
    }

private:
    int FFd;
};

}  // namespace

pid_t SpawnWithOutput(const std::string& program, const std::vector<std::string>& args,
                      int outputFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    posix_spawn_file_actions_adddup2(&actions, outputFd, 2);
    // The child starts with default signal handling and nothing blocked, whatever our threads
    // have set up for themselves.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argv = args;
    std::vector<std::string> envp = ChildEnvironment();
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> envpPointers = Pointers(envp);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argvPointers.data(),
                                  envpPointers.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

namespace {

int Reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TCapturedRun RunCaptured(const std::string& program, const std::vector<std::string>& args,
                         int64_t deadlineMs, TStopSignal stop) {
    TCapturedRun run;
    const int64_t start = NowUs();
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return run;
    }
    TDescriptor readEnd(pipeFds[0]);
    TDescriptor writeEnd(pipeFds[1]);
    const pid_t pid = SpawnWithOutput(program, args, writeEnd.Get());
    writeEnd.Close();
    if (pid < 0) {
        return run;
    }
    // A descriptor for the child itself, so that its end is waited for like its output.
    TDescriptor child(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));

    const int64_t deadline = start + deadlineMs * 1000;
    bool outputOpen = true;
    run.End = TCapturedRun::TEnd::Exited;
    for (;;) {
        const int64_t left = deadline - NowUs();
        if (left <= 0) {
            run.End = TCapturedRun::TEnd::TimedOut;
            break;
        }
        // Once the output has ended, the child's exit is what is waited for; a kernel without
        // process descriptors leaves the exit to the blocking reap below.
        pollfd waits[2] = {{outputOpen ? readEnd.Get() : child.Get(), POLLIN, 0},
                           {static_cast<int>(stop), POLLIN, 0}};
        if (!outputOpen && child.Get() < 0) {
            break;
        }
        const int polled = ::poll(waits, 2, static_cast<int>((left + 999) / 1000));
        if (polled < 0 && errno != EINTR) {
            run.End = TCapturedRun::TEnd::TimedOut;
            break;
        }
        if (polled <= 0) {
            continue;
        }
        if ((waits[1].revents & POLLIN) != 0) {
            run.End = TCapturedRun::TEnd::Cancelled;
            break;
        }
        if (waits[0].revents == 0) {
            continue;
        }
        if (!outputOpen) {
            break;  // the child has ended
        }
        char buffer[4096];
        const ssize_t got = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (got > 0) {
            run.Output.append(buffer,
                              std::min(static_cast<size_t>(got),
                                       kMaxOutput - std::min(kMaxOutput, run.Output.size())));
        } else if (got == 0 || errno != EINTR) {
            outputOpen = false;
            run.Microseconds = NowUs() - start;
        }
    }
    if (run.End != TCapturedRun::TEnd::Exited) {
        ::kill(pid, SIGKILL);
        run.Microseconds = NowUs() - start;
    }
    const int code = Reap(pid);
    if (run.End == TCapturedRun::TEnd::Exited) {
        run.ExitCode = code;
    }
    return run;
}
