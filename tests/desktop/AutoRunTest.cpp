// The autostart component against the real log-on lists (XDG autostart folders in a scratch
// directory): what a desktop session would find there, read back as the session reads it, and
// started as GLib and systemd's autostart generator start it.

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "desktop/abfAutoRun.h"
#include "platform/linux/LinuxRunList.h"
#include "support/FakeRunList.h"

namespace fs = std::filesystem;

namespace {

// The keys of a desktop entry's main group, values unescaped as the desktop-entry rules say.
std::map<std::string, std::string> ReadEntry(const fs::path& file) {
    std::ifstream in(file);
    std::map<std::string, std::string> keys;
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        std::string value;
        for (size_t i = eq + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char c = line[++i];
                value += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
            } else {
                value += line[i];
            }
        }
        keys[line.substr(0, eq)] = value;
    }
    return keys;
}

// The program an unescaped Exec value starts, by the desktop-entry quoting rules; its
// arguments are counted.
std::string ExecProgram(const std::string& exec, int& arguments) {
    std::vector<std::string> args(1);
    bool quoted = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
            args.back() += '%';
            ++i;
        } else if (quoted && c == '\\' && i + 1 < exec.size()) {
            args.back() += exec[++i];
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ' ' && !quoted) {
            args.emplace_back();
        } else {
            args.back() += c;
        }
    }
    arguments = static_cast<int>(args.size()) - 1;
    return args.front();
}

class AutoRunLists : public ::testing::Test {
protected:
    AutoRunLists() {
        fs::remove_all(root);
        fs::create_directories(root);
        Save("XDG_CONFIG_HOME", (root / "config").string());
        Save("XDG_CONFIG_DIRS", (root / "xdg").string());
    }
    ~AutoRunLists() override {
        for (const auto& [name, value] : saved) {
            if (value.empty()) {
                unsetenv(name.c_str());
            } else {
                setenv(name.c_str(), value.c_str(), 1);
            }
        }
        fs::remove_all(root);
    }
    void Save(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        saved[name] = old != nullptr ? old : "";
        setenv(name.c_str(), value.c_str(), 1);
    }
    // A run of the program from that path: the component as the window's design builds it.
    std::unique_ptr<TabfAutoRun> Start(const std::string& program) {
        auto autoRun = std::make_unique<TabfAutoRun>(nullptr, list);
        autoRun->BeginLoading();
        autoRun->SetFileName(program);
        autoRun->SetKind(aekUserRun);
        autoRun->EndLoading();
        return autoRun;
    }
    fs::path UserEntry(const std::string& name) const {
        return root / "config" / "autostart" / (name + ".desktop");
    }

    const fs::path root = fs::temp_directory_path() / ("latmo-autorun-" + std::to_string(getpid()));
    std::map<std::string, std::string> saved;
    TLinuxRunList list;
};

struct TProgramCase {
    const char* Name;
    std::string Directory;
    const char* Refused;  // none: the entry is written, and the desktop starts the program
};

// Whether a desktop starts the program from the entry: GLib's desktop-file parsing (gio launch
// runs it, and the program leaves a mark) and systemd's autostart generator (it makes a unit
// only for an entry whose program it finds).
std::string DesktopsStart(const fs::path& root, const fs::path& entry, const fs::path& mark) {
    std::string missed;
    if (fs::exists("/usr/bin/gio")) {
        fs::remove(mark);
        const std::string command = "/usr/bin/gio launch '" + entry.string() + "' 2>/dev/null";
        std::system(command.c_str());
        for (int i = 0; i < 100 && !fs::exists(mark); ++i) {
            usleep(20000);
        }
        missed += fs::exists(mark) ? "" : "GLib did not start it. ";
    }
    const char* generator = "/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator";
    if (fs::exists(generator)) {
        const fs::path units = root / "units";
        fs::remove_all(units);
        fs::create_directories(units);
        const std::string command = std::string(generator) + " '" + units.string() + "' '" +
                                    units.string() + "' '" + units.string() + "' 2>/dev/null";
        std::system(command.c_str());
        missed += fs::exists(units / "app-latmo@autostart.service")
                      ? ""
                      : "systemd's autostart generator made no unit. ";
    }
    return missed;
}

