#include "platform/linux/CopyMessageWire.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

void PutU64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

uint64_t GetLE(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

}  // namespace

std::string EncodeCopyMessage(const TCopyMessage& message) {
    if (message.Data.size() > kMaxCopyDataSize) {
        return std::string();
    }
    std::string out;
    out.reserve(kCopyMessageHeaderSize + message.Data.size());
    PutU32(out, kCopyMessageMagic);
    PutU32(out, message.Msg);
    PutU64(out, message.WParam);
    PutU64(out, message.LParam);
    PutU32(out, static_cast<uint32_t>(message.Data.size()));
    out += message.Data;
    return out;
}

bool DecodeCopyMessage(const uint8_t* data, size_t size, TCopyMessage& message) {
    if (size < kCopyMessageHeaderSize || size > kMaxCopyMessageSize) {
        return false;
    }
    if (GetLE(data, 4) != kCopyMessageMagic) {
        return false;
    }
    const uint64_t dataSize = GetLE(data + 24, 4);
    if (dataSize != size - kCopyMessageHeaderSize) {
        return false;
    }
    message.Msg = static_cast<uint32_t>(GetLE(data + 4, 4));
    message.WParam = GetLE(data + 8, 8);
    message.LParam = GetLE(data + 16, 8);
    message.Data.assign(reinterpret_cast<const char*>(data + kCopyMessageHeaderSize),
                        static_cast<size_t>(dataSize));
    return true;
}

TPacketRead ReadCopyMessageNow(int fd, TCopyMessage& message) {
    // One byte more than the largest packet tells an oversized one apart; MSG_TRUNC reports
    // the packet's real length as well.
    std::vector<uint8_t> buffer(kMaxCopyMessageSize + 1);
    iovec iov{buffer.data(), buffer.size()};
    msghdr header{};
    header.msg_iov = &iov;
    header.msg_iovlen = 1;
    ssize_t n;
    do {
        n = recvmsg(fd, &header, MSG_DONTWAIT | MSG_TRUNC);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return TPacketRead::prWaiting;
    }
    if (n <= 0 || (header.msg_flags & MSG_TRUNC) != 0 ||
        static_cast<size_t>(n) > kMaxCopyMessageSize ||
        !DecodeCopyMessage(buffer.data(), static_cast<size_t>(n), message)) {
        return TPacketRead::prRefused;
    }
    return TPacketRead::prMessage;
}

bool ReadCopyMessage(int fd, TCopyMessage& message, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left < 0 ? 0 : left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        return ReadCopyMessageNow(fd, message) == TPacketRead::prMessage;
    }
}
