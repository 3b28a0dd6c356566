// Where a bare alarm name is looked for, and which places are passed over because another user
// may change what lies there (folder and file permissions, as Linux keeps them).

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/Unit1.h"
#include "support/TempDir.h"
#include "toolkit/DiagLog.h"
#include "toolkit/SysUtils.h"

// A bare alarm name is found here, beside the program or in a data directory, but only where no
// other user may change the file: one planted in a shared folder would run as this user.
TEST(AlarmFile, ABareNameIsTakenFromTheUsersOwnPlacesOnly) {
    const std::string name =
        "latmo-test-alarm-" + std::to_string(QCoreApplication::applicationPid()) + ".wav";
    const std::string beside = IncludeTrailingPathDelimiter(ProgramDir()) + name;
    const TTempDir cwd;
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(cwd.Path());
    SetDiagLogPath(cwd.File("diag.log"));
    EXPECT_EQ(TForm1::ResolveAlarmFile(name), name) << "none anywhere: a program in PATH, maybe";
    EXPECT_EQ(TForm1::ResolveAlarmFile("/abs/alarm.wav"), "/abs/alarm.wav");
    EXPECT_EQ(TForm1::ResolveAlarmFile(""), "");
    { std::ofstream(beside) << "RIFF"; }
    EXPECT_EQ(TForm1::ResolveAlarmFile(name), beside);
    { std::ofstream(name) << "RIFF"; }
    EXPECT_EQ(TForm1::ResolveAlarmFile(name), "./" + name) << "one here wins";
    chmod(cwd.Path().c_str(), 01777);
    EXPECT_EQ(TForm1::ResolveAlarmFile(name), beside) << "not from a folder every user may write";
    chmod(cwd.Path().c_str(), 0700);
    chmod(name.c_str(), 0620);
    EXPECT_EQ(TForm1::ResolveAlarmFile(name), beside) << "not a file its group may write";
    EXPECT_NE(ReadAll(cwd.File("diag.log")).find("./" + name + " may be written by its group"),
              std::string::npos);
    std::filesystem::remove(name);
    std::filesystem::remove(beside);

    // An installed copy keeps it in a data directory: its own prefix's share/latmo first, then
    // those that $XDG_DATA_DIRS lists.
    const std::string data = cwd.File("data");
    std::filesystem::create_directories(data + "/latmo");
    { std::ofstream(data + "/latmo/" + name) << "RIFF"; }
    const char* oldDirs = std::getenv("XDG_DATA_DIRS");
    const std::string savedDirs = oldDirs != nullptr ? oldDirs : "";
    setenv("XDG_DATA_DIRS", ("relative/ignored:/nonexistent:" + data).c_str(), 1);
    EXPECT_EQ(TForm1::ResolveAlarmFile(name), data + "/latmo/" + name);
    chmod((data + "/latmo").c_str(), 0777);
    EXPECT_EQ(TForm1::ResolveAlarmFile(name), name);
    const std::string share = IncludeTrailingPathDelimiter(ProgramDir()) + "../share";
    const bool hadShare = std::filesystem::exists(share);
    std::filesystem::create_directories(share + "/latmo");
    { std::ofstream(share + "/latmo/" + name) << "RIFF"; }
    EXPECT_EQ(TForm1::ResolveAlarmFile(name), share + "/latmo/" + name);
    if (hadShare) {
        std::filesystem::remove(share + "/latmo/" + name);
    } else {
        std::filesystem::remove_all(share);
    }
    if (oldDirs != nullptr) {
        setenv("XDG_DATA_DIRS", savedDirs.c_str(), 1);
    } else {
        unsetenv("XDG_DATA_DIRS");
    }
    SetDiagLogPath("");
    std::filesystem::current_path(here);
}
