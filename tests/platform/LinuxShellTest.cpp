#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/linux/LinuxShell.h"

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

}  // namespace
