#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/linux/LinuxShell.h"
#include "support/TempDir.h"

namespace {

TEST(LinuxShell, ParametersSplitLikeACommandLineWithoutAShell) {
    struct Row {
        const char* text;
        std::vector<std::string> args;
    } const rows[] = {
        {"", {}},
        {"-q", {"-q"}},
        {"  a   b ", {"a", "b"}},
        {"\"two words\" x", {"two words", "x"}},
        {"\"\"", {""}},
        {"say \"a \"\"quoted\"\" word\"", {"say", "a \"quoted\" word"}},
        {"$(rm -rf /) ; `id` | x", {"$(rm", "-rf", "/)", ";", "`id`", "|", "x"}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(TLinuxShell::SplitParameters(r.text), r.args) << r.text;
    }
}

TEST(LinuxShell, StartsAProgramWithItsParametersAndReturnsAtOnce) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("latmo-shell-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto made = dir / "made by touch";
    TLinuxShell shell;
    ASSERT_TRUE(
        shell.ShellExecute("open", "touch", "\"" + made.string() + "\"", "", SW_SHOWNORMAL));
    bool exists = false;
    for (int i = 0; i < 200 && !exists; ++i) {
        exists = std::filesystem::exists(made);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(exists);
    EXPECT_FALSE(
        shell.ShellExecute("open", (dir / "no-such-program").string(), "", "", SW_SHOWNORMAL) &&
        !std::filesystem::exists("/usr/bin/xdg-open"));
    EXPECT_FALSE(shell.ShellExecute("edit", "touch", "", "", SW_SHOWNORMAL));
    EXPECT_FALSE(shell.ShellExecute("open", "", "", "", SW_SHOWNORMAL));
    std::filesystem::remove_all(dir);
}

// A bare name is a program in PATH, never a file beside the program or here, where another
// user may have put it (the caller looks there itself, for files only the user may change).
TEST(LinuxShell, ABareNameIsAProgramInPath) {
    namespace fs = std::filesystem;
    const std::string name = "latmo-shell-helper-" + std::to_string(getpid());
    const fs::path beside = fs::read_symlink("/proc/self/exe").parent_path() / name;
    const fs::path pathDir = fs::temp_directory_path() / (name + "-path");
    fs::create_directories(pathDir);
    const fs::path inPath = pathDir / name;
    for (const fs::path& p : {beside, inPath}) {
        std::ofstream(p) << "#!/bin/sh\n";
        fs::permissions(p, fs::perms::owner_all);
    }
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    setenv("PATH", (pathDir.string() + ":" + oldPath).c_str(), 1);
    const fs::path here = fs::current_path();
    fs::current_path(beside.parent_path());

    EXPECT_EQ(TLinuxShell::FindProgram(name), inPath.string());
    fs::remove(inPath);
    EXPECT_EQ(TLinuxShell::FindProgram(name), "");
    TLinuxShell shell;
    EXPECT_FALSE(shell.ShellExecute("open", name, "", "", SW_HIDE))
        << "the file of that name here was handed to the desktop";

    fs::current_path(here);
    fs::remove(beside);
    setenv("PATH", oldPath.c_str(), 1);
    fs::remove_all(pathDir);
}

// A program in a folder of PATH runs as the user: one that another user may change, or may
// have put there, is passed over for the next folder's, with the reason.
TEST(LinuxShell, APathFolderAnotherUserMayWriteIsPassedOver) {
    constexpr uid_t kNobody = 65534;
    struct TRow {
        const char* Case;
        mode_t FolderMode;
        uid_t FolderOwner;
        mode_t FileMode;
        uid_t FileOwner;
        const char* Why;  // after the folder's or the program's path; empty: it is taken
        bool AboutFile = false;
    } const rows[] = {
        {"the user's own", 0755, getuid(), 0755, getuid(), ""},
        {"root's", 0755, 0, 0755, 0, ""},
        {"open to every user", 0777, getuid(), 0755, getuid(), " may be written by every user"},
        {"another user's, open to all", 01777, kNobody, 0755, kNobody,
         " belongs to another user (uid 65534)"},
        {"open to its group", 0775, getuid(), 0755, getuid(), " may be written by its group"},
        {"the program another user's", 0755, getuid(), 0755, kNobody,
         " belongs to another user (uid 65534)", true},
        {"the program open to every user", 0755, getuid(), 0757, getuid(),
         " may be written by every user", true},
    };
    const TTempDir temp;
    const std::string name = "latmo-path-probe";
    const std::string fallback = temp.File("fallback");
    mkdir(fallback.c_str(), 0755);
    WriteAll(fallback + "/" + name, "#!/bin/sh\n");
    chmod((fallback + "/" + name).c_str(), 0755);
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    for (const TRow& row : rows) {
        if (getuid() != 0 && (row.FolderOwner != getuid() || row.FileOwner != getuid())) {
            continue;  // only root gives files away
        }
        const std::string dir = temp.File(row.Case);
        const std::string file = dir + "/" + name;
        mkdir(dir.c_str(), 0700);
        WriteAll(file, "#!/bin/sh\n");
        ASSERT_EQ(chown(file.c_str(), row.FileOwner, row.FileOwner), 0) << row.Case;
        ASSERT_EQ(chmod(file.c_str(), row.FileMode), 0) << row.Case;
        ASSERT_EQ(chown(dir.c_str(), row.FolderOwner, row.FolderOwner), 0) << row.Case;
        ASSERT_EQ(chmod(dir.c_str(), row.FolderMode), 0) << row.Case;
        setenv("PATH", (dir + ":" + fallback).c_str(), 1);
        std::string heard;
        const std::string found =
            TLinuxShell::FindProgram(name, [&](const std::string& why) { heard += why; });
        const std::string why = row.Why;
        EXPECT_EQ(found, why.empty() ? file : fallback + "/" + name) << row.Case;
        EXPECT_EQ(heard, why.empty() ? "" : (row.AboutFile ? file : dir) + why) << row.Case;
        // With no other to take, a bare name starts nothing.
        setenv("PATH", dir.c_str(), 1);
        EXPECT_EQ(TLinuxShell().ShellExecute("open", name, "", "", SW_HIDE), why.empty())
            << row.Case;
    }
    setenv("PATH", oldPath.c_str(), 1);
}

// What ShellExecuteEx starts is followed until it ends: a program until it exits, a document
// while its opener runs. Each waits here on a FIFO of the test's own, so the test ends it. Once
// ended it is reaped at once: no child of ours is left, not even a zombie.
TEST(LinuxShell, AFollowedProcessRunsUntilItEndsAndLeavesNoZombie) {
    namespace fs = std::filesystem;
    const TTempDir dir;
    const std::string fifo = dir.File("go");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The desktop's opener, as the test's own: it waits on the FIFO.
    WriteAll(dir.File("xdg-open"), "#!/bin/sh\nread line < " + fifo + "\n");
    fs::permissions(dir.File("xdg-open"), fs::perms::owner_all);
    // Where there is no xdg-open, GLib's opener, asked to "open".
    const std::string glibOnly = dir.File("glib-only");
    fs::create_directory(glibOnly);
    WriteAll(glibOnly + "/gio", "#!/bin/sh\n[ \"$1\" = open ] || exit 3\nread line < " + fifo + "\n");
    fs::permissions(glibOnly + "/gio", fs::perms::owner_all);
    WriteAll(dir.File("alarm.wav"), "RIFF");
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    const std::string withOurs = dir.Path() + ":" + oldPath;
    struct {
        const char* What;
        std::string File, Parameters, Path;
    } const rows[] = {
        {"a program", "cat", fifo, withOurs},
        {"a document", dir.File("alarm.wav"), "", withOurs},
        {"a document, through GLib's opener", dir.File("alarm.wav"), "", glibOnly},
    };
    TLinuxShell shell;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.What);
        setenv("PATH", row.Path.c_str(), 1);
        const std::unique_ptr<TShellProcess> process =
            shell.ShellExecuteEx("open", row.File, row.Parameters, "", SW_SHOWNORMAL);
        ASSERT_NE(process, nullptr);
        EXPECT_TRUE(process->Running());
        // A line lets the reader go, once it is there to read it.
        int writer = -1;
        for (int i = 0; i < 500 && writer < 0; ++i) {
            writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        ASSERT_GE(writer, 0) << "nobody reads the FIFO";
        EXPECT_EQ(write(writer, "go\n", 3), 3);
        close(writer);
        bool running = true;
        for (int i = 0; i < 500 && running; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            running = process->Running();
        }
        EXPECT_FALSE(running);
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a child left behind";
        EXPECT_EQ(errno, ECHILD);
    }
    setenv("PATH", withOurs.c_str(), 1);
    EXPECT_EQ(shell.ShellExecuteEx("open", dir.File("none.wav"), "", "", SW_SHOWNORMAL), nullptr);
    EXPECT_EQ(shell.ShellExecuteEx("open", "cat", "", dir.File("no-such-dir"), SW_SHOWNORMAL),
              nullptr)
        << "a directory that cannot be entered";
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "the child that failed is reaped too";
    setenv("PATH", oldPath.c_str(), 1);
}

}  // namespace
