// The instance guard between real processes: copies of a small program built on the guard are
// started, asked, stopped and killed as a user would, each test from a program path of its own.

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "CopyProcess.h"
#include "desktop/JclAppInstances.h"
#include "platform/linux/CopyMessageWire.h"
#include "platform/linux/LinuxInterProcess.h"

namespace fs = std::filesystem;

namespace {

// What the guard keeps of the program at programPath in a guard folder: the registry, the lock's
// two files and the ports.
std::vector<std::string> GuardFiles(const std::string& programPath,
                                    const std::string& dir = TLinuxInterProcess::GuardDirectory()) {
    const std::string base = TJclAppInstances::RegistryNameBase(programPath);
    const std::string port = fs::path(TLinuxInterProcess::PortPath(base, 0)).filename().string();
    const std::string portPrefix = port.substr(0, port.size() - 1);
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename().string();
        if (name.find(base) != std::string::npos || name.rfind(portPrefix, 0) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

class InstanceGuard : public ::testing::Test {
protected:
    InstanceGuard() {
        static int serial = 0;
        root = fs::temp_directory_path() /
               ("lg-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        fs::remove_all(root);
        fs::create_directories(root);
        program = Place("copy");
    }
    ~InstanceGuard() override {
        copies.clear();
        // What killed copies left behind; a test that checks the clean-up has looked already.
        for (const std::string& path : placed) {
            for (const std::string& name : GuardFiles(path)) {
                fs::remove(fs::path(TLinuxInterProcess::GuardDirectory()) / name);
            }
        }
        fs::remove_all(root);
    }

    // A copy of the program at root/<dir>/latmo-guard-copy.
    std::string Place(const std::string& dir) {
        fs::create_directories(root / dir);
        const fs::path target = root / dir / "latmo-guard-copy";
        fs::copy_file(LATMO_GUARD_COPY, target, fs::copy_options::overwrite_existing);
        placed.push_back(target.string());
        return target.string();
    }

    TCopy& Start(bool guardOn, const std::vector<std::string>& params = {},
                 const std::string& path = "", TCopyOptions options = {}) {
        options.Env.emplace("LATMO_GUARD", guardOn ? "on" : "off");
        options.Env.emplace("LATMO_GUARD_LOG", (root / "guard.log").string());
        copies.push_back(std::make_unique<TCopy>(path.empty() ? program : path, params, options));
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
    TCopy& StartHolder() {
        TCopyOptions options;
        options.Env = {{"LATMO_GUARD_HOLD", "1"}};
        copies.push_back(std::make_unique<TCopy>(program, std::vector<std::string>{}, options));
        EXPECT_TRUE(copies.back()->WaitFor("holding"));
        return *copies.back();
    }

    fs::path root;
    std::string program;
    std::vector<std::string> placed;
    std::vector<std::unique_ptr<TCopy>> copies;
};

TEST_F(InstanceGuard, ASingleCopyRunsWithItsGuardOn) {
    TCopy& first = Start(true);
    ASSERT_TRUE(first.WaitFor("running", nullptr));
    EXPECT_EQ(first.Lines.front(), "running 1");
    EXPECT_EQ(Count(first), 1);
}

TEST_F(InstanceGuard, ASecondCopyIsRefusedAndHandsOverItsCommandLineWhateverItsRuntimeFolder) {
    TCopyOptions firstEnv, secondEnv;
    firstEnv.Env = {{"XDG_RUNTIME_DIR", (root / "runtime-a").string()}};
    secondEnv.Unset = {"XDG_RUNTIME_DIR"};
    TCopy& first = Start(true, {}, "", firstEnv);
    ASSERT_TRUE(first.WaitFor("running"));
    TCopy& second = Start(true, {"first", "second part"}, "", secondEnv);
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

// Copies started at one moment, all with the guard on: exactly one runs on, every other ends
// with 0 and hands it its command line, and once it ends nothing of the guard is left. Where a
// burst of waiters was killed first, the lock must not remember them.
struct TRaceCase {
    int Copies;
    int Rounds;
    bool KillWaitersFirst;
};

void PrintTo(const TRaceCase& c, std::ostream* os) {
    *os << c.Copies << " copies" << (c.KillWaitersFirst ? " after killed waiters" : "");
}

class InstanceGuardRace : public InstanceGuard, public ::testing::WithParamInterface<TRaceCase> {};

TEST_P(InstanceGuardRace, ExactlyOneOfTheCopiesStartedTogetherRunsOn) {
    const TRaceCase& c = GetParam();
    if (c.KillWaitersFirst) {
        TCopy& holder = StartHolder();
        std::vector<TCopy*> waiters;
        for (int i = 0; i < 5; ++i) {
            waiters.push_back(&Start(true));
        }
        EXPECT_FALSE(waiters.back()->WaitFor("running", nullptr, 1000));
        for (TCopy* w : waiters) {
            w->Kill();
            w->Reap();
        }
        holder.Kill();
        holder.Reap();
        copies.clear();
    }
    for (int round = 0; round < c.Rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int gate[2];
        ASSERT_EQ(pipe2(gate, O_CLOEXEC), 0);
        TCopyOptions options;
        options.Env = {{"LATMO_GUARD_GATE", "1"}};
        options.Gate = gate[0];
        for (int i = 0; i < c.Copies; ++i) {
            Start(true, {"r" + std::to_string(round) + "c" + std::to_string(i)}, "", options);
        }
        close(gate[0]);
        close(gate[1]);
        std::vector<int> survivors;
        for (int i = 0; i < c.Copies; ++i) {
            if (copies[i]->WaitFor("running", nullptr, 30000)) {
                survivors.push_back(i);
            } else {
                EXPECT_EQ(copies[i]->Wait(10000), 0) << "copy " << i;
            }
        }
        ASSERT_EQ(survivors.size(), 1u);
        TCopy& survivor = *copies[survivors[0]];
        // It may have been handed some while it was still checking itself.
        ASSERT_TRUE(survivor.WaitForCount("line ", c.Copies - 1));
        std::vector<std::string> received;
        for (const std::string& line : survivor.Lines) {
            if (line.rfind("line ", 0) == 0) {
                received.push_back(line.substr(5));
            }
        }
        for (int i = 0; i < c.Copies; ++i) {
            const std::string params = "r" + std::to_string(round) + "c" + std::to_string(i);
            EXPECT_EQ(std::count(received.begin(), received.end(), params),
                      i == survivors[0] ? 0 : 1)
                << params;
        }
        survivor.EndInput();
        EXPECT_EQ(survivor.Wait(10000), 0);
        EXPECT_EQ(GuardFiles(program), std::vector<std::string>{});
        copies.clear();
    }
}

INSTANTIATE_TEST_SUITE_P(, InstanceGuardRace,
                         ::testing::Values(TRaceCase{2, 50, false}, TRaceCase{2, 5, true},
                                           TRaceCase{5, 50, false}, TRaceCase{20, 50, false}),
                         [](const auto& row) {
                             return std::to_string(row.param.Copies) + "Copies" +
                                    (row.param.KillWaitersFirst ? "AfterKilledWaiters" : "");
                         });

TEST_F(InstanceGuard, AHundredStartStopKillCyclesLeaveNothingOnceTheLastCopyHasEnded) {
    for (int cycle = 0; cycle < 100; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        const std::string folder = TLinuxInterProcess::GuardDirectory();
        TCopy& older = StartRunning(false);
        TCopy& newer = StartRunning(false);
        TCopy& killed = cycle % 2 == 0 ? older : newer;
        TCopy& stopped = cycle % 2 == 0 ? newer : older;
        killed.Kill();
        killed.Reap();
        stopped.EndInput();
        ASSERT_EQ(stopped.Wait(10000), 0);
        // Other copies of this user's (other programs' paths) may still keep files there.
        std::error_code error;
        ASSERT_FALSE(fs::exists(folder) && fs::is_empty(folder, error))
            << "the last copy left the guard's folder " << folder << " behind, empty";
        ASSERT_EQ(GuardFiles(program), std::vector<std::string>{});
        copies.clear();
    }
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
    TCopy& holder = StartHolder();
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

// Where the guard cannot work, the copy runs all the same and says why: once in the diagnostic
// log, once in a box, since the box "Only one instance" is ticked.
TEST_F(InstanceGuard, AStoppedLockOwnerOrAFullRegistryLetsTheCopyRunAndIsToldOnce) {
    TCopy& holder = StartHolder();
    holder.Kill(SIGSTOP);
    TCopy& stuck = Start(true);
    std::string box;
    ASSERT_TRUE(stuck.WaitFor("box ", &box, TJclOptex::kStuckMs + 10000));
    EXPECT_NE(box.find("Only one instance cannot be checked"), std::string::npos) << box;
    EXPECT_TRUE(stuck.WaitFor("running 1"));
    EXPECT_EQ(Count(stuck), -1) << "it has no registry to count";
    holder.Kill(SIGKILL);
    holder.Reap();
    copies.clear();

    TLinuxInterProcess ipc;
    {
        TJclAppInstances full(ipc, program);
        for (int i = 0; i < kMaxRegisteredProcesses; ++i) {
            ASSERT_TRUE(full.RegisterProcess(0xFFFF));
        }
        TCopy& unregistered = Start(true);
        ASSERT_TRUE(unregistered.WaitFor("box ", &box));
        EXPECT_NE(box.find("257 copies"), std::string::npos) << box;
        EXPECT_TRUE(unregistered.WaitFor("running 1"));
        unregistered.EndInput();
        EXPECT_EQ(unregistered.Wait(5000), 0);
    }
    const std::string log = ReadText(root / "guard.log");
    EXPECT_EQ(Occurrences(log, "Only one instance cannot be checked"), 2) << log;
}

// The port of a running copy, linked where another user may reach it, so that only the checks
// of the port itself stand between a sender and the copy.
fs::path ReachablePort(const fs::path& dir, TCopy& copy, const std::string& program) {
    const std::string port = TLinuxInterProcess::PortPath(
        TJclAppInstances::RegistryNameBase(program), static_cast<uint32_t>(copy.Pid()));
    const fs::path link = dir / "port";
    EXPECT_EQ(::link(port.c_str(), link.c_str()), 0) << port;
    chmod(link.c_str(), 0666);
    return link;
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char buf[3];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        out += buf;
    }
    return out;
}

// Packets to a running copy's port, each from a sender of a given user: only the well-formed
// one of the same user, sent last, reaches the copy.
TEST_F(InstanceGuard, OnlyWellFormedMessagesOfTheSameUserAreTaken) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "sending as another user needs root";
    }
    const std::string good =
        EncodeCopyMessage(TCopyMessage{WM_COPYDATA, 7, CommandLineData, "from a sender\r\n"});
    std::string badMagic = good;
    badMagic[0] ^= 1;
    std::string sizeWithoutData =
        EncodeCopyMessage(TCopyMessage{WM_COPYDATA, 7, CommandLineData, ""});
    sizeWithoutData[24] = 1;
    const struct {
        const char* Name;
        bool OtherUser;
        std::string Packet;
    } cases[] = {
        {"another user", true, good},
        {"truncated header", false, good.substr(0, 20)},
        {"more bytes than its size says", false, good + "x"},
        {"another magic", false, badMagic},
        {"size without data", false, sizeWithoutData},
        {"empty", false, ""},
        {"well-formed, same user", false, good},
    };
    TCopy& copy = StartRunning(false);
    const fs::path port = ReachablePort(root, copy, program);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TCopyOptions options;
        if (c.OtherUser) {
            options.Prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                              "--clear-groups"};
        }
        options.Env = {{"LATMO_GUARD_SEND", port.string()}, {"LATMO_GUARD_PACKET", Hex(c.Packet)}};
        TCopy sender(program, {}, options);
        std::string connected;
        ASSERT_TRUE(sender.WaitFor("connected ", &connected));
        EXPECT_EQ(connected, "connected 1");
    }
    ASSERT_TRUE(copy.WaitFor("cmdline"));
    // Everything sent before the good packet has been dealt with once the copy answers again.
    EXPECT_EQ(Count(copy), 1);
    EXPECT_EQ(copy.Said("cmdline"), 1);
}

// Connections that send nothing cost the window nothing: it answers at once, and a message
// sent after them still arrives.
TEST_F(InstanceGuard, IdleConnectionsDoNotHoldTheCopyUp) {
    TCopy& copy = StartRunning(true);
    const std::string port = TLinuxInterProcess::PortPath(
        TJclAppInstances::RegistryNameBase(program), static_cast<uint32_t>(copy.Pid()));
    std::vector<int> idle;
    for (int i = 0; i < 40; ++i) {
        const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, port.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        idle.push_back(fd);
    }
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(Count(copy), 1);
    // 40 connections held for half a second each took the old copy 20 s.
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    TCopy& second = Start(true, {"after them"});
    EXPECT_EQ(second.Wait(10000), 0);
    EXPECT_TRUE(copy.WaitFor("cmdline 1"));
    for (int fd : idle) {
        close(fd);
    }
}

// A user made for one test, removed with all its files when the test ends.
struct TThrowAwayUser {
    explicit TThrowAwayUser(const std::string& name) : Name(name) {
        if (std::system(("useradd -M -N -s /usr/sbin/nologin " + name).c_str()) == 0) {
            const passwd* pw = getpwnam(name.c_str());
            Uid = pw != nullptr ? pw->pw_uid : 0;
            Gid = pw != nullptr ? pw->pw_gid : 0;
        }
    }
    ~TThrowAwayUser() {
        if (Uid != 0) {
            (void)!std::system(("userdel " + Name).c_str());
        }
    }
    std::vector<std::string> As() const {
        return {"/usr/bin/setpriv", "--reuid=" + std::to_string(Uid),
                "--regid=" + std::to_string(Gid), "--clear-groups"};
    }
    std::string Name;
    uid_t Uid = 0;
    gid_t Gid = 0;
};

// Runs a shell command as nobody, the other user who makes names first.
int AsNobody(const std::string& command) {
    return std::system(
        ("setpriv --reuid=65534 --regid=65534 --clear-groups sh -c '" + command + "'").c_str());
}

// A copy started as the user, which has no runtime folder of its own (no log-in session).
TCopyOptions AsUserWithoutRuntime(const TThrowAwayUser& user) {
    TCopyOptions options;
    options.Prefix = user.As();
    options.Unset = {"XDG_RUNTIME_DIR"};
    return options;
}

// Another user makes the names the guard of a user's copies would use first: the copies still
// find each other, nothing of theirs goes into what the other user made, and the guard's
// things end up in a folder of the user's own that only the user may enter.
TEST_F(InstanceGuard, NamesAnotherUserMadeFirstNeitherStopNorReachTheGuard) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "making users needs root";
    }
    const TThrowAwayUser user("lgv" + std::to_string(getpid()));
    ASSERT_NE(user.Uid, 0u);
    const std::string uid = std::to_string(user.Uid);
    const std::string first = "/tmp/latmo-" + uid;
    const fs::path planted = root / "planted";
    fs::create_directories(planted);
    chown(planted.c_str(), 65534, 65534);
    const std::string base = TJclAppInstances::RegistryNameBase(program);
    const std::string shm = "/dev/shm/u" + uid + "_";
    const struct {
        const char* Name;
        std::string Command;
        bool TakesTheFolder;
    } cases[] = {
        {"the shared-memory names of earlier versions",
         "touch " + shm + base + "_Map " + shm + "Optex_MMF_" + base + "_Otx /dev/shm/sem.u" + uid +
             "_Optex_Event_" + base + "_Otx",
         false},
        {"the folder, open to all", "mkdir -m 0777 " + first, true},
        {"the folder as a link to the other user's", "ln -s " + planted.string() + " " + first,
         true},
        {"the folder's name as a file", "touch " + first, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_EQ(AsNobody(c.Command), 0);
        const TCopyOptions options = AsUserWithoutRuntime(user);
        TCopy& running = Start(true, {}, "", options);
        ASSERT_TRUE(running.WaitFor("running 1"));
        TCopy& second = Start(true, {"from the second"}, "", options);
        EXPECT_EQ(second.Wait(10000), 0);
        EXPECT_TRUE(running.WaitFor("line from the second"));
        struct stat st {};
        const std::string own = c.TakesTheFolder ? first + ".1" : first;
        ASSERT_EQ(lstat(own.c_str(), &st), 0) << own;
        EXPECT_TRUE(S_ISDIR(st.st_mode) && st.st_uid == user.Uid && (st.st_mode & 0777) == 0700);
        running.EndInput();
        EXPECT_EQ(running.Wait(10000), 0);
        EXPECT_NE(lstat(own.c_str(), &st), 0) << "the last copy left its folder " << own;
        if (c.TakesTheFolder) {
            ASSERT_EQ(lstat(first.c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, 65534u) << "what the other user made is still theirs";
        }
        std::error_code error;
        EXPECT_TRUE(fs::is_empty(planted, error)) << "nothing went into the other user's folder";
        if (S_ISDIR(st.st_mode) && c.TakesTheFolder) {
            EXPECT_TRUE(fs::is_empty(first, error));
        }
        (void)!std::system(
            ("rm -rf " + first + " " + first + ".* " + shm + "* /dev/shm/sem.u" + uid + "_*")
                .c_str());
        copies.clear();
    }
}

// Another user has taken every name the guard's folder may have: the copy runs without the
// check, and its box says which names and whose they are, so that someone can remove them.
TEST_F(InstanceGuard, AnotherUserHoldingEveryNameIsNamedInTheBox) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "making users needs root";
    }
    const TThrowAwayUser user("lgb" + std::to_string(getpid()));
    ASSERT_NE(user.Uid, 0u);
    const std::string first = "/tmp/latmo-" + std::to_string(user.Uid);
    const passwd* nobody = getpwuid(65534);
    ASSERT_NE(nobody, nullptr);
    const std::string nobodyName = nobody->pw_name;
    const struct TRemove {
        std::string Command;
        ~TRemove() { (void)!std::system(Command.c_str()); }
    } remove{"rm -rf " + first + " " + first + ".*"};
    ASSERT_EQ(AsNobody("mkdir -m 0755 " + first + " " + first + ".1 " + first + ".2 " + first +
                       ".3 " + first + ".4 " + first + ".5 " + first + ".6 " + first + ".7"),
              0);
    TCopy& copy = Start(true, {}, "", AsUserWithoutRuntime(user));
    std::string box;
    EXPECT_TRUE(copy.WaitFor("box ", &box));
    EXPECT_NE(box.find(first + " to " + first + ".7 belong to another user, " + nobodyName +
                       " (uid 65534)"),
              std::string::npos)
        << box;
    EXPECT_TRUE(copy.WaitFor("running 1"));
    copies.clear();
}

