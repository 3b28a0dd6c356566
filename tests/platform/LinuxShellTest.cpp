#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
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

}  // namespace
