// Runs a command inside a latency lab, for trying the program by hand against hosts with known
// delays:
//   latmo-lab-run [--user NAME] [--closed] [--as-is] DELAY_MS[:DROP][~][@6]|unreach[@6] ... --
//   COMMAND [ARGS...]
// Each DELAY_MS (optionally with a drop fraction, e.g. 80:0.25, or "unreach") becomes one lab
// host, reached at its IPv6 address where "@6" follows; with "~" the host also sends decoys,
// forged replies among them, halfway through the delay; their addresses are printed; the command
// runs in the lab's client namespace, where every group may open ICMP datagram sockets (--closed:
// none may, as on a fresh Debian, so that Latmo falls back to another engine); the lab is removed
// when the command ends.
//
// When the command is Latmo itself (a program file named "latmo"), it runs as the user who
// called sudo (or the --user given), from a copy in a private scratch folder whose Latmo.ini
// names the first three lab hosts and probes them every 3 s: it measures the lab at once, and
// neither the user's own settings nor the build tree get a file, let alone one owned by root.
// The scratch folder goes when Latmo ends. --as-is runs even Latmo as given (the end-to-end
// tests, which bring their own settings).

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lab/LatencyLab.h"

namespace {

struct TRunAs {
    uid_t Uid = 0;
    gid_t Gid = 0;
    std::string Name;
    std::string Home;
};

bool LookUpUser(const std::string& name, TRunAs& user) {
    const passwd* entry = getpwnam(name.c_str());
    if (entry == nullptr) {
        return false;
    }
    user = {entry->pw_uid, entry->pw_gid, entry->pw_name, entry->pw_dir};
    return true;
}

// A private copy of Latmo with settings that watch the lab hosts.
std::string PrepareLatmo(const std::string& program, const std::vector<std::string>& hosts,
                         const TRunAs& user) {
    namespace fs = std::filesystem;
    std::string pattern = "/tmp/latmo-lab-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder in /tmp");
    }
    const fs::path dir = pattern;
    fs::copy_file(program, dir / "latmo");
    const fs::path alarm = fs::path(program).parent_path() / "alarm.wav";
    if (fs::exists(alarm)) {
        fs::copy_file(alarm, dir / "alarm.wav");
    }
    const auto host = [&](size_t i) { return i < hosts.size() ? hosts[i] : std::string(); };
    std::ofstream ini(dir / "Latmo.ini", std::ios::binary);
    ini << "[TForm1]\r\nEdithost_Text=" << host(0) << "\r\nComboBox1_Text=" << host(0)
        << "\r\nComboBox2_Text=" << host(1) << "\r\nComboBox3_Text=" << host(2)
        << "\r\nEdit2_Text=3\r\nEditTimeout_Text=1000\r\n\r\n";
    ini.close();
    for (const char* name : {"", "latmo", "alarm.wav", "Latmo.ini"}) {
        const fs::path path = dir / name;
        if (fs::exists(path) && chown(path.c_str(), user.Uid, user.Gid) != 0) {
            throw std::runtime_error("cannot hand " + path.string() + " to " + user.Name);
        }
    }
    return dir;
}

// In the child: becomes the user, with the environment a program of that user's desktop
// session expects.
void BecomeUser(const TRunAs& user) {
    if (initgroups(user.Name.c_str(), user.Gid) != 0 || setgid(user.Gid) != 0 ||
        setuid(user.Uid) != 0) {
        std::perror("latmo-lab-run: cannot become the user");
        _exit(126);
    }
    setenv("HOME", user.Home.c_str(), 1);
    setenv("USER", user.Name.c_str(), 1);
    setenv("LOGNAME", user.Name.c_str(), 1);
    const std::string runtime = "/run/user/" + std::to_string(user.Uid);
    struct stat info {};
    if (stat(runtime.c_str(), &info) == 0 && info.st_uid == user.Uid) {
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        if (stat((runtime + "/bus").c_str(), &info) == 0) {
            setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + runtime + "/bus").c_str(), 1);
        }
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
    for (const char* name : {"SUDO_USER", "SUDO_UID", "SUDO_GID", "SUDO_COMMAND", "MAIL"}) {
        unsetenv(name);
    }
}

