#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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
    const auto dir =
        std::filesystem::temp_directory_path() / ("latmo-diag-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "latmo.log").string();
    { std::ofstream(path, std::ios::binary) << "earlier run\r\n"; }
    SetDiagLogPath(path);
    WriteDiagLog("Start");
    WriteDiagLog("Timer1 error");
    SetDiagLogPath("");

    const std::string text = ReadAll(path);
    EXPECT_EQ(text.rfind("earlier run\r\n", 0), 0u) << "an existing log is never emptied";
    // "earlier run", then two lines of "<date> <time>: <message> [Latmo 1.64]", each ended by
    // CR LF.
    const std::string first = "earlier run\r\n";
    ASSERT_EQ(text.compare(0, first.size(), first), 0) << text;
    const std::string rest = text.substr(first.size());
    const size_t end1 = rest.find("\r\n");
    ASSERT_NE(end1, std::string::npos);
    const std::string line1 = rest.substr(0, end1);
    const std::string line2 = rest.substr(end1 + 2);
    EXPECT_GT(line1.find(": Start [Latmo 1.64]"), 0u);
    EXPECT_EQ(line1.size() - line1.find(": Start [Latmo 1.64]"),
              std::string(": Start [Latmo 1.64]").size());
    EXPECT_EQ(line2.substr(line2.size() - 2), "\r\n");
    EXPECT_NE(line2.find(": Timer1 error [Latmo 1.64]\r\n"), std::string::npos);
    EXPECT_EQ(std::count(line2.begin(), line2.end(), '\n'), 1);
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
