// Feeds arbitrary bytes to the reader of messages between copies of the program, both as bytes
// and as one packet through a real socket pair, as a copy's port receives it. Whatever arrives,
// the reader either refuses it whole or takes exactly the message whose packet it was: the
// packet written for what it took is the input again.

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/linux/CopyMessageWire.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "message fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TCopyMessage decoded;
    const bool valid = DecodeCopyMessage(data, size, decoded);
    if (valid) {
        if (decoded.Data.size() > kMaxCopyDataSize) {
            Fail("more data than allowed was taken");
        }
        if (EncodeCopyMessage(decoded) != std::string(reinterpret_cast<const char*>(data), size)) {
            Fail("the message taken is not the one sent");
        }
    }

    int pair[2];
    if (size == 0 || socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        return 0;
    }
    const int buffer = 1 << 20;
    setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    if (send(pair[0], data, size, MSG_DONTWAIT) == static_cast<ssize_t>(size)) {
        TCopyMessage received;
        const bool read = ReadCopyMessage(pair[1], received, 0);
        if (read != valid || (read && !(received == decoded))) {
            Fail("the socket reader and the byte reader disagree");
        }
    }
    close(pair[0]);
    close(pair[1]);
    return 0;
}