// Ctrl+C in the terminal, or a kill, reaches the command and ends it; the lab and the scratch
// folder are then removed as after any other end.
volatile pid_t gChild = 0;
void PassOn(int signal) {
    if (gChild > 0) {
        kill(gChild, signal);
    }
}

int Usage() {
    std::fprintf(stderr,
                 "usage: latmo-lab-run [--user NAME] [--closed] [--as-is] "
                 "DELAY_MS[:DROP][~][@6]|unreach[@6] ... -- COMMAND [ARGS...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<TLabHostOptions> hosts;
    std::string userName;
    bool closed = false;
    bool asIs = false;
    int i = 1;
    std::vector<bool> ipv6;
    for (; i < argc && std::string(argv[i]) != "--"; ++i) {
        std::string spec = argv[i];
        TLabHostOptions options;
        if (spec == "--user" && i + 1 < argc) {
            userName = argv[++i];
            continue;
        }
        if (spec == "--closed" || spec == "--as-is") {
            (spec == "--closed" ? closed : asIs) = true;
            continue;
        }
        ipv6.push_back(spec.size() > 2 && spec.substr(spec.size() - 2) == "@6");
        if (ipv6.back()) {
            spec.resize(spec.size() - 2);
        }
        options.Decoys = !spec.empty() && spec.back() == '~';
        if (options.Decoys) {
            spec.pop_back();
        }
        if (spec == "unreach") {
            options.ErrorType = 3;
            options.ErrorCode = 1;
        } else {
            const auto colon = spec.find(':');
            options.DelayUs = std::atoi(spec.substr(0, colon).c_str()) * 1000;
            if (colon != std::string::npos) {
                options.DropFraction = std::atof(spec.substr(colon + 1).c_str());
            }
        }
        hosts.push_back(options);
    }
    if (hosts.empty() || i + 1 >= argc) {
        return Usage();
    }
    const std::string why = TLatencyLab::Unavailable();
    if (!why.empty()) {
        std::fprintf(stderr, "latmo-lab-run: %s\n", why.c_str());
        return 1;
    }
    std::vector<char*> command(argv + i + 1, argv + argc);
    command.push_back(nullptr);
    const bool latmo = !asIs && std::filesystem::path(command[0]).filename() == "latmo";
    if (latmo && userName.empty() && getenv("SUDO_USER") != nullptr) {
        userName = getenv("SUDO_USER");
    }
    TRunAs user;
    if (!userName.empty() && !LookUpUser(userName, user)) {
        std::fprintf(stderr, "latmo-lab-run: no user %s\n", userName.c_str());
        return 2;
    }

    TLatencyLab lab;
    lab.AllowDatagramSockets(!closed);
    std::vector<std::string> addresses;
    for (size_t h = 0; h < hosts.size(); ++h) {
        const std::string address = lab.AddHost(hosts[h]);
        addresses.push_back(ipv6[h] ? TLatencyLab::Ipv6Of(address) : address);
        std::printf("host %zu: %s\n", h + 1, addresses.back().c_str());
    }
    std::string scratch;
    if (latmo) {
        scratch = PrepareLatmo(command[0], addresses, user);
        std::printf("Latmo runs from %s as %s\n", scratch.c_str(),
                    user.Name.empty() ? "root" : user.Name.c_str());
    }
    std::fflush(stdout);
    const std::string program = latmo ? scratch + "/latmo" : command[0];
    int status = 0;
    {
        const auto inClient = lab.EnterClient();
        struct sigaction passOn {};
        passOn.sa_handler = PassOn;
        passOn.sa_flags = SA_RESTART;
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            sigaction(signal, &passOn, nullptr);
        }
        const pid_t child = fork();
        gChild = child;
        if (child == 0) {
            if (!userName.empty()) {
                BecomeUser(user);
            }
            if (latmo && chdir(scratch.c_str()) != 0) {
                _exit(126);
            }
            command[0] = const_cast<char*>(program.c_str());
            execvp(command[0], command.data());
            std::perror(command[0]);
            _exit(127);
        }
        while (child > 0 && waitpid(child, &status, 0) < 0) {
        }
    }
    if (!scratch.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(scratch, ignored);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
