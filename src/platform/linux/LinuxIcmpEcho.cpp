#include "platform/linux/LinuxIcmpEcho.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "platform/linux/AddressText.h"
#include "platform/linux/CapturedRun.h"
#include "platform/linux/LinuxShell.h"
#include "platform/linux/PingOutput.h"

namespace {

// Why the calling thread's latest CreateFile failed (an errno), so that the send on the invalid
// handle that follows it in a probe can say so. 0 while no CreateFile has failed on the thread.
thread_local int tCreateError = 0;

// ping needs a moment to start and to end besides the echo's own wait.
constexpr int64_t kPingStartAndEndMs = 2000;
// ping sends a time stamp in the first 16 bytes of its data and prints no round trip for less.
constexpr size_t kPingStampSize = 16;

bool IsPermissionError(int error) {
    return error == EACCES || error == EPERM;
}

// The path as a shell word the user can paste.
std::string ShellWord(const std::string& text) {
    const bool plain = !text.empty() && text.find_first_not_of(
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789_./+-@%:,") == std::string::npos;
    if (plain) {
        return text;
    }
    std::string quoted = "'";
    for (const char c : text) {
        quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string ProgramPath() {
    char path[PATH_MAX];
    const ssize_t size = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return size > 0 ? std::string(path, static_cast<size_t>(size)) : std::string();
}

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    return line.empty() ? std::string("nothing") : "\"" + line + "\"";
}

}  // namespace

std::string TLinuxIcmpEcho::NoPermissionText(const std::string& programPath) {
    const std::string program = programPath.empty() ? "<the program file>" : ShellWord(programPath);
    return "Latmo cannot send pings: this user may not send ICMP echoes, and the system's ping "
           "program cannot send them either. Every probe counts as lost until this is fixed.\n"
           "Either of these fixes it (as root; a sudo user puts sudo in front):\n"
           "- for this program only: setcap cap_net_raw+ep " +
           program +
           "\n"
           "- for every program on this machine: sysctl -w "
           "net.ipv4.ping_group_range=\"0 2147483647\", and to keep it after a restart the line "
           "net.ipv4.ping_group_range = 0 2147483647 in /etc/sysctl.d/60-icmp-echo.conf\n"
           "Then start Latmo again.";
}

TLinuxIcmpEcho::TLinuxIcmpEcho(TEchoEngineMode mode, const std::string& pingProgram) {
    Choose(mode, pingProgram);
    // The ping engine says which program it runs, asked for or not.
    if (mode == TEchoEngineMode::DatagramOnly || mode == TEchoEngineMode::RawOnly) {
        FWhy = Engine() == TEchoEngine::None ? "the one engine asked for cannot send"
                                             : "the one engine asked for";
    }
}

void TLinuxIcmpEcho::Choose(TEchoEngineMode mode, const std::string& pingProgram) {
    const bool any = mode == TEchoEngineMode::Auto;
    int datagramError = 0;
    if (any || mode == TEchoEngineMode::DatagramOnly) {
        if (TIcmpSocket::Open(TIcmpSocketKind::Datagram, AF_INET, datagramError) != nullptr) {
            FEngine = TEchoEngine::DatagramSocket;
            FWhy = "net.ipv4.ping_group_range admits this user's group";
            return;
        }
    }
    int rawError = 0;
    if (any || mode == TEchoEngineMode::RawOnly) {
        FRawSocket4 = TIcmpSocket::Open(TIcmpSocketKind::Raw, AF_INET, rawError);
        if (FRawSocket4 != nullptr) {
            // A machine without IPv6 has no such socket; its IPv6 echoes fail one by one.
            int ignored = 0;
            FRawSocket6 = TIcmpSocket::Open(TIcmpSocketKind::Raw, AF_INET6, ignored);
            FEngine = TEchoEngine::RawSocket;
            FWhy =
                "ICMP datagram sockets are closed to this user (net.ipv4.ping_group_range), "
                "and the program may open a raw one (root or cap_net_raw); the one socket "
                "serves the whole run";
            return;
        }
    }
    const std::string socketsClosed =
        any ? "this user may open neither ICMP datagram sockets (net.ipv4.ping_group_range) nor "
              "raw ones (no cap_net_raw)"
            : "only the ping program was asked for";
    std::string pingTrouble;
    if (any || mode == TEchoEngineMode::PingOnly) {
        // Another user's ping would run as this user with every echo: a copy in a folder of
        // PATH that is not the user's own is passed over, and the log says so.
        std::string passedOver;
        FPingProgram = !pingProgram.empty()
                           ? pingProgram
                           : TLinuxShell::FindProgram("ping", [&](const std::string& why) {
                                 passedOver += (passedOver.empty() ? "" : "; ") + why;
                             });
        if (FPingProgram.empty()) {
            pingTrouble = passedOver.empty()
                              ? std::string("there is no ping program")
                              : "no ping program in PATH is safe to run (" + passedOver + ")";
        } else {
            if (!passedOver.empty()) {
                passedOver = " (passed over in PATH: " + passedOver + ")";
            }
            // One echo to this machine itself tells whether the program may send at all; a
            // network that is down still lets it try, and that is all that matters here.
            const TCapturedRun run = RunCaptured(
                FPingProgram, PingArguments({inet_addr("127.0.0.1"), kPingStampSize, 1000}),
                1000 + kPingStartAndEndMs);
            TEchoReply reply;
            if (run.End != TCapturedRun::TEnd::Exited) {
                pingTrouble = FPingProgram + " could not be run";
            } else if (run.Output.empty()) {
                pingTrouble = FPingProgram + " ends at once without a word";
            } else if (ParsePingOutput(run.Output, reply) == ECHO_ERROR_ACCESS_DENIED) {
                pingTrouble =
                    FPingProgram + " may not send either: it says " + FirstLine(run.Output);
            } else {
                FEngine = TEchoEngine::SystemPing;
                FWhy = socketsClosed + ", so the echoes go through runs of " + FPingProgram +
                       passedOver;
                return;
            }
        }
    }
    FPermissionDenied = IsPermissionError(datagramError) || IsPermissionError(rawError);
    FWhy = socketsClosed + (pingTrouble.empty() ? "" : ", and " + pingTrouble);
    if (any && !FPermissionDenied) {
        // Other failures (no descriptors left, no IPv4) are not fixed by permissions, and
        // each probe reports them as it happens.
        FWhy = "no ICMP socket can be opened (error " +
               std::to_string(datagramError != 0 ? datagramError : rawError) + ")";
    }
}

TLinuxIcmpEcho::~TLinuxIcmpEcho() = default;

void TLinuxIcmpEcho::BeginPass(uint32_t periodMs) {
    FPassPeriodMs = periodMs;
}

void TLinuxIcmpEcho::EndPass() {
    FPassPeriodMs = 0;
    // A host no pass asks for any more is pinged no more; a ping that ended is reaped.
    std::lock_guard<std::mutex> lock(FSessionsMutex);
    for (auto it = FSessions.begin(); it != FSessions.end();) {
        TPingSession& session = *it->second;
        const bool keep = session.Used() && session.Running();
        session.SetUsed(false);
        it = keep ? std::next(it) : FSessions.erase(it);
    }
}

std::string TLinuxIcmpEcho::PermissionProblem() const {
    return Engine() == TEchoEngine::None && FPermissionDenied ? NoPermissionText(ProgramPath())
                                                              : std::string();
}

std::string TLinuxIcmpEcho::EngineChoice() const {
    if (Engine() == TEchoEngine::None) {
        return "Echo engine: none, no ICMP echo can be sent: " + FWhy + ".";
    }
    return std::string("Echo engine: ") + EchoEngineName(Engine()) + ", as " + FWhy + ".";
}

TEchoHandle TLinuxIcmpEcho::Add(TEntry entry) {
    std::lock_guard<std::mutex> lock(FMutex);
    const TEchoHandle handle = FNextHandle++;
    FHandles.emplace(handle, std::move(entry));
    tCreateError = 0;
    return handle;
}

TEchoHandle TLinuxIcmpEcho::CreateFile() {
    switch (Engine()) {
        case TEchoEngine::RawSocket:
            return Add({false, FRawSocket4, FRawSocket6});
        case TEchoEngine::SystemPing:
            return Add({true, nullptr, nullptr});
        case TEchoEngine::DatagramSocket:
        case TEchoEngine::IcmpLibrary:
        case TEchoEngine::None:
            break;
    }
    int error = 0;
    std::unique_ptr<TIcmpSocket> socket =
        TIcmpSocket::Open(TIcmpSocketKind::Datagram, AF_INET, error);
    if (socket == nullptr) {
        tCreateError = (Engine() == TEchoEngine::None && FPermissionDenied) ? EACCES : error;
        return INVALID_ECHO_HANDLE;
    }
    if (Engine() == TEchoEngine::None) {
        FEngine = TEchoEngine::DatagramSocket;  // the machine allows it now
    }
    return Add({false, std::move(socket), nullptr});
}

void TLinuxIcmpEcho::CloseHandle(TEchoHandle handle) {
    std::lock_guard<std::mutex> lock(FMutex);
    FHandles.erase(handle);
}

bool TLinuxIcmpEcho::SocketFor(TEchoHandle handle, bool v6, TEntry& entry,
                               std::shared_ptr<TIcmpSocket>& socket, int& error) {
    std::lock_guard<std::mutex> lock(FMutex);
    const auto it = FHandles.find(handle);
    if (it == FHandles.end()) {
        return false;
    }
    std::shared_ptr<TIcmpSocket>& slot = v6 ? it->second.Socket6 : it->second.Socket4;
    if (slot == nullptr && !it->second.Ping && Engine() == TEchoEngine::DatagramSocket) {
        slot = TIcmpSocket::Open(TIcmpSocketKind::Datagram, v6 ? AF_INET6 : AF_INET, error);
    } else if (slot == nullptr) {
        error = EAFNOSUPPORT;
    }
    entry = it->second;
    socket = slot;
    return true;
}

std::optional<TIcmpSocketKind> TLinuxIcmpEcho::KindOf(TEchoHandle handle) const {
    std::lock_guard<std::mutex> lock(FMutex);
    const auto it = FHandles.find(handle);
    return it != FHandles.end() && it->second.Socket4
               ? std::optional<TIcmpSocketKind>(it->second.Socket4->Kind())
               : std::nullopt;
}

int TLinuxIcmpEcho::SendEcho(TEchoHandle handle, const TIpAddress& destination,
                             std::span<const uint8_t> payload, uint32_t timeoutMs,
                             TEchoReply& reply, TStopSignal stop) {
    reply = TEchoReply{};
    if (handle == INVALID_ECHO_HANDLE && tCreateError != 0) {
        // Access denied is the one answer that tells the user to look at permissions; the
        // status keeps the probe's text general, since no echo was ever attempted.
        if (IsPermissionError(tCreateError)) {
            reply.Status = IP_GENERAL_FAILURE;
            return ECHO_ERROR_ACCESS_DENIED;
        }
        reply.Status = SocketErrorStatus(tCreateError) == IP_NO_RESOURCES ? IP_NO_RESOURCES
                                                                          : IP_GENERAL_FAILURE;
        return static_cast<int>(reply.Status);
    }
    TEntry entry;
    std::shared_ptr<TIcmpSocket> socket;
    int error = 0;
    if (!SocketFor(handle, destination.IsV6(), entry, socket, error)) {
        return ECHO_ERROR_INVALID_HANDLE;
    }
    if (payload.size() > kMaxPayload) {
        return ECHO_ERROR_INVALID_PARAMETER;
    }
    if (entry.Ping) {
        return SendThroughPing(destination, payload.size(), timeoutMs, reply, stop);
    }
    if (socket == nullptr) {
        reply.Address = destination;
        reply.Status =
            SocketErrorStatus(error) == IP_NO_RESOURCES ? IP_NO_RESOURCES : IP_GENERAL_FAILURE;
        return static_cast<int>(reply.Status);
    }
    return socket->Echo(destination, payload, timeoutMs, reply, stop);
}

int TLinuxIcmpEcho::SendThroughPing(const TIpAddress& destination, size_t payloadSize,
                                    uint32_t timeoutMs, TEchoReply& reply, TStopSignal stop) {
    // ping takes a wait of 0 as no limit at all.
    if (timeoutMs == 0) {
        reply.Status = IP_REQ_TIMED_OUT;
        return IP_REQ_TIMED_OUT;
    }
    const TPingRunKey key{destination, std::max(payloadSize, kPingStampSize), timeoutMs,
                          FPassPeriodMs.load()};
    if (key.PeriodMs > 0) {
        std::lock_guard<std::mutex> lock(FSessionsMutex);
        std::unique_ptr<TPingSession>& session = FSessions[AddressText(destination)];
        if (session != nullptr && !(session->Key() == key)) {
            session.reset();
        }
        for (int run = 0; run < 2; ++run) {
            if (session == nullptr) {
                session = std::make_unique<TPingSession>(FPingProgram, key);
            }
            session->SetUsed(true);
            const int result = session->Echo(reply, stop);
            if (result != TPingSession::kStartAgain) {
                return result;
            }
            session.reset();
        }
        // A fresh run always has an echo for its first probe; this is not reached.
        reply.Status = IP_GENERAL_FAILURE;
        return IP_GENERAL_FAILURE;
    }
    const TCapturedRun run = RunCaptured(FPingProgram, PingArguments(key),
                                         int64_t{timeoutMs} + kPingStartAndEndMs, stop);
    switch (run.End) {
        case TCapturedRun::TEnd::Cancelled:
            reply.Address = destination;
            return ECHO_ERROR_CANCELLED;
        case TCapturedRun::TEnd::TimedOut:
            reply.Status = IP_REQ_TIMED_OUT;
            return IP_REQ_TIMED_OUT;
        case TCapturedRun::TEnd::NotStarted:
            reply.Status = IP_GENERAL_FAILURE;
            return IP_GENERAL_FAILURE;
        case TCapturedRun::TEnd::Exited:
            break;
    }
    int result = ParsePingOutput(run.Output, reply);
    // ping checks the data after its stamp, not the stamp: a reply whose stamp came back
    // changed shows a time longer than the whole run, or none. It is not the data we sent, and
    // as the socket engines do, we take it for no reply at all.
    if (result == 0 && (reply.RoundTripMicros < 0 || reply.RoundTripMicros > run.Microseconds)) {
        reply = TEchoReply{};
        reply.Status = IP_REQ_TIMED_OUT;
        result = IP_REQ_TIMED_OUT;
    }
    if (result != 0 && reply.Address == TIpAddress()) {
        reply.Address = destination;
    }
    return result;
}
