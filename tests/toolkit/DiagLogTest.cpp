#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "toolkit/DiagLog.h"
#include "toolkit/SysUtils.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(DiagLog, AppendsStampedLinesWithCrLf) {
    const auto dir = std::filesystem::temp_directory_path() / ("latmo-diag-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "latmo.log").string();
    { std::ofstream(path, std::ios::binary) << "earlier run\r\n"; }
    SetDiagLogPath(path);
    WriteDiagLog("Start");
    WriteDiagLog("Timer1 error");
    SetDiagLogPath("");

    const std::string text = ReadAll(path);
    EXPECT_EQ(text.rfind("earlier run\r\n", 0), 0u) << "an existing log is never emptied";
    const std::regex line(R"(earlier run\r\n[^\r\n]+: Start \[Latmo 1\.64\]\r\n)"
                          R"([^\r\n]+: Timer1 error \[Latmo 1\.64\]\r\n)");
    EXPECT_TRUE(std::regex_match(text, line)) << text;
    std::filesystem::remove_all(dir);
}

TEST(DiagLog, UnwritablePlaceLosesTheLineQuietly) {
    SetDiagLogPath("/nonexistent-dir/for/latmo.log");
    EXPECT_NO_THROW(WriteDiagLog("Start"));
    SetDiagLogPath("");
}

TEST(DiagLog, LivesBesideTheProgramOrInTheStateDirectory) {
    const std::string path = DiagLogPath();
    EXPECT_EQ(ExtractFileName(path), ExtractFileName(ProgramPath()) + ".log");
}

}  // namespace
