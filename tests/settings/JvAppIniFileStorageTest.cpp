#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "settings/JvAppIniFileStorage.h"
#include "support/TempDir.h"
#include "toolkit/DiagLog.h"
#include "toolkit/SysUtils.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxFileSize = TJvCustomAppMemoryFileStorage::kMaxFileSize;
constexpr const char* kTooLarge = "Not a settings file: larger than 16 MiB";

// Valid settings lines, size bytes in all.
std::string Settings(size_t size) {
    std::string text = "[TForm1]\r\nkeep=1\r\n";
    const std::string line = "Key=" + std::string(1000, 'v') + "\r\n";
    while (text.size() + line.size() + 8 < size) {
        text += line;
    }
    return text + "Last=" + std::string(size - text.size() - 7, 'v') + "\r\n";
}

// What tells whether a file was touched: which file it is, its kind, size, blocks and time of
// change, and for a regular file its first bytes (the rest of a large file, when there is any,
// cannot change unseen by the other four).
std::string Snapshot(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        return "missing";
    }
    std::string start;
    if (S_ISREG(st.st_mode) && (st.st_mode & 0444) != 0) {
        start.resize(64);
        std::ifstream(path, std::ios::binary).read(start.data(), 64);
    }
    return std::to_string(st.st_ino) + " " + std::to_string(st.st_mode) + " " +
           std::to_string(st.st_size) + " " + std::to_string(st.st_blocks) + " " +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " " +
           start;
}

// The most memory the test has used at one time so far.
long PeakMemoryMiB() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

class TFileStore : public ::testing::Test {
protected:
    // As the window sets it up, but in a directory of the test's own.
    std::unique_ptr<TJvAppIniFileStorage> Open(const std::string& directory) {
        auto store = std::make_unique<TJvAppIniFileStorage>(nullptr);
        store->SetDefaultSection("TForm1");
        store->SetLocation(TFileLocation::flCustom);
        store->SetDirectory(directory);
        store->SetFileName("Latmo.ini");
        return store;
    }
    // Destroys the store as the window does at exit; returns what it said on standard error.
    std::string Close(std::unique_ptr<TJvAppIniFileStorage>& store) {
        SetDiagLogPath(Dir.File("diag.log"));
        ::testing::internal::CaptureStderr();
        store.reset();
        SetDiagLogPath("");
        return ::testing::internal::GetCapturedStderr();
    }
    std::string Ini() const { return Dir.File("Latmo.ini"); }

    TTempDir Dir;
};

TEST_F(TFileStore, FullFileName) {
    TJvAppIniFileStorage store(nullptr);
    EXPECT_EQ(store.FullFileName(), "");
    store.SetFileName("Latmo.ini");
    EXPECT_EQ(store.FullFileName(),
              IncludeTrailingPathDelimiter(store.ExeFileDirectory(ProgramDir(), "Latmo.ini")) +
                  "Latmo.ini");
    store.SetLocation(TFileLocation::flCustom);
    store.SetDirectory("/d");
    for (const char* name : {"sub\\Latmo.ini", "C:Latmo.ini", "../Latmo.ini"}) {
        store.SetFileName(name);
        EXPECT_EQ(store.FullFileName(), "/d/Latmo.ini") << name;
    }
    store.SetFileName("dir\\");
    EXPECT_EQ(store.FullFileName(), "");
    store.SetFileName("");  // nothing to write at the end of this test
}

