// A small program built on the instance guard alone, started several times by the guard tests
// as real processes. It says on standard output what happens to it, one line each:
//   "running <active>", "rejected", "restore", "cmdline <n>" followed by n lines "line <text>",
//   "created <pid>", "destroyed <pid>", "count <n>", "holding", "box <text>" (a message box,
//   its lines joined by " | "), "ended".
// Its parameters are what a refused copy hands over. The environment chooses the rest:
//   LATMO_GUARD=on       "Only one instance" ticked (the default is off)
//   LATMO_GUARD_GATE=1   wait, before the guard is made, until descriptor 3 reaches its end
//                        (so that many copies start checking at the same moment)
//   LATMO_GUARD_LOG=<file>   where the diagnostic log goes
//   LATMO_GUARD_HOLD=1   take the registry's lock and keep it (to be killed while holding it)
//   LATMO_GUARD_SEND=<socket path> and LATMO_GUARD_PACKET=<hex bytes>: only connect to that
//                        port, print "connected <0|1>" and send the raw packet
// Lines on standard input: "on" ticks the box (and checks), "active" only sets Active,
// "off" unticks it, "count" prints the registered copies; end of input ends the copy.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "desktop/JclAppInstances.h"
#include "desktop/JvAppInstances.h"
#include "platform/linux/LinuxInterProcess.h"
#include "toolkit/Application.h"
#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Form.h"
#include "toolkit/Messages.h"
#include "toolkit/SysUtils.h"

namespace {

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int SendRaw(const char* path, const char* hex) {
    std::string packet;
    for (size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
        packet.push_back(static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    }
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
    // The port may close a refused connection before the packet is sent: whether it was
    // reached at all is what tells.
    const bool connected =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    Say(std::string("connected ") + (connected ? "1" : "0"));
    (void)!send(fd, packet.data(), packet.size(), MSG_NOSIGNAL);
    usleep(200000);
    close(fd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (const char* path = std::getenv("LATMO_GUARD_SEND")) {
        const char* packet = std::getenv("LATMO_GUARD_PACKET");
        return SendRaw(path, packet != nullptr ? packet : "");
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication qtApp(argc, argv);
    TLinuxInterProcess ipc;
    if (const char* log = std::getenv("LATMO_GUARD_LOG")) {
        SetDiagLogPath(log);
    }
    SetDialogHook([](const TDialogRequest& request) {
        std::string text = request.Text;
        for (size_t nl; (nl = text.find('\n')) != std::string::npos;) {
            text.replace(nl, 1, " | ");
        }
        Say("box " + text);
        return mrOk;
    });
    if (std::getenv("LATMO_GUARD_GATE") != nullptr) {
        char byte;
        while (read(3, &byte, 1) > 0) {
        }
        close(3);
    }
    const char* guardSetting = std::getenv("LATMO_GUARD");
    const bool on = guardSetting != nullptr && std::string(guardSetting) == "on";

    if (std::getenv("LATMO_GUARD_HOLD") != nullptr) {
        TJclOptex lock(ipc, TJclAppInstances::RegistryNameBase(ProgramPath()) + "_Otx");
        lock.Acquire();
        Say("holding");
        pause();
        return 0;
    }

    TApplication application;
    auto* form = new TForm(&application);
    form->SetCaption("guard copy");
    application.HookMainWindow([](TMessage& m) {
        if (m.Msg == WM_SYSCOMMAND && m.WParam == SC_RESTORE) {
            Say("restore");
        }
        return false;
    });
    auto* guard = new TJvAppInstances(form, ipc);
    guard->OnRejected = [](TObject*) { Say("rejected"); };
    guard->OnInstanceCreated = [](TObject*, uint32_t pid) {
        Say("created " + std::to_string(pid));
    };
    guard->OnInstanceDestroyed = [](TObject*, uint32_t pid) {
        Say("destroyed " + std::to_string(pid));
    };
    guard->OnCmdLineReceived = [](TObject*, TStrings* lines) {
        Say("cmdline " + std::to_string(lines->Count()));
        for (int i = 0; i < lines->Count(); ++i) {
            Say("line " + lines->Get(i));
        }
    };
    guard->SetActive(on);
    guard->SetAutoActivate(on);
    guard->CheckInstances();
    Say(std::string("running ") + (guard->Active() ? "1" : "0"));

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    const auto handle = [&](const std::string& command) {
        if (command == "on") {
            guard->SetActive(true);
            guard->SetAutoActivate(true);
            guard->CheckInstances();
            Say(std::string("running ") + (guard->Active() ? "1" : "0"));
        } else if (command == "active") {
            guard->SetActive(true);
        } else if (command == "off") {
            guard->SetActive(false);
        } else if (command == "count") {
            const auto instances = TJclAppInstances::Current();
            Say("count " + std::to_string(instances ? instances->CountProcesses() : -1));
        }
    };
    QObject::connect(&input, &QSocketNotifier::activated, &input, [&] {
        char buf[256];
        const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            input.setEnabled(false);
            application.Terminate();
            return;
        }
        pending.append(buf, static_cast<size_t>(n));
        for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            const std::string command = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            handle(command);
        }
    });
    application.Run();
    delete form;
    Say("ended");
    return 0;
}
