#include "platform/linux/Privileges.h"

#include <linux/capability.h>
#include <sys/auxv.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

namespace {

// The variables a desktop program needs to reach its display and session, to speak the user's
// language and to find the user's folders.
bool Trusted(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR",
        "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "XDG_CONFIG_HOME",
        "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_DIRS",
        "HOME", "USER", "LOGNAME", "PATH", "LANG", "LANGUAGE", "TZ",
        // Picks one of the installed display plugins (how a user asks for native Wayland);
        // where plugins are looked for is not taken from the environment.
        "QT_QPA_PLATFORM"};
    for (const std::string_view trusted : kNames) {
        if (name == trusted) {
            return true;
        }
    }
    return name.substr(0, 3) == "LC_";
}

// The process's capability set of that name ("CapPrm", "CapEff") from /proc, or ~0 unknown.
unsigned long long CapabilitySet(const std::string& name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0) {
            return std::strtoull(line.c_str() + name.size() + 1, nullptr, 16);
        }
    }
    return ~0ull;
}

}  // namespace

void KeepOnlyTrustedEnvironment() {
    if (getauxval(AT_SECURE) == 0) {
        return;
    }
    std::vector<std::string> kept;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string_view entry = *e;
        if (Trusted(entry.substr(0, entry.find('=')))) {
            kept.emplace_back(entry);
        }
    }
    clearenv();
    for (const std::string& entry : kept) {
        const size_t equals = entry.find('=');
        setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
}

std::string GiveUpCapabilities() {
    if (CapabilitySet("CapPrm") == 0 && CapabilitySet("CapEff") == 0) {
        return std::string();
    }
    (void)prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2]{};
    if (syscall(SYS_capset, &header, none) != 0) {
        return std::string(
                   "The capabilities the program was started with could not be given "
                   "up: ") +
               std::strerror(errno);
    }
    return "The capabilities the program was started with are given up; the echo engine keeps "
           "what it opened";
}
