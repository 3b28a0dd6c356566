#include "platform/linux/ReceiveDatagram.h"

// netinet/in.h (through our header) must come before the kernel's own headers.
#include <sys/socket.h>

#include <linux/errqueue.h>

#include <algorithm>
#include <cstring>
#include <ctime>

TIpAddress AddressOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        return reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr;
    }
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        return TIpAddress::V6(&v6.sin6_addr, v6.sin6_scope_id);
    }
    return TIpAddress();
}

bool ReceiveDatagram(int fd, std::span<uint8_t> buffer, int flags, TReceivedDatagram& out) {
    out = TReceivedDatagram{};
    iovec data{buffer.data(), buffer.size()};
    // Room for a receive stamp and an extended error with its offender address.
    alignas(cmsghdr) char control[512];
    sockaddr_storage from{};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
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
    out.From = AddressOf(from);
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        const bool error = (c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR) ||
                           (c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_RECVERR);
        if (c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_PKTINFO &&
            c->cmsg_len >= CMSG_LEN(sizeof(in6_pktinfo))) {
            in6_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            out.To = TIpAddress::V6(&info.ipi6_addr, info.ipi6_ifindex);
        } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            out.StampNs = int64_t{stamp.tv_sec} * 1000000000 + stamp.tv_nsec;
        } else if (error && c->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) {
            sock_extended_err extended{};
            std::memcpy(&extended, CMSG_DATA(c), sizeof extended);
            TReceivedDatagram::TError e;
            e.Origin = extended.ee_origin;
            e.Type = extended.ee_type;
            e.Code = extended.ee_code;
            // The offender's address follows the error when the kernel knows it.
            sockaddr_storage offender{};
            const size_t room = c->cmsg_len - CMSG_LEN(sizeof extended);
            std::memcpy(&offender, CMSG_DATA(c) + sizeof extended, std::min(room, sizeof offender));
            e.Offender = AddressOf(offender);
            out.Error = e;
        }
    }
    return true;
}
