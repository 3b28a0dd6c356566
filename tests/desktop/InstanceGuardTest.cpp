// The instance guard between real processes: copies of a small program built on the guard are
// started, asked and killed as a user would, each test from a program path of its own.

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "desktop/JclAppInstances.h"
#include "platform/linux/CopyMessageWire.h"
#include "platform/linux/LinuxInterProcess.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// One running copy: its standard input to give commands, its standard output read line by
// line with a bounded wait.
class TCopy {
public:
    TCopy(const std::string& program, const std::vector<std::string>& params,
          const std::map<std::string, std::string>& env) {
        int in[2], out[2];
        EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<std::string> argvText{program};
        argvText.insert(argvText.end(), params.begin(), params.end());
        std::vector<char*> argv;
        for (auto& a : argvText) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::vector<std::string> envText;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            if (env.count(entry.substr(0, entry.find('='))) == 0) {
                envText.push_back(entry);
            }
        }
        for (const auto& [k, v] : env) {
            envText.push_back(k + "=" + v);
        }
        std::vector<char*> envp;
        for (auto& e : envText) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&FPid, program.c_str(), &actions, nullptr, argv.data(), envp.data()),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        FIn = in[1];
        FOut = out[0];
    }
    ~TCopy() {
        if (FIn >= 0) {
            close(FIn);
        }
        if (FPid > 0 && Wait(3000) == kStillRunning) {
            kill(FPid, SIGKILL);
            Reap();
        }
        close(FOut);
    }

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
        }
    }
    void Send(const std::string& command) {
        const std::string line = command + "\n";
        EXPECT_EQ(write(FIn, line.data(), line.size()), static_cast<ssize_t>(line.size()));
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
    // Kills the copy; reaping is left to the caller, so it can stay a zombie for a while.
    void Kill() { kill(FPid, SIGKILL); }
    void Reap() {
        if (FPid > 0) {
            waitpid(FPid, nullptr, 0);
            FPid = -1;
        }
    }
    pid_t Pid() const { return FPid; }

    std::vector<std::string> Lines;

private:
    pid_t FPid = -1;
    int FIn = -1;
    int FOut = -1;
    std::string FPartial;
    size_t FNext = 0;
};

