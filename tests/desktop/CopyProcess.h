#pragma once
// One running copy of the guard's test program (GuardCopy.cpp) for the guard tests: its
// standard input to give commands, its standard output read line by line with a bounded wait.

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <map>
#include <string>
#include <vector>

extern char** environ;

struct TCopyOptions {
    // Runs the program under these first (setpriv as another user).
    std::vector<std::string> Prefix;
    std::map<std::string, std::string> Env;
    std::vector<std::string> Unset;
    // Given to the copy as its descriptor 3 (the start gate), when not -1.
    int Gate = -1;
};

class TCopy {
public:
    TCopy(const std::string& program, const std::vector<std::string>& params,
          const TCopyOptions& options) {
        int in[2], out[2];
        EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        if (options.Gate >= 0) {
            posix_spawn_file_actions_adddup2(&actions, options.Gate, 3);
        }
        std::vector<std::string> argvText = options.Prefix;
        argvText.push_back(program);
        argvText.insert(argvText.end(), params.begin(), params.end());
        std::vector<std::string> envText;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            const std::string name = entry.substr(0, entry.find('='));
            if (options.Env.count(name) == 0 &&
                std::find(options.Unset.begin(), options.Unset.end(), name) ==
                    options.Unset.end()) {
                envText.push_back(entry);
            }
        }
        for (const auto& [k, v] : options.Env) {
            envText.push_back(k + "=" + v);
        }
        std::vector<char*> argv, envp;
        for (auto& a : argvText) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        for (auto& e : envText) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        FIn = in[1];
        FOut = out[0];
    }
    ~TCopy() {
        EndInput();
        if (FPid > 0 && Wait(3000) == kStillRunning) {
            kill(FPid, SIGKILL);
            Reap();
        }
        close(FOut);
    }
    TCopy(const TCopy&) = delete;
    TCopy& operator=(const TCopy&) = delete;

    static constexpr int kStillRunning = -1000;

    // Reads until a line starting with prefix comes; false when the copy ends or time runs out.
    bool WaitFor(const std::string& prefix, std::string* found = nullptr, int timeoutMs = 10000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            while (FNext < Lines.size()) {
                const std::string& line = Lines[FNext++];
                if (line.rfind(prefix, 0) == 0) {
                    if (found != nullptr) {
                        *found = line;
                    }
                    return true;
                }
            }
            if (!ReadMore(deadline)) {
                return false;
            }
        }
    }
    // Reads until n lines in all start with prefix, wherever they came; false when the copy ends
    // or time runs out first.
    bool WaitForCount(const std::string& prefix, int n, int timeoutMs = 10000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Said(prefix) < n) {
            if (!ReadMore(deadline)) {
                return false;
            }
        }
        return true;
    }
    // How many lines read so far start with prefix.
    int Said(const std::string& prefix) const {
        int n = 0;
        for (const std::string& line : Lines) {
            n += line.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return n;
    }
    void Send(const std::string& command) {
        const std::string line = command + "\n";
        EXPECT_EQ(write(FIn, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }
    // The end of its input ends the copy in order.
    void EndInput() {
        if (FIn >= 0) {
            close(FIn);
            FIn = -1;
        }
    }
    // The exit code, or kStillRunning after timeoutMs.
    int Wait(int timeoutMs) {
        for (int waited = 0; waited <= timeoutMs; waited += 10) {
            int status = 0;
            if (waitpid(FPid, &status, WNOHANG) == FPid) {
                FPid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return kStillRunning;
    }
    // Signals the copy; reaping is left to the caller, so it can stay a zombie for a while.
    // A copy killed outright has ended when this returns, but is not yet collected: a zombie,
    // as a crashed copy's parent may leave it.
    void Kill(int signal = SIGKILL) {
        kill(FPid, signal);
        siginfo_t info{};
        while (signal == SIGKILL && FPid > 0 &&
               waitid(P_PID, static_cast<id_t>(FPid), &info, WEXITED | WNOWAIT) != 0 &&
               errno == EINTR) {
        }
    }
    void Reap() {
        if (FPid > 0) {
            waitpid(FPid, nullptr, 0);
            FPid = -1;
        }
    }
    pid_t Pid() const { return FPid; }

    std::vector<std::string> Lines;

private:
    // Reads what the copy has written next; false when it ended or the deadline passed.
    bool ReadMore(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{FOut, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
            return false;
        }
        char buf[4096];
        const ssize_t n = read(FOut, buf, sizeof buf);
        if (n <= 0) {
            return false;
        }
        FPartial.append(buf, static_cast<size_t>(n));
        for (size_t nl; (nl = FPartial.find('\n')) != std::string::npos;) {
            Lines.push_back(FPartial.substr(0, nl));
            FPartial.erase(0, nl + 1);
        }
        return true;
    }

    pid_t FPid = -1;
    int FIn = -1;
    int FOut = -1;
    std::string FPartial;
    size_t FNext = 0;
};
