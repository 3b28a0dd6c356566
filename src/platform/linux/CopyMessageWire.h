#pragma once
// One message between copies of the program as it travels over a port's socket: a sequenced
// packet of a fixed 28-byte header (little-endian) and WM_COPYDATA's bytes.
//
//   offset 0   u32  kCopyMessageMagic ("LTM1")
//          4   u32  message number
//          8   u64  WParam
//         16   u64  LParam
//         24   u32  number of data bytes that follow (at most kMaxCopyDataSize)
//         28        the data
//
// The reader takes nothing on trust: a packet that is shorter or longer than its header says,
// carries another magic or more data than allowed is dropped whole.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/InterProcess.h"

inline constexpr uint32_t kCopyMessageMagic = 0x314D544C;
inline constexpr size_t kCopyMessageHeaderSize = 28;
inline constexpr size_t kMaxCopyMessageSize = kCopyMessageHeaderSize + kMaxCopyDataSize;

// The packet for a message; empty when its data is larger than allowed.
std::string EncodeCopyMessage(const TCopyMessage& message);
// False (and message untouched) unless the bytes are exactly one well-formed packet.
bool DecodeCopyMessage(const uint8_t* data, size_t size, TCopyMessage& message);
enum class TPacketRead { prWaiting, prMessage, prRefused };
// Takes the packet waiting on a connected sequenced-packet socket, never waiting for one:
// prWaiting when none has come yet; prRefused when the peer closed, or the packet is not
// well-formed (an oversized packet is read and thrown away, never kept in part).
TPacketRead ReadCopyMessageNow(int fd, TCopyMessage& message);
// Reads one packet from a connected sequenced-packet socket, waiting up to timeoutMs for it to
// arrive. False when none came in time, the peer closed, or the packet is not well-formed
// (an oversized packet is read and thrown away, never kept in part).
bool ReadCopyMessage(int fd, TCopyMessage& message, int timeoutMs);
