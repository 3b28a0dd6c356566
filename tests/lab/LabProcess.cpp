#include "lab/LabProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <thread>

namespace {

using TClock = std::chrono::steady_clock;

std::string Joined(const std::vector<std::string>& argv) {
    std::string text;
    for (const std::string& word : argv) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

// fork() and exec() with the child's standard output (and, when asked, its standard error) on
// a pipe; returns the child and the pipe's read end. The child dies with its parent thread's
// process so that a crashed test leaves no responder behind.
pid_t Spawn(const std::vector<std::string>& argv, bool withStderr, int& output) {
    // Everything the child needs is prepared before fork(): after it, only async-signal-safe
    // calls are allowed in a threaded process.
    std::vector<char*> args;
    for (const std::string& word : argv) {
        args.push_back(const_cast<char*>(word.c_str()));
    }
    args.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw std::runtime_error("fork: " + std::string(std::strerror(errno)));
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        ::dup2(fds[1], STDOUT_FILENO);
        if (withStderr) {
            ::dup2(fds[1], STDERR_FILENO);
        }
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    output = fds[0];
    return pid;
}

// Reads from fd until end of file, `until` appears, or the deadline passes; returns what came.
std::string ReadUntil(int fd, const std::string& until, TClock::time_point deadline) {
    std::string text;
    char chunk[512];
    while (until.empty() || text.find(until) == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count()) + 1) <= 0) {
            break;
        }
        const ssize_t size = ::read(fd, chunk, sizeof chunk);
        if (size <= 0) {
            break;
        }
        text.append(chunk, static_cast<size_t>(size));
    }
    return text;
}

// Waits for the child to end until the deadline; true when it was reaped.
bool Reap(pid_t pid, TClock::time_point deadline, int& status) {
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            return true;
        }
        if (TClock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

void RunProgram(const std::vector<std::string>& argv, int timeoutMs) {
    int output = -1;
    const pid_t pid = Spawn(argv, true, output);
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string text = ReadUntil(output, std::string(), deadline);
    ::close(output);
    int status = 0;
    if (!Reap(pid, deadline, status)) {
        StopProcess(pid, 0);
        throw std::runtime_error("'" + Joined(argv) + "' did not end in time");
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("'" + Joined(argv) + "' failed: " + text);
    }
}

pid_t StartServer(const std::vector<std::string>& argv, const std::string& readyLine,
                  int timeoutMs) {
    int output = -1;
    const pid_t pid = Spawn(argv, false, output);
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string text = ReadUntil(output, readyLine + "\n", deadline);
    ::close(output);
    if (text.find(readyLine + "\n") == std::string::npos) {
        StopProcess(pid, 0);
        throw std::runtime_error("'" + Joined(argv) + "' did not get ready");
    }
    return pid;
}

void StopProcess(pid_t pid, int graceMs) {
    int status = 0;
    ::kill(pid, SIGTERM);
    if (!Reap(pid, TClock::now() + std::chrono::milliseconds(graceMs), status)) {
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

void RunInNetworkNamespace(const std::string& name, const std::function<void()>& fn) {
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            const std::string path = "/run/netns/" + name;
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                throw std::runtime_error(path + ": " + std::strerror(errno));
            }
            const int joined = ::setns(fd, CLONE_NEWNET);
            const int error = errno;
            ::close(fd);
            if (joined != 0) {
                throw std::runtime_error("setns " + name + ": " + std::strerror(error));
            }
            fn();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    worker.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
}
