#include "platform/linux/ReceiveDatagram.h"

// netinet/in.h (through our header) must come before the kernel's own headers.
#include <sys/socket.h>

#include <linux/errqueue.h>

#include <cstring>
#include <ctime>

bool ReceiveDatagram(int fd, std::span<uint8_t> buffer, int flags, TReceivedDatagram& out) {
    out = TReceivedDatagram{};
    iovec data{buffer.data(), buffer.size()};
    // Room for a receive stamp and an extended error with its offender address.
    alignas(cmsghdr) char control[512];
    msghdr msg{};
    msg.msg_name = &out.From;
    msg.msg_namelen = sizeof out.From;
    msg.msg_iov = &data;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t size = ::recvmsg(fd, &msg, flags);
    if (size < 0) {
        return false;
    }
    out.Size = static_cast<size_t>(size);
    out.Truncated = (msg.msg_flags & MSG_TRUNC) != 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            out.StampNs = int64_t{stamp.tv_sec} * 1000000000 + stamp.tv_nsec;
        } else if (c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR &&
                   c->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) {
            sock_extended_err error{};
            std::memcpy(&error, CMSG_DATA(c), sizeof error);
            TReceivedDatagram::TError e;
            e.Origin = error.ee_origin;
            e.Type = error.ee_type;
            e.Code = error.ee_code;
            // The offender's address follows the error when the kernel knows it.
            if (c->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err) + sizeof(sockaddr_in))) {
                sockaddr_in offender{};
                std::memcpy(&offender, CMSG_DATA(c) + sizeof error, sizeof offender);
                e.Offender = offender.sin_family == AF_INET ? offender.sin_addr.s_addr : 0;
            }
            out.Error = e;
        }
    }
    return true;
}