TEST_F(AutoRunLists, ATickedBoxWritesAnEntryThatDesktopsStartOrSaysWhyNot) {
    const std::vector<TProgramCase> cases = {
        {"plain path", "bin", nullptr},
        {"blanks in the path", "my programs", nullptr},
        {"quotes, dollar, backquote, semicolon", "a\"b$c`d;e", nullptr},
        {"UTF-8 and a tab", "h\xc3\xa4st\tx", nullptr},
        {"a percent sign", "100%", "a percent sign"},
        {"a backslash", "a\\b", "a backslash"},
        {"bytes that are not UTF-8", "L\xe4rm", "bytes that are not UTF-8"},
    };
    const fs::path mark = root / "started";
    for (const TProgramCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path program = root / c.Directory / "latmo";
        fs::create_directories(program.parent_path());
        std::ofstream(program) << "#!/bin/sh\ntouch '" << mark.string() << "'\n";
        fs::permissions(program, fs::perms::owner_all);
        auto autoRun = Start(program.string());
        autoRun->SetAutoRun(true);
        const fs::path file = UserEntry("latmo");
        if (c.Refused != nullptr) {
            EXPECT_FALSE(fs::exists(file));
            EXPECT_EQ(autoRun->ApplyError(), "desktops cannot start a program whose path holds " +
                                                 std::string(c.Refused) + " (" + program.string() +
                                                 ")");
            continue;
        }
        ASSERT_TRUE(fs::exists(file));
        EXPECT_EQ(autoRun->ApplyError(), "");
        const auto keys = ReadEntry(file);
        int arguments = -1;
        EXPECT_EQ(ExecProgram(keys.at("Exec"), arguments), program.string());
        EXPECT_EQ(arguments, 0);
        EXPECT_EQ(keys.at("X-Latmo-Value-Data"), program.string());
        EXPECT_EQ(keys.at("X-Latmo-Value-Type"), "REG_SZ");
        if (fs::exists("/usr/bin/desktop-file-validate")) {
            const std::string command = "/usr/bin/desktop-file-validate '" + file.string() + "'";
            EXPECT_EQ(std::system(command.c_str()), 0);
        }
        EXPECT_EQ(DesktopsStart(root, file, mark), "");
        autoRun->SetAutoRun(false);
        EXPECT_FALSE(fs::exists(file));
    }
}

TEST_F(AutoRunLists, AStartWithTheBoxUntickedDeletesAnEntryMadeByHand) {
    fs::create_directories(UserEntry("latmo").parent_path());
    std::ofstream(UserEntry("latmo")) << "[Desktop Entry]\nType=Application\nExec=/old/latmo\n";
    std::ofstream(UserEntry("other")) << "[Desktop Entry]\nType=Application\nExec=/usr/bin/other\n";
    auto autoRun = Start((root / "bin" / "latmo").string());
    autoRun->SetAutoRun(false);
    EXPECT_FALSE(fs::exists(UserEntry("latmo")));
    EXPECT_TRUE(fs::exists(UserEntry("other")));
}

TEST_F(AutoRunLists, AMachineWideEntryOfTheProgramsNameIsRemovedWhereItMayBe) {
    const fs::path machine = root / "xdg" / "autostart" / "latmo.desktop";
    fs::create_directories(machine.parent_path());
    std::ofstream(machine) << "[Desktop Entry]\nType=Application\nExec=/old/latmo\n";
    Start((root / "bin" / "latmo").string());
    EXPECT_FALSE(fs::exists(machine));
}

TEST_F(AutoRunLists, AnAutostartFolderThatCannotBeMadeIsToldNotRaised) {
    // A file where the configuration folder should be: not even root can make the folder.
    std::ofstream(root / "config") << "not a folder";
    const std::string program = (root / "bin" / "latmo").string();
    EXPECT_FALSE(AddAutoRunEntry(list, aekUserRun, program)) << "the failure is told";
    auto autoRun = Start(program);
    autoRun->SetAutoRun(true);
    EXPECT_TRUE(autoRun->AutoRun());
    EXPECT_FALSE(fs::exists(UserEntry("latmo")));
    EXPECT_EQ(autoRun->ApplyError(), "the folder " + (root / "config" / "autostart").string() +
                                         " cannot be written (Not a directory)");
    std::ifstream in(root / "config");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "not a folder");
}

TEST(AutoRun, OnlyAChangeOfStateWritesOrRemoves) {
    TFakeRunList fake;
    TabfAutoRun autoRun(nullptr, fake);
    autoRun.SetKind(aekUserRun);
    autoRun.SetFileName("/opt/x/latmo");
    autoRun.SetAutoRun(true);
    const TFakeRunList::TValue written{"/opt/x/latmo", false};
    EXPECT_EQ(fake.Lists[TRunListScope::rsUser]["latmo"], written);
    const int writes = fake.Writes, deletes = fake.Deletes;
    autoRun.SetAutoRun(true);
    EXPECT_EQ(fake.Writes, writes);
    EXPECT_EQ(fake.Deletes, deletes);
}

}  // namespace
