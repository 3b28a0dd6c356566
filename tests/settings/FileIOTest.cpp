#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cerrno>
#include <filesystem>

#include "settings/FileIO.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

TEST(FileIO, AFailedReplacementKeepsTheOldFileWhole) {
    const TWriteStep steps[] = {TWriteStep::wsCreate, TWriteStep::wsWrite, TWriteStep::wsSync,
                                TWriteStep::wsRename};
    for (const TWriteStep failing : steps) {
        TTempDir dir;
        const std::string path = dir.File("Latmo.ini");
        WriteAll(path, "[TForm1]\r\nold=1\r\n\r\n");
        const TWriteFault fault = [failing](TWriteStep step) {
            return step == failing ? ENOSPC : 0;
        };
        try {
            WriteFileAtomic(path, "[TForm1]\r\nnew=2\r\n\r\n", fault);
            ADD_FAILURE() << "no error at step " << static_cast<int>(failing);
        } catch (const EFCreateError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot create file \"" + path + "\". No space left on device");
        }
        EXPECT_EQ(ReadAll(path), "[TForm1]\r\nold=1\r\n\r\n");
        EXPECT_EQ(EntryCount(dir.Path()), 1) << "a temporary file was left behind";
    }
}

TEST(FileIO, ReplacementKeepsPermissionsAndLinks) {
    TTempDir dir;
    const std::string target = dir.File("real.ini");
    const std::string link = dir.File("Latmo.ini");
    WriteAll(target, "old");
    chmod(target.c_str(), 0640);
    fs::create_symlink("real.ini", link);

    WriteFileAtomic(link, "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(target), "new");
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(EntryCount(dir.Path()), 2);

    WriteFileAtomic(dir.File("fresh.ini"), "");
    EXPECT_TRUE(fs::exists(dir.File("fresh.ini")));
}

TEST(FileIO, WhatCannotBeReadIsAnOpenError) {
    TTempDir dir;
    fs::create_directory(dir.File("adir"));
    mkfifo(dir.File("afifo").c_str(), 0600);
    WriteAll(dir.File("afile"), std::string("a\0b", 3));
    EXPECT_EQ(ReadFileText(dir.File("afile"), 3), std::string("a\0b", 3));
    WriteAll(dir.File("large"), "abcd");
    // Far past the limit: refused by its size, not read.
    fs::resize_file(dir.File("large"), std::uintmax_t{2} << 30);
    struct Row {
        const char* name;
        const char* reason;
    } const rows[] = {
        {"adir", "Is a directory"},
        {"afifo", "Not a regular file"},
        {"missing", "No such file or directory"},
        {"large", "Not a settings file: larger than 3 bytes"},
    };
    for (const Row& r : rows) {
        try {
            ReadFileText(dir.File(r.name), 3);
            ADD_FAILURE() << r.name;
        } catch (const EFOpenError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot open file \"" + dir.File(r.name) + "\". " + r.reason);
        }
    }
    EXPECT_TRUE(FileEntryExists(dir.File("adir")));
    EXPECT_FALSE(FileEntryExists(dir.File("missing")));
    EXPECT_FALSE(FileEntryExists(dir.File("afile/under-a-file")));
}

}  // namespace