// Beside the program only where nobody but the user (or root) can change the folder or the
// file: settings planted there by another user would run their alarm as this user. Otherwise
// the user's config directory serves, and the diagnostic log says why, once.
TEST_F(TFileStore, BesideTheProgramOnlyWhereNoOtherUserMayChangeIt) {
    const std::string config = Dir.File("config");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    SetDiagLogPath(Dir.File("diag.log"));
    const uid_t other = 65534;
    struct Row {
        const char* what;
        mode_t mode;
        bool otherUsersFile, otherUsersLink, beside;
    } const rows[] = {
        {"the user's own folder", 0755, false, false, true},
        {"a folder its group may write", 0775, false, false, false},
        {"a sticky folder every user may write", 01777, false, false, false},
        {"another user's file in the user's folder", 0755, true, false, false},
        {"another user's link in the user's folder", 0755, false, true, false},
    };
    for (const Row& r : rows) {
        if ((r.otherUsersFile || r.otherUsersLink) && geteuid() != 0) {
            continue;  // only root can give a file away
        }
        const std::string dir = Dir.File(std::string("program-") + std::to_string(&r - rows));
        fs::create_directory(dir);
        chmod(dir.c_str(), r.mode);
        const std::string ini = dir + "/Latmo.ini";
        if (r.otherUsersFile) {
            WriteAll(ini, "[TForm1]\r\n");
            ASSERT_EQ(chown(ini.c_str(), other, other), 0);
        }
        if (r.otherUsersLink) {
            fs::create_symlink(Dir.File("diag.log"), ini);
            ASSERT_EQ(lchown(ini.c_str(), other, other), 0);
        }
        for (int twice = 0; twice < 2; ++twice) {
            EXPECT_EQ(TJvCustomAppMemoryFileStorage::ExeFileDirectory(dir, "Latmo.ini"),
                      r.beside ? dir : config + "/latmo")
                << r.what;
        }
        const std::string said = ReadAll(Dir.File("diag.log"));
        EXPECT_EQ(
            said.find("Not used, as another user could change it: " + dir) != std::string::npos,
            !r.beside)
            << r.what << ": " << said;
        EXPECT_EQ(said.find(dir, said.find(dir) + dir.size()), std::string::npos)
            << r.what << ": said twice: " << said;
    }
    // A folder that cannot be written is an installed copy's: no word about it.
    EXPECT_EQ(TJvCustomAppMemoryFileStorage::ExeFileDirectory("/nonexistent", "Latmo.ini"),
              config + "/latmo");
    EXPECT_EQ(ReadAll(Dir.File("diag.log")).find("/nonexistent"), std::string::npos);
    SetDiagLogPath("");
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(TFileStore, WithoutAFileTheFirstExitCreatesIt) {
    auto store = Open(Dir.Path());
    EXPECT_EQ(store->ReadStringValue("Edit2_Text", "45"), "45");
    store->WriteStringValue("Edit2_Text", "30");
    store->WriteStringValue(".host_Lines\\Count", "0");
    EXPECT_FALSE(fs::exists(Ini())) << "nothing is written before the store is destroyed";
    EXPECT_EQ(Close(store), "");
    EXPECT_EQ(ReadAll(Ini()), "[TForm1]\r\nEdit2_Text=30\r\n\r\n[.host_Lines]\r\nCount=0\r\n\r\n");
}

// Read once; written at the end over what another copy wrote to the file meanwhile, keeping that
// where this store did not change the same key.
TEST_F(TFileStore, ReadsOnceAndWritesItsChangesOverAnotherCopys) {
    const std::string first =
        "; hand-written\r\n[tform1]\r\n  Edit2_Text = 60 \r\nOne=False\r\nbare line\r\n"
        "[.host_Lines]\r\nCount=1\r\nItem0=a\r\n";
    const std::string lists = "[.host_Lines]\r\nCount=1\r\nItem0=a\r\n\r\n";
    const struct {
        const char* What;
        const char* Later;  // nullptr: the file was removed
        bool RemoveOne;
        std::string Expected;
    } rows[] = {
        {"nobody else wrote", first.c_str(), false,
         "[tform1]\r\nedit2_text=61\r\nOne=False\r\nbare line\r\n\r\n" + lists},
        {"another copy ticked a box and emptied a list",
         "[TForm1]\r\nEdit2_Text=60\r\nOne=True\r\n", false,
         "[TForm1]\r\nedit2_text=61\r\nOne=True\r\n\r\n"},
        {"another copy changed the same key", "[TForm1]\r\nEdit2_Text=99\r\nOne=False\r\n", false,
         "[TForm1]\r\nedit2_text=61\r\nOne=False\r\n\r\n"},
        {"this copy removed a key, another added a list item",
         "[TForm1]\r\nEdit2_Text=60\r\nOne=False\r\n[.host_Lines]\r\nCount=2\r\nItem0=a\r\n"
         "Item1=b\r\n",
         true,
         "[TForm1]\r\nedit2_text=61\r\n\r\n[.host_Lines]\r\nCount=2\r\nItem0=a\r\nItem1=b\r\n\r\n"},
        {"the file was removed", nullptr, false,
         "[tform1]\r\nedit2_text=61\r\nOne=False\r\nbare line\r\n\r\n" + lists},
    };
    for (const auto& r : rows) {
        WriteAll(Ini(), first);
        auto store = Open(Dir.Path());
        EXPECT_EQ(store->IniFile().FileName(), Ini());
        EXPECT_EQ(store->ReadIntegerValue("Edit2_Text", 45), 60);
        if (r.Later != nullptr) {
            WriteAll(Ini(), r.Later);
        } else {
            fs::remove(Ini());
        }
        store->WriteIntegerValue("edit2_text", 61);
        if (r.RemoveOne) {
            store->IniFile().DeleteKey("TForm1", "One");
        }
        EXPECT_EQ(Close(store), "");
        EXPECT_EQ(ReadAll(Ini()), r.Expected) << r.What;
    }
}

// A running copy as its settings see it: what its window holds is written whole into the store
// at every save, as the form storage does, changed or not.
struct TCopy {
    std::unique_ptr<TJvAppIniFileStorage> Store;
    std::map<std::string, std::string> Window;

    void Save() {
        for (const auto& [key, value] : Window) {
            Store->WriteStringValue(key, value);
        }
        Store->Flush();
    }
};

// What one copy changed stays in the file through every later save and exit of another copy
// that did not change the same key, in either order of exit; so does a hand edit made while a
// copy runs, though at SIGTERM the window's save and the store's own both write.
TEST_F(TFileStore, WhatAnotherCopyChangedOutlivesThisOnesSavesAndExit) {
    const std::map<std::string, std::string> window = {{"ComboBox3_Text", "old"},
                                                       {"Edit2_Text", "3"}};
    const std::string start = "[TForm1]\r\nComboBox3_Text=old\r\nEdit2_Text=3\r\n\r\n";
    const std::string both = "[TForm1]\r\nComboBox3_Text=new\r\nEdit2_Text=9\r\n\r\n";
    // SIGTERM: the window saves as it closes, then the store writes as it is destroyed.
    const auto exit = [this](TCopy& copy) {
        copy.Save();
        EXPECT_EQ(Close(copy.Store), "");
    };
    for (const bool aFirst : {true, false}) {
        const std::string order = aFirst ? "A exits first" : "B exits first";
        WriteAll(Ini(), start);
        TCopy a{Open(Dir.Path()), window};
        TCopy b{Open(Dir.Path()), window};
        b.Window["Edit2_Text"] = "9";
        b.Save();
        a.Window["ComboBox3_Text"] = "new";
        a.Save();
        EXPECT_EQ(ReadAll(Ini()), both) << order;
        for (int i = 0; i < 2; ++i) {
            a.Save();
            b.Save();
        }
        EXPECT_EQ(ReadAll(Ini()), both) << order << ": after saves without a change";
        exit(aFirst ? a : b);
        EXPECT_EQ(ReadAll(Ini()), both) << order << ": after the first exit";
        exit(aFirst ? b : a);
        EXPECT_EQ(ReadAll(Ini()), both) << order << ": after the second exit";
    }

    WriteAll(Ini(), start);
    TCopy alone{Open(Dir.Path()), window};
    WriteAll(Ini(), "[TForm1]\r\nComboBox3_Text=old\r\nEdit2_Text=7\r\n");
    alone.Window["ComboBox3_Text"] = "new";
    exit(alone);
    EXPECT_EQ(ReadAll(Ini()), "[TForm1]\r\nComboBox3_Text=new\r\nEdit2_Text=7\r\n\r\n")
        << "a hand edit made while the copy ran";
}

// A flush writes a change at once, and only a change: what another copy wrote stays when this
// one has nothing new. A failing flush is told once, not at every flush nor again at the end.
TEST_F(TFileStore, AFlushWritesAChangeAtOnceAndTellsAFailureOnce) {
    WriteAll(Ini(), "; hand-written\r\n[TForm1]\r\nk=old\r\n");
    auto store = Open(Dir.Path());
    int told = 0;
    store->OnSaveError = [&](TObject*, const std::string&) { ++told; };
    store->Flush();
    EXPECT_EQ(ReadAll(Ini()), "; hand-written\r\n[TForm1]\r\nk=old\r\n") << "nothing changed";
    store->WriteStringValue("k", "new");
    store->Flush();
    EXPECT_EQ(ReadAll(Ini()), "[TForm1]\r\nk=new\r\n\r\n");
    WriteAll(Ini(), "[TForm1]\r\nk=new\r\nother=copy\r\n");
    store->Flush();
    EXPECT_EQ(ReadAll(Ini()), "[TForm1]\r\nk=new\r\nother=copy\r\n");

    chmod(Ini().c_str(), 0444);
    store->WriteStringValue("k", "newer");
    SetDiagLogPath(Dir.File("diag.log"));
    ::testing::internal::CaptureStderr();
    store->Flush();
    store->Flush();
    EXPECT_EQ(
        ::testing::internal::GetCapturedStderr(),
        "latmo: Settings not saved: Cannot create file \"" + Ini() + "\". Permission denied\n");
    EXPECT_EQ(told, 1);
    EXPECT_EQ(Close(store), "");
    EXPECT_EQ(told, 1);
    EXPECT_EQ(ReadAll(Ini()), "[TForm1]\r\nk=new\r\nother=copy\r\n");
}

// A file larger than any settings file is refused by its size, unread: reading it would cost
// many times its size in memory.
TEST_F(TFileStore, AFileThatCannotBeReadIsReportedAndKept) {
    struct Row {
        const char* what;
        void (*make)(const std::string& path);
        const char* reason;
    } rows[] = {
        {"a directory", [](const std::string& p) { fs::create_directory(p); }, "Is a directory"},
        {"a pipe", [](const std::string& p) { mkfifo(p.c_str(), 0600); }, "Not a regular file"},
        {"no read permission",
         [](const std::string& p) {
             WriteAll(p, "[TForm1]\r\nkeep=1\r\n");
             chmod(p.c_str(), 0200);
         },
         "Permission denied"},
        {"a sparse 2 GiB file",
         [](const std::string& p) {
             WriteAll(p, "[TForm1]\r\nkeep=1\r\n");
             fs::resize_file(p, std::uintmax_t{2} << 30);
         },
         kTooLarge},
        {"settings one byte past the limit",
         [](const std::string& p) { WriteAll(p, Settings(kMaxFileSize + 1)); }, kTooLarge},
    };
    for (const Row& r : rows) {
        if (std::string(r.what) == "no read permission" && geteuid() == 0) {
            continue;  // root reads anyway; the pipe row covers a file that would be replaced
        }
        fs::remove_all(Ini());
        r.make(Ini());
        const std::string before = Snapshot(Ini());
        const long peak = PeakMemoryMiB();
        auto store = std::make_unique<TJvAppIniFileStorage>(nullptr);
        store->SetLocation(TFileLocation::flCustom);
        store->SetDirectory(Dir.Path());
        try {
            store->SetFileName("Latmo.ini");
            ADD_FAILURE() << r.what << ": no error";
        } catch (const EFOpenError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + Ini() + "\". " + r.reason);
        }
        EXPECT_LT(PeakMemoryMiB() - peak, 64) << r.what << ": read into memory";
        // The window says so and ends in order: its store is destroyed without writing.
        EXPECT_TRUE(store->LoadFailed());
        store->WriteStringValue("S\\k", "v");
        const std::string said = Close(store);
        EXPECT_NE(said.find("was not replaced, because it could not be read"), std::string::npos)
            << r.what << ": " << said;
        EXPECT_EQ(Snapshot(Ini()), before) << r.what;
    }
}