TEST(InstanceRegistry, A258thRegistrationIsRefusedAndNothingIsWrittenPastTheBlock) {
    TLinuxInterProcess ipc;
    const std::string path = "/tmp/latmo-registry-full-" + std::to_string(getpid());
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
    for (const std::string& name : GuardFiles(path)) {
        fs::remove(fs::path(TLinuxInterProcess::GuardDirectory()) / name);
    }
}

TEST(InstanceRegistry, AProgramPathLongerThanAFileNameMayBeStillHasItsRegistry) {
    TLinuxInterProcess ipc;
    const std::string deep = "/tmp/latmo-long-" + std::to_string(getpid()) + "/" +
                             std::string(120, 'd') + "/" + std::string(120, 'e') + "/latmo";
    const std::string name =
        TLinuxInterProcess::ObjectName(TJclAppInstances::RegistryNameBase(deep) + "_Map");
    {
        TJclAppInstances instances(ipc, deep);
        ASSERT_TRUE(instances.RegisterProcess(0xFFFF));
        EXPECT_EQ(instances.CountProcesses(), 1);
        EXPECT_TRUE(fs::exists(fs::path(TLinuxInterProcess::GuardDirectory()) / name));
    }
    EXPECT_EQ(name.size(), TLinuxInterProcess::kMaxObjectName);
    // Paths that differ only past the kept part still get registries of their own.
    EXPECT_NE(name, TLinuxInterProcess::ObjectName(TJclAppInstances::RegistryNameBase(deep + "2") +
                                                   "_Map"));
    // The last copy to leave took the registry with it.
    EXPECT_FALSE(fs::exists(fs::path(TLinuxInterProcess::GuardDirectory()) / name));
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