class InstanceGuard : public ::testing::Test {
protected:
    InstanceGuard() {
        // Short: a port's socket path must fit into a few dozen bytes.
        static int serial = 0;
        root = fs::temp_directory_path() /
               ("lg-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        fs::remove_all(root);
        fs::create_directories(root / "runtime");
        fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        program = Place("copy");
    }
    ~InstanceGuard() override {
        copies.clear();
        // Shared objects outlive their processes; the tests remove the ones they made.
        const std::string marker = TJclAppInstances::RegistryNameBase(root.string());
        for (const auto& entry : fs::directory_iterator("/dev/shm")) {
            if (entry.path().filename().string().find(marker) != std::string::npos) {
                fs::remove(entry.path());
            }
        }
        fs::remove_all(root);
    }

    // A copy of the program at root/<dir>/latmo-guard-copy.
    std::string Place(const std::string& dir) {
        fs::create_directories(root / dir);
        const fs::path target = root / dir / "latmo-guard-copy";
        fs::copy_file(LATMO_GUARD_COPY, target, fs::copy_options::overwrite_existing);
        return target.string();
    }

    TCopy& Start(bool guardOn, const std::vector<std::string>& params = {},
                 const std::string& path = "") {
        copies.push_back(std::make_unique<TCopy>(
            path.empty() ? program : path, params,
            std::map<std::string, std::string>{{"XDG_RUNTIME_DIR", (root / "runtime").string()},
                                               {"LATMO_GUARD", guardOn ? "on" : "off"}}));
        return *copies.back();
    }
    TCopy& StartRunning(bool guardOn, const std::string& path = "") {
        TCopy& copy = Start(guardOn, {}, path);
        EXPECT_TRUE(copy.WaitFor("running"));
        return copy;
    }
    static int Count(TCopy& copy) {
        copy.Send("count");
        std::string line;
        return copy.WaitFor("count ", &line) ? std::stoi(line.substr(6)) : -1;
    }

    fs::path root;
    std::string program;
    std::vector<std::unique_ptr<TCopy>> copies;
};

TEST_F(InstanceGuard, ASingleCopyRunsWithItsGuardOn) {
    TCopy& first = Start(true);
    ASSERT_TRUE(first.WaitFor("running", nullptr));
    EXPECT_EQ(first.Lines.front(), "running 1");
    EXPECT_EQ(Count(first), 1);
}

TEST_F(InstanceGuard, ASecondCopyIsRefusedAndHandsOverItsCommandLine) {
    TCopy& first = StartRunning(true);
    TCopy& second = Start(true, {"first", "second part"});
    EXPECT_EQ(second.Wait(10000), 0);
    EXPECT_TRUE(second.WaitFor("rejected", nullptr, 100));
    EXPECT_FALSE(second.WaitFor("running", nullptr, 100));
    // Restored and brought to the front, then the command line: two lines, the space kept.
    ASSERT_TRUE(first.WaitFor("restore"));
    ASSERT_TRUE(first.WaitFor("cmdline 2"));
    std::string line;
    ASSERT_TRUE(first.WaitFor("line ", &line));
    EXPECT_EQ(line, "line first");
    ASSERT_TRUE(first.WaitFor("line ", &line));
    EXPECT_EQ(line, "line second part");
    EXPECT_EQ(Count(first), 1);
}

TEST_F(InstanceGuard, AFirstCopyWithItsGuardOffAdmitsTheSecondAndSwitchesItsGuardOff) {
    TCopy& first = StartRunning(false);
    TCopy& second = Start(true);
    std::string line;
    ASSERT_TRUE(second.WaitFor("running", &line));
    EXPECT_EQ(line, "running 0");
    EXPECT_EQ(Count(first), 2);
}

TEST_F(InstanceGuard, WithThreeCopiesTheCommandLineReachesEveryOtherCopy) {
    TCopy& first = StartRunning(false);
    TCopy& second = StartRunning(false);
    first.Send("active");
    second.Send("active");
    EXPECT_EQ(Count(first), 2);
    EXPECT_EQ(Count(second), 2);
    TCopy& third = Start(true, {"x"});
    EXPECT_EQ(third.Wait(10000), 0);
    EXPECT_TRUE(first.WaitFor("cmdline 1"));
    EXPECT_TRUE(second.WaitFor("cmdline 1"));
}

TEST_F(InstanceGuard, CopiesFromTwoPathsDoNotSeeEachOther) {
    StartRunning(true, Place("one"));
    TCopy& other = Start(true, {}, Place("two"));
    std::string line;
    ASSERT_TRUE(other.WaitFor("running", &line));
    EXPECT_EQ(line, "running 1");
}

TEST_F(InstanceGuard, ThePathInOtherLetterCaseIsTheSameProgram) {
    StartRunning(true, Place("Case"));
    TCopy& other = Start(true, {}, Place("CASE"));
    EXPECT_EQ(other.Wait(10000), 0);
    EXPECT_TRUE(other.WaitFor("rejected", nullptr, 100));
}

TEST_F(InstanceGuard, AKilledCopyDoesNotStopTheNextOne) {
    TCopy& first = StartRunning(true);
    first.Kill();
    // Not yet collected by its parent: an ended process all the same.
    TCopy& second = Start(true);
    std::string line;
    ASSERT_TRUE(second.WaitFor("running", &line, 5000));
    EXPECT_EQ(line, "running 1");
    first.Reap();
    EXPECT_EQ(Count(second), 1);
}

TEST_F(InstanceGuard, ALockOwnerKilledWhileHoldingDoesNotHangTheOthers) {
    copies.push_back(std::make_unique<TCopy>(
        program, std::vector<std::string>{},
        std::map<std::string, std::string>{{"XDG_RUNTIME_DIR", (root / "runtime").string()},
                                           {"LATMO_GUARD_HOLD", "1"}}));
    TCopy& holder = *copies.back();
    ASSERT_TRUE(holder.WaitFor("holding"));
    TCopy& waiter = Start(true);
    // It waits while the holder lives.
    EXPECT_FALSE(waiter.WaitFor("running", nullptr, 1000));
    holder.Kill();
    holder.Reap();
    std::string line;
    ASSERT_TRUE(waiter.WaitFor("running", &line, 5000));
    EXPECT_EQ(line, "running 1");
    EXPECT_EQ(Count(waiter), 1);
}

// Packets to a running copy's port, each from a sender of a given user: only well-formed ones
// of the same user reach the copy.
struct TPacketCase {
    const char* Name;
    bool OtherUser;
    std::string Packet;
    bool Delivered;
};

std::string Hex(const std::string& bytes) {
    std::string out;
    char buf[3];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        out += buf;
    }
    return out;
}

std::string CommandLinePacket(const std::string& text) {
    return EncodeCopyMessage(TCopyMessage{WM_COPYDATA, 7, CommandLineData, text});
}

TEST_F(InstanceGuard, OnlyWellFormedMessagesOfTheSameUserAreTaken) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "sending as another user needs root";
    }
    const std::string good = CommandLinePacket("from a sender\r\n");
    std::string longer = good + "x";
    std::string badMagic = good;
    badMagic[0] ^= 1;
    std::string oversized = EncodeCopyMessage(TCopyMessage{WM_COPYDATA, 7, CommandLineData, ""});
    oversized[24] = 1;  // says one data byte, carries none
    const std::vector<TPacketCase> cases = {
        {"another user", true, good, false},
        {"truncated header", false, good.substr(0, 20), false},
        {"more bytes than its size says", false, longer, false},
        {"another magic", false, badMagic, false},
        {"size without data", false, oversized, false},
        {"empty", false, "", false},
        {"well-formed, same user", false, good, true},
    };
    TCopy& copy = StartRunning(false);
    // The test lifts the directories' protection, so that only the credential check stands
    // between another user and the port.
    const fs::path portDir = root / "runtime" / "latmo";
    fs::path port;
    for (const auto& entry : fs::directory_iterator(portDir)) {
        port = entry.path();
    }
    ASSERT_FALSE(port.empty());
    chmod((root / "runtime").c_str(), 0711);
    chmod(portDir.c_str(), 0711);
    chmod(port.c_str(), 0666);
    for (const TPacketCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::string> argv;
        if (c.OtherUser) {
            argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                    program};
        } else {
            argv = {program};
        }
        TCopy sender(argv[0], std::vector<std::string>(argv.begin() + 1, argv.end()),
                     {{"LATMO_GUARD_SEND", port.string()}, {"LATMO_GUARD_PACKET", Hex(c.Packet)}});
        std::string connected;
        ASSERT_TRUE(sender.WaitFor("connected ", &connected));
        EXPECT_EQ(connected, "connected 1");
        EXPECT_EQ(copy.WaitFor("cmdline", nullptr, c.Delivered ? 5000 : 700), c.Delivered);
    }
    // The copy came through all of it and still answers.
    EXPECT_EQ(Count(copy), 1);
}

