#include "platform/linux/LinuxRunList.h"

#include "platform/Utf8.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pwd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    const passwd* pw = getpwuid(geteuid());
    return pw != nullptr && pw->pw_dir != nullptr ? pw->pw_dir : "";
}

bool MakeDirectories(const std::string& dir) {
    if (dir.empty()) {
        return false;
    }
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string part = dir.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string TLinuxRunList::KeyPath(TRunListScope scope) const {
    if (scope == TRunListScope::rsUser) {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        if (config != nullptr && config[0] == '/') {
            return std::string(config) + "/autostart";
        }
        const std::string home = HomeDirectory();
        return home.empty() ? std::string() : home + "/.config/autostart";
    }
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string first =
        dirs != nullptr ? std::string(dirs).substr(0, std::string(dirs).find(':')) : std::string();
    if (first.empty() || first[0] != '/') {
        first = "/etc/xdg";
    }
    return first + "/autostart";
}

bool TLinuxRunList::OpenKey(TRunListScope scope, bool canCreate) {
    const std::string dir = KeyPath(scope);
    if (dir.empty()) {
        FProblem = "there is no home folder for the autostart folder";
        return false;
    }
    // Full access: entries can be made and removed here.
    if ((canCreate && !MakeDirectories(dir)) || access(dir.c_str(), R_OK | W_OK | X_OK) != 0) {
        FProblem = "the folder " + dir + " cannot be written (" + std::strerror(errno) + ")";
        return false;
    }
    FProblem.clear();
    return true;
}

std::string TLinuxRunList::CannotStart(const std::string& program) {
    const char* what = program.find('%') != std::string::npos    ? "a percent sign"
                       : program.find('\\') != std::string::npos ? "a backslash"
                       : !IsUtf8(program)                        ? "bytes that are not UTF-8"
                                                                 : nullptr;
    return what == nullptr ? std::string()
                           : "desktops cannot start a program whose path holds " +
                                 std::string(what) + " (" + program + ")";
}

std::string TLinuxRunList::EntryPath(TRunListScope scope, const std::string& name) const {
    const std::string dir = KeyPath(scope);
    if (dir.empty() || name.empty() || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos) {
        return std::string();
    }
    return dir + "/" + name + ".desktop";
}

bool TLinuxRunList::ValueExists(TRunListScope scope, const std::string& name) const {
    const std::string path = EntryPath(scope, name);
    struct stat st {};
    return !path.empty() && lstat(path.c_str(), &st) == 0;
}

std::string TLinuxRunList::EscapeValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    // A leading blank would be taken as part of the separator.
    if (!out.empty() && out[0] == ' ') {
        out.replace(0, 1, "\\s");
    }
    return out;
}

std::string TLinuxRunList::ExecValue(const std::string& program) {
    static const std::string kReserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string argument;
    if (program.find_first_of(kReserved) == std::string::npos) {
        argument = program;
    } else {
        argument = "\"";
        for (char c : program) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') {
                argument += '\\';
            }
            argument += c;
        }
        argument += '"';
    }
    std::string fieldCodesEscaped;
    for (char c : argument) {
        fieldCodesEscaped += c;
        if (c == '%') {
            fieldCodesEscaped += '%';
        }
    }
    return EscapeValue(fieldCodesEscaped);
}

std::string TLinuxRunList::DesktopEntry(const std::string& name, const std::string& data,
                                        bool expandable) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.0\n"
           "Name=" +
           EscapeValue(name) +
           "\n"
           "Comment=Started at log-on by its own choice\n"
           "Exec=" +
           ExecValue(data) +
           "\n"
           "TryExec=" +
           EscapeValue(data) +
           "\n"
           "Terminal=false\n"
           "X-Latmo-Value-Name=" +
           EscapeValue(name) +
           "\n"
           "X-Latmo-Value-Data=" +
           EscapeValue(data) +
           "\n"
           "X-Latmo-Value-Type=" +
           (expandable ? "REG_EXPAND_SZ" : "REG_SZ") + "\n";
}

bool TLinuxRunList::WriteValue(TRunListScope scope, const std::string& name,
                               const std::string& data, bool expandable) {
    const std::string path = EntryPath(scope, name);
    FProblem = CannotStart(data);
    if (path.empty() && FProblem.empty()) {
        FProblem = "\"" + name + "\" cannot name an autostart entry";
    }
    if (!FProblem.empty()) {
        return false;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    const bool written = fd >= 0 && fchmod(fd, 0644) == 0 &&
                         WriteAll(fd, DesktopEntry(name, data, expandable)) && fsync(fd) == 0;
    if (!written || close(fd) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
        FProblem = path + " cannot be written (" + std::strerror(errno) + ")";
        if (fd >= 0) {
            unlink(temp.c_str());
        }
        return false;
    }
    return true;
}

bool TLinuxRunList::DeleteValue(TRunListScope scope, const std::string& name) {
    const std::string path = EntryPath(scope, name);
    return !path.empty() && unlink(path.c_str()) == 0;
}
