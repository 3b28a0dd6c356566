#include "platform/linux/LinuxIcmpEcho.h"

TLinuxIcmpEcho::TLinuxIcmpEcho() = default;
TLinuxIcmpEcho::~TLinuxIcmpEcho() = default;

TEchoHandle TLinuxIcmpEcho::CreateFile() { return INVALID_ECHO_HANDLE; }
void TLinuxIcmpEcho::CloseHandle(TEchoHandle) {}

int TLinuxIcmpEcho::SendEcho(TEchoHandle, uint32_t, std::span<const uint8_t>, uint32_t,
                             TEchoReply& reply) {
    reply = TEchoReply{};
    return ECHO_ERROR_INVALID_HANDLE;
}

std::string TLinuxIcmpEcho::PermissionProblem() const { return "not implemented yet"; }