TEST(InstanceRegistry, A258thRegistrationIsRefusedAndNothingIsWrittenPastTheBlock) {
    TLinuxInterProcess ipc;
    const std::string path = "/tmp/latmo-registry-full-" + std::to_string(getpid());
    std::vector<uint8_t> after;
    {
        TJclAppInstances instances(ipc, path);
        for (int i = 0; i < kMaxRegisteredProcesses; ++i) {
            ASSERT_TRUE(instances.RegisterProcess(0xFFFF)) << i;
        }
        EXPECT_FALSE(instances.RegisterProcess(0xFFFF));
        EXPECT_EQ(instances.CountProcesses(), kMaxRegisteredProcesses);
        EXPECT_EQ(instances.ProcessIdAt(kMaxRegisteredProcesses), 0u);
        // After the ids come their start times: all this process's, none overwritten by a
        // 258th id.
        bool existed = false;
        int error = 0;
        auto block =
            ipc.OpenSharedBlock(TJclAppInstances::RegistryNameBase(path) + "_Map",
                                kRegistryBlockSize + 8 * kMaxRegisteredProcesses, existed, error);
        ASSERT_TRUE(block);
        uint64_t firstStart;
        std::memcpy(&firstStart, block->Data() + kRegistryBlockSize, 8);
        EXPECT_EQ(firstStart, ipc.StartTime(ipc.CurrentProcessId()));
        uint32_t lastId;
        std::memcpy(&lastId, block->Data() + kRegistryBlockSize - 4, 4);
        EXPECT_EQ(lastId, ipc.CurrentProcessId());
    }
    for (const auto& entry : fs::directory_iterator("/dev/shm")) {
        if (entry.path().filename().string().find(TJclAppInstances::RegistryNameBase(path)) !=
            std::string::npos) {
            fs::remove(entry.path());
        }
    }
}

TEST(InstanceRegistry, AProgramPathLongerThanASharedObjectNameMayBeStillHasItsRegistry) {
    TLinuxInterProcess ipc;
    const std::string deep = "/tmp/latmo-long-" + std::to_string(getpid()) + "/" +
                             std::string(120, 'd') + "/" + std::string(120, 'e') + "/latmo";
    std::string shortened;
    {
        TJclAppInstances instances(ipc, deep);
        ASSERT_TRUE(instances.RegisterProcess(0xFFFF));
        EXPECT_EQ(instances.CountProcesses(), 1);
        shortened =
            TLinuxInterProcess::ObjectName(TJclAppInstances::RegistryNameBase(deep) + "_Map");
    }
    EXPECT_LE(shortened.size(), 252u);
    // Paths that differ only past the kept part still get registries of their own.
    EXPECT_NE(shortened, TLinuxInterProcess::ObjectName(
                             TJclAppInstances::RegistryNameBase(deep + "2") + "_Map"));
    for (const auto& entry : fs::directory_iterator("/dev/shm")) {
        if (entry.path().filename().string().find("~") != std::string::npos &&
            entry.path().filename().string().find("LATMO-LONG-" + std::to_string(getpid())) !=
                std::string::npos) {
            fs::remove(entry.path());
        }
    }
}

TEST(ProcessStartTime, IsReadPastAnyParenthesisInTheCommandNameAndIsNoneForAnEndedProcess) {
    const std::string fields = " 1 1 1 0 -1 4194560 100 0 0 0 1 2 0 0 20 0 1 0 ";
    EXPECT_EQ(TLinuxInterProcess::ParseStartTime("42 (latmo) S" + fields + "5511 999"), 5512u);
    EXPECT_EQ(TLinuxInterProcess::ParseStartTime("42 (a) Z (b) S" + fields + "77 999"), 78u);
    EXPECT_EQ(TLinuxInterProcess::ParseStartTime("42 (latmo) Z" + fields + "5511 999"), 0u);
    EXPECT_EQ(TLinuxInterProcess::ParseStartTime("42 (latmo) S 1 2"), 0u);
    TLinuxInterProcess ipc;
    EXPECT_GT(ipc.StartTime(ipc.CurrentProcessId()), 0u);
}

}  // namespace
