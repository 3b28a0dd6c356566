#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <clocale>

#include "core/LogFiles.h"
#include "core/Statistics.h"
#include "support/TempDir.h"
#include "toolkit/DiagLog.h"

namespace {

TEST(TrimmedMean, DropsOneHighestAndOneLowest) {
    struct Row {
        TRing ring;
        double mean;
    } const rows[] = {
        {{50, 60, 70, 80, 900}, 70.0},
        {{40, 40, 40, 40, 40}, 40.0},
        {{0, 0, 0, 0, 0}, 1.0 / 3.0},         // nothing left: counts as 1
        {{-5, -5, -5, -5, -5}, -20.0 / 3.0},  // max starts at 0
        {{9000, -5, -5, -5, -5}, -5.0},
        {{1, -5, -5, -5, -5}, -5.0},
        {{1, 1, 1, 1, 1}, 1.0},
        {{9000, 9000, 9000, 20, 30}, (18030.0) / 3.0},
        // The longest time-out of a host that fails at once (min starts below it), and the
        // lowest slot value.
        {{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},
         (4.0 * INT32_MAX - 99999999) / 3.0},
        {{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN}, 4.0 * INT32_MIN / 3.0},
    };
    for (const Row& r : rows) {
        EXPECT_NEAR(TrimmedMean(r.ring, 1024).Average, r.mean, 1e-9)
            << r.ring[0] << "," << r.ring[1] << "," << r.ring[2] << "," << r.ring[3] << ","
            << r.ring[4];
    }
}

TEST(TrimmedMean, SpeedIsTwicePingSizeOverMean) {
    EXPECT_DOUBLE_EQ(TrimmedMean({0, 0, 0, 0, 0}, 1024).Speed, 6.0 * 1024);
    EXPECT_DOUBLE_EQ(TrimmedMean({50, 60, 70, 80, 900}, 1400).Speed, 2800.0 / 70.0);
}

TEST(TrimmedMean, LogPageLineUsesTheLocaleSeparator) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(AverageLine("example.org", TrimmedMean({50, 60, 70, 80, 900}, 1024)),
              "Average ping for example.org: 70.00 msec. Minimum speed 29.3 kb/sec.");
    EXPECT_EQ(AverageLine("h", TrimmedMean({-5, -5, -5, -5, -5}, 1024)),
              "Average ping for h: -6.67 msec. Minimum speed -307.2 kb/sec.");
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
        EXPECT_EQ(AverageLine("h", TrimmedMean({5, 5, 5, 5, 5}, 1024)),
                  "Average ping for h:  5,00 msec. Minimum speed 409,6 kb/sec.");
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(UpdateLog, FieldsAreTabSeparatedWithPointDecimals) {
    const std::string savedNumeric = std::setlocale(LC_NUMERIC, nullptr);
    const std::string savedTime = std::setlocale(LC_TIME, nullptr);
    std::setlocale(LC_TIME, "C");
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        std::setlocale(LC_NUMERIC, "C");
    }
    const TDateTime when = EncodeDate(2026, 12, 7) + EncodeTime(14, 3, 9, 0);
    EXPECT_EQ(UpdateLogLine(when, {"a.example", 5}, {"b.example", 70}, {"c.example", 1234.5}),
              "12/07/26 14:03:09\ta.example\t 5.00\tb.example\t70.00\tc.example\t1234.50\r\n");
    EXPECT_EQ(UpdateLogLine(EncodeDate(2026, 12, 7), {"", -5}, {"x", 0.333333}, {"y", 99.999}),
              "12/07/26\t\t-5.00\tx\t 0.33\ty\t100.00\r\n");
    std::setlocale(LC_NUMERIC, savedNumeric.c_str());
    std::setlocale(LC_TIME, savedTime.c_str());
}

