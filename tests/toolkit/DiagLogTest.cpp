#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>

#include "support/TempDir.h"
#include "toolkit/DiagLog.h"
#include "toolkit/SysUtils.h"

namespace {

// A line written while start-up holds the log back follows the run's Start line.
TEST(DiagLog, AppendsStampedLinesWithCrLf) {
    const TTempDir dir;
    const std::string path = dir.File("latmo.log");
    WriteAll(path, "earlier run\r\n");
    SetDiagLogPath(path);
    HoldDiagLog();
    WriteDiagLog("Timer1 error");
    EXPECT_EQ(ReadAll(path), "earlier run\r\n") << "a held line was written at once";
    StartDiagLog("Start");
    SetDiagLogPath("");

    const std::string text = ReadAll(path);
    EXPECT_EQ(text.rfind("earlier run\r\n", 0), 0u) << "an existing log is never emptied";
    // "earlier run", then two lines of "<date> <time>: <message> [Latmo <version>]", each ended
    // by CR LF.
    const std::string first = "earlier run\r\n";
    ASSERT_EQ(text.compare(0, first.size(), first), 0) << text;
    const std::string rest = text.substr(first.size());
    const size_t end1 = rest.find("\r\n");
    ASSERT_NE(end1, std::string::npos);
    const std::string line1 = rest.substr(0, end1);
    const std::string line2 = rest.substr(end1 + 2);
    const std::string tail1 = ": Start [Latmo " LATMO_VERSION_TEXT "]";
    ASSERT_GT(line1.size(), tail1.size()) << "the date and time come first: " << line1;
    EXPECT_EQ(line1.substr(line1.size() - tail1.size()), tail1);
    EXPECT_EQ(line2.substr(line2.size() - 2), "\r\n");
    EXPECT_NE(line2.find(": Timer1 error [Latmo " LATMO_VERSION_TEXT "]\r\n"), std::string::npos);
    EXPECT_EQ(std::count(line2.begin(), line2.end(), '\n'), 1);
}

// A pipe in the log's place loses the line; nothing waits for a reader, and a reader gets
// nothing.
TEST(DiagLog, OnlyARegularFileTakesTheLine) {
    const TTempDir dir;
    const std::string pipe = dir.File("latmo.log");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    SetDiagLogPath(pipe);
    auto line = std::async(std::launch::async, [] { WriteDiagLog("Start"); });
    const bool returned = line.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);  // frees a writer that waits
    ASSERT_GE(reader, 0);
    line.wait();
    EXPECT_TRUE(returned) << "the line waited for a reader";
    WriteDiagLog("Timer1 error");
    char buf[128];
    EXPECT_LE(read(reader, buf, sizeof buf), 0) << "the pipe took a line";
    close(reader);
    SetDiagLogPath("");
}

TEST(DiagLog, LivesBesideTheProgramOrInTheStateDirectory) {
    const std::string path = DiagLogPath();
    EXPECT_EQ(ExtractFileName(path), ExtractFileName(ProgramPath()) + ".log");
}

}  // namespace
