#include "platform/linux/LinuxIcmpEcho.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace {

// Why the calling thread's latest CreateFile failed (an errno), so that the send on the invalid
// handle that follows it in a probe can say so. 0 while no CreateFile has failed on the thread.
thread_local int tCreateError = 0;

std::vector<TIcmpSocketKind> KindsFor(TEchoSocketMode mode) {
    switch (mode) {
        case TEchoSocketMode::DatagramOnly:
            return {TIcmpSocketKind::Datagram};
        case TEchoSocketMode::RawOnly:
            return {TIcmpSocketKind::Raw};
        case TEchoSocketMode::Auto:
            break;
    }
    return {TIcmpSocketKind::Datagram, TIcmpSocketKind::Raw};
}

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
    return size > 0 ? ShellWord(std::string(path, static_cast<size_t>(size)))
                    : std::string("<the program file>");
}

}  // namespace

TLinuxIcmpEcho::TLinuxIcmpEcho(TEchoSocketMode mode) : FMode(mode) {
    int error = 0;
    for (const TIcmpSocketKind kind : KindsFor(FMode)) {
        if (TIcmpSocket::Open(kind, error) != nullptr) {
            return;
        }
    }
    // Other failures (no descriptors left, no IPv4) are not fixed by these commands, and each
    // probe reports them as it happens.
    if (!IsPermissionError(error)) {
        return;
    }
    FPermissionProblem =
        "This user may not send ICMP echoes, so every probe will count as lost; to allow it, run "
        "either sudo setcap cap_net_raw+ep " +
        ProgramPath() +
        " (for this program only) or sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\" "
        "(for every program on this machine).";
}

TLinuxIcmpEcho::~TLinuxIcmpEcho() = default;

TEchoHandle TLinuxIcmpEcho::CreateFile() {
    int error = 0;
    for (const TIcmpSocketKind kind : KindsFor(FMode)) {
        std::unique_ptr<TIcmpSocket> socket = TIcmpSocket::Open(kind, error);
        if (socket != nullptr) {
            std::lock_guard<std::mutex> lock(FMutex);
            const TEchoHandle handle = FNextHandle++;
            FSockets.emplace(handle, std::move(socket));
            tCreateError = 0;
            return handle;
        }
    }
    tCreateError = error;
    return INVALID_ECHO_HANDLE;
}

void TLinuxIcmpEcho::CloseHandle(TEchoHandle handle) {
    std::lock_guard<std::mutex> lock(FMutex);
    FSockets.erase(handle);
}

std::shared_ptr<TIcmpSocket> TLinuxIcmpEcho::Find(TEchoHandle handle) const {
    std::lock_guard<std::mutex> lock(FMutex);
    const auto it = FSockets.find(handle);
    return it == FSockets.end() ? nullptr : it->second;
}

std::optional<TIcmpSocketKind> TLinuxIcmpEcho::KindOf(TEchoHandle handle) const {
    const std::shared_ptr<TIcmpSocket> socket = Find(handle);
    return socket ? std::optional<TIcmpSocketKind>(socket->Kind()) : std::nullopt;
}

int TLinuxIcmpEcho::SendEcho(TEchoHandle handle, uint32_t destination,
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
    const std::shared_ptr<TIcmpSocket> socket = Find(handle);
    if (socket == nullptr) {
        return ECHO_ERROR_INVALID_HANDLE;
    }
    if (payload.size() > kMaxPayload) {
        return ECHO_ERROR_INVALID_PARAMETER;
    }
    return socket->Echo(destination, payload, timeoutMs, reply, stop);
}