TEST_F(TFileStore, AFailingSaveAtExitIsReportedNotRaised) {
    // A directory that does not exist stops a write even for root.
    auto store = Open(Dir.File("missing/sub"));
    store->WriteStringValue("k", "v");
    const std::string said = Close(store);
    const std::string expected = "Settings not saved: Cannot create file \"" +
                                 Dir.File("missing/sub/Latmo.ini") +
                                 "\". No such file or directory";
    EXPECT_EQ(said, "latmo: " + expected + "\n");
    EXPECT_NE(ReadAll(Dir.File("diag.log")).find(expected), std::string::npos);

    // A failure after the new text is written keeps the old file whole.
    WriteAll(Ini(), "[TForm1]\r\nk=old\r\n");
    store = Open(Dir.Path());
    store->WriteStringValue("k", "new");
    store->SetWriteFault([](TWriteStep step) { return step == TWriteStep::wsRename ? EIO : 0; });
    EXPECT_NE(Close(store).find("Input/output error"), std::string::npos);
    EXPECT_EQ(ReadAll(Ini()), "[TForm1]\r\nk=old\r\n");

    // A file marked read-only in a writable directory is left as it is, also by root; the
    // owner hears why, as of any other failure.
    chmod(Ini().c_str(), 0444);
    store = Open(Dir.Path());
    std::string told;
    store->OnSaveError = [&](TObject*, const std::string& message) { told = message; };
    store->WriteStringValue("k", "new");
    EXPECT_EQ(Close(store), "latmo: Settings not saved: Cannot create file \"" + Ini() +
                                "\". Permission denied\n");
    EXPECT_EQ(told, "Settings not saved: Cannot create file \"" + Ini() + "\". Permission denied");
    EXPECT_EQ(ReadAll(Ini()), "[TForm1]\r\nk=old\r\n");

    // A file grown past a settings file's size meanwhile is not written over, as at start.
    chmod(Ini().c_str(), 0644);
    store = Open(Dir.Path());
    store->WriteStringValue("k", "new");
    WriteAll(Ini(), Settings(kMaxFileSize + 1));
    const std::string grown = Snapshot(Ini());
    EXPECT_EQ(Close(store),
              "latmo: Settings not saved: Cannot open file \"" + Ini() + "\". " + kTooLarge + "\n");
    EXPECT_EQ(Snapshot(Ini()), grown);
}