// A bare name goes beside the program, as the settings file does; an installed copy, whose
// directory cannot be written, or a copy in a folder others may write puts it into the user's
// data directory instead.
TEST(UpdateLog, BareNamesGoBesideTheProgramOrIntoTheDataDirectory) {
    const TTempDir programDir;
    const TTempDir data;
    setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
    const std::string unwritable = "/nonexistent/latmo";
    const TTempDir shared;  // a folder every user may write: another could plant a link there
    chmod(shared.Path().c_str(), 01777);
    struct Row {
        std::string ProgramDir, Typed, Shown;
    } const rows[] = {
        {programDir.Path(), "ping.log", programDir.Path() + "/ping.log"},
        {unwritable, "ping.log", data.Path() + "/latmo/ping.log"},
        {shared.Path(), "ping.log", data.Path() + "/latmo/ping.log"},
        {unwritable, "logs/ping.log", "logs/ping.log"},
        {unwritable, "/var/log/ping.log", "/var/log/ping.log"},
        {unwritable, "", ""},
        {programDir.Path(), "./ping.log", "./ping.log"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(CompleteLogFileName(r.Typed, r.ProgramDir), r.Shown) << r.Typed;
    }
    unsetenv("XDG_DATA_HOME");
}

// A pipe or a device named as the log must not hold the window up: only regular files are
// written, and the diagnostic log says once why the lines are missing.
TEST(UpdateLog, OnlyARegularFileIsWrittenAndAProblemIsSaidOnce) {
    const TTempDir dir;
    const std::string diag = dir.Path() + "/diag.log";
    const std::string pipe = dir.Path() + "/pipe.log";
    const std::string file = dir.Path() + "/ping.log";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    SetDiagLogPath(diag);
    TMeasurementLog log;
    {
        // With a reader the pipe could be written: it is still left alone.
        const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        log.Append(pipe, "line 1\r\n");
        log.Append(pipe, "line 2\r\n");
        char buf[16];
        EXPECT_LE(read(reader, buf, sizeof buf), 0) << "the pipe received a line";
        close(reader);
    }
    log.Append(file, "line 3\r\n");
    log.Append(pipe, "line 4\r\n");  // no reader now: would wait for one
    log.Append(dir.Path() + "/missing/ping.log", "line 5\r\n");
    SetDiagLogPath("");
    EXPECT_EQ(ReadAll(file), "line 3\r\n");
    const std::string said = ReadAll(diag);
    const std::string pipeProblem = "Measurement log " + pipe + " not written: Not a regular file";
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 3) << said;
    size_t at = said.find(pipeProblem);
    ASSERT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find(pipeProblem, at + 1), std::string::npos) << "said twice: " << said;
    EXPECT_NE(said.find(pipe + " not written: No such device or address"), std::string::npos)
        << "without a reader, nothing waits for one: " << said;
    EXPECT_NE(said.find("missing/ping.log not written: No such file or directory"),
              std::string::npos)
        << said;
}

// A full disk takes part of a line: the part is cut off again, so the file holds whole rows
// only and the next line does not start glued to a torn one. The loss is said once.
TEST(UpdateLog, ARowIsWholeOrAbsentOnAFullDisk) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root, to mount a small file system that can be filled";
    }
    const TTempDir dir;
    const std::string disk = dir.File("disk");
    mkdir(disk.c_str(), 0700);
    ASSERT_EQ(mount("tmpfs", disk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=8k,mode=0700"), 0);
    const std::string file = disk + "/ping.log";
    const std::string filler = disk + "/filler";
    WriteAll(filler, std::string(4096, 'f'));  // one of the two pages
    const std::string row = std::string(98, 'r') + "\r\n";
    SetDiagLogPath(dir.File("diag.log"));
    TMeasurementLog log;
    for (int i = 0; i < 50; ++i) {  // 41 rows would need more than the page left
        log.Append(file, row);
    }
    std::filesystem::remove(filler);
    log.Append(file, "last\r\n");
    SetDiagLogPath("");
    const std::string written = ReadAll(file);
    umount2(disk.c_str(), MNT_DETACH);
    std::string rowsThatFit;
    while (rowsThatFit.size() + row.size() <= 4096) {
        rowsThatFit += row;
    }
    EXPECT_EQ(written, rowsThatFit + "last\r\n");
    const std::string said = ReadAll(dir.File("diag.log"));
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(file + " not written: No space left on device"), std::string::npos) << said;
}

}  // namespace
