#include "platform/linux/LinuxShell.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <system_error>
#include <thread>

#include "platform/OwnFiles.h"

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// "https://…", "mailto:…", "file:…": a scheme of letters, digits, "+", "-" or "." before a colon.
bool IsAddress(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon < 2 ||
        !std::isalpha(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    for (size_t i = 1; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

// Our own child, reaped by a thread of its own the moment it ends: it never lingers as a
// zombie, and Running() answers without asking the system.
class TFollowedProcess : public TShellProcess {
public:
    explicit TFollowedProcess(pid_t pid) : FState(std::make_shared<TState>()) {
        FState->Pid = pid;
        try {
            std::thread([state = FState] {
                int status = 0;
                while (waitpid(state->Pid, &status, 0) < 0 && errno == EINTR) {
                }
                state->Ended = true;
            }).detach();
        } catch (const std::system_error&) {
            // No thread to be had: the end is asked for whenever Running() is.
            FAsks = true;
        }
    }
    bool Running() override {
        if (FAsks && !FState->Ended) {
            int status = 0;
            FState->Ended = waitpid(FState->Pid, &status, WNOHANG) != 0;
        }
        return !FState->Ended;
    }

private:
    struct TState {
        pid_t Pid = -1;
        std::atomic<bool> Ended{false};
    };
    // Shared with the reaping thread, which may outlive this object.
    std::shared_ptr<TState> FState;
    bool FAsks = false;
};

}  // namespace

std::vector<std::string> TLinuxShell::SplitParameters(const std::string& parameters) {
    std::vector<std::string> args;
    std::string current;
    bool inQuotes = false;
    bool hasArg = false;
    for (size_t i = 0; i < parameters.size(); ++i) {
        const char c = parameters[i];
        if (c == '"') {
            if (inQuotes && i + 1 < parameters.size() && parameters[i + 1] == '"') {
                current += '"';
                ++i;
            } else {
                inQuotes = !inQuotes;
            }
            hasArg = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (hasArg) {
                args.push_back(current);
                current.clear();
                hasArg = false;
            }
        } else {
            current += c;
            hasArg = true;
        }
    }
    if (hasArg) {
        args.push_back(current);
    }
    return args;
}

std::string TLinuxShell::FindProgram(const std::string& name,
                                     const std::function<void(const std::string&)>& passedOver) {
    if (name.empty()) {
        return std::string();
    }
    if (name.find('/') != std::string::npos) {
        return IsExecutableFile(name) ? name : std::string();
    }
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
    std::vector<std::string> candidates;
    for (std::string dir; std::getline(dirs, dir, ':');) {
        // An empty or relative entry is a folder that depends on where we were started, where
        // another user may have put a file of that name: never run what lies there.
        if (!dir.empty() && dir[0] == '/' && IsExecutableFile(dir + "/" + name)) {
            candidates.push_back(dir + "/" + name);
        }
    }
    // What we start runs as the user: a program another user may change, or could have put
    // into a folder open to him, is passed over for the next one.
    return FirstOwnFile(candidates, passedOver);
}

pid_t TLinuxShell::Spawn(const std::vector<std::string>& argv, const std::string& directory,
                         bool follow) {
    // Everything the child needs is prepared before fork(): between fork and exec only
    // async-signal-safe calls are allowed in a threaded program.
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const char* dir = directory.empty() ? nullptr : directory.c_str();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (child == 0) {
        // Unfollowed, the intermediate child leaves at once; the grandchild belongs to init,
        // so nobody has to wait for it.
        if (!follow) {
            const pid_t grandchild = fork();
            if (grandchild != 0) {
                _exit(grandchild < 0 ? 1 : 0);
            }
        }
        setsid();
        if (dir != nullptr && chdir(dir) != 0) {
            const char failed = 1;
            (void)!write(fds[1], &failed, 1);
            _exit(127);
        }
        execv(args[0], args.data());
        const char failed = 1;
        (void)!write(fds[1], &failed, 1);
        _exit(127);
    }
    close(fds[1]);
    // The exec closes the pipe; a byte means it failed.
    char failed = 0;
    ssize_t n;
    while ((n = read(fds[0], &failed, 1)) < 0 && errno == EINTR) {
    }
    close(fds[0]);
    int status = 0;
    if (!follow || n != 0) {
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (n != 0 || (!follow && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))) {
        return -1;
    }
    return follow ? child : 0;
}

std::vector<std::string> TLinuxShell::OpenCommand(const std::string& verb, const std::string& file,
                                                  const std::string& parameters) {
    if (file.empty() || (!verb.empty() && verb != "open")) {
        return {};
    }
    std::vector<std::string> argv;
    const std::string program = FindProgram(file);
    if (!program.empty()) {
        argv.push_back(program);
        for (std::string& a : SplitParameters(parameters)) {
            argv.push_back(std::move(a));
        }
        return argv;
    }
    // A document or an address: the desktop's handler takes the one name, so parameters
    // meant for a program cannot be passed on. A name that is neither fails here, as it
    // would for any shell, instead of making the handler complain.
    struct stat st {};
    const bool document = file.find('/') != std::string::npos && stat(file.c_str(), &st) == 0;
    if (!document && !IsAddress(file)) {
        return {};
    }
    // The desktop's own opener first; GLib's where it is missing (the package recommends that
    // lighter one, since the other brings a terminal along on a minimal system).
    if (const std::string opener = FindProgram("xdg-open"); !opener.empty()) {
        return {opener, file};
    }
    if (const std::string gio = FindProgram("gio"); !gio.empty()) {
        return {gio, "open", file};
    }
    return {};
}

bool TLinuxShell::ShellExecute(const std::string& verb, const std::string& file,
                               const std::string& parameters, const std::string& directory,
                               TShellShowCommand) {
    const std::vector<std::string> argv = OpenCommand(verb, file, parameters);
    return !argv.empty() && Spawn(argv, directory, false) == 0;
}

std::unique_ptr<TShellProcess> TLinuxShell::ShellExecuteEx(const std::string& verb,
                                                           const std::string& file,
                                                           const std::string& parameters,
                                                           const std::string& directory,
                                                           TShellShowCommand) {
    const std::vector<std::string> argv = OpenCommand(verb, file, parameters);
    const pid_t pid = argv.empty() ? -1 : Spawn(argv, directory, true);
    if (pid <= 0) {
        return nullptr;
    }
    return std::make_unique<TFollowedProcess>(pid);
}