// The place is decided when the file is read. A program directory that may no longer be written
// at the end of the run must not send the save into another file than the one read.
TEST_F(TFileStore, TheFileReadIsTheFileWritten) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root, to give up the right to write in one thread of the test";
    }
    const std::string config = Dir.File("config");
    fs::create_directory(config);
    chmod(Dir.Path().c_str(), 0755);
    chmod(config.c_str(), 0777);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    std::string said;
    std::string read;
    // Credentials are per thread in the kernel; the raw call changes only this one's.
    std::thread([&] {
        auto store = std::make_unique<TJvAppIniFileStorage>(nullptr);
        store->SetDefaultSection("TForm1");
        store->SetFileName("Latmo.ini");  // beside the program, which root may write
        read = store->FullFileName();
        ASSERT_EQ(syscall(SYS_setresuid, 65534, 65534, 65534), 0);
        store->WriteStringValue("k", "v");
        said = Close(store);
    }).join();
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(read, IncludeTrailingPathDelimiter(ProgramDir()) + "Latmo.ini");
    EXPECT_FALSE(fs::exists(config + "/latmo/Latmo.ini")) << "written elsewhere than read";
    EXPECT_NE(said.find("Cannot create file \"" + read + "\""), std::string::npos) << said;
}

}  // namespace
