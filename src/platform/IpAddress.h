#pragma once
// A host's address as the network layer takes it: IPv4 (four bytes) or IPv6 (sixteen bytes and,
// for a link-local address, the interface it belongs to), in network order.

#include <array>
#include <cstdint>
#include <cstring>

class TIpAddress {
public:
    TIpAddress() = default;
    // An IPv4 address in network order, as inet_addr() and sockaddr_in hold it. Implicit: an
    // IPv4 address is what most of the program passes around.
    TIpAddress(uint32_t v4) : FV4(v4) {}  // NOLINT(google-explicit-constructor)

    static TIpAddress V6(const void* bytes, uint32_t scopeId = 0) {
        TIpAddress address;
        address.FIsV6 = true;
        std::memcpy(address.FV6.data(), bytes, address.FV6.size());
        address.FScopeId = scopeId;
        return address;
    }

    bool IsV6() const { return FIsV6; }
    // The IPv4 address; 0 for an IPv6 one.
    uint32_t V4() const { return FV4; }
    const std::array<uint8_t, 16>& V6Bytes() const { return FV6; }
    // The interface index a link-local IPv6 address is scoped to; 0 for none.
    uint32_t ScopeId() const { return FScopeId; }

    bool operator==(const TIpAddress& other) const = default;

private:
    bool FIsV6 = false;
    uint32_t FV4 = 0;
    std::array<uint8_t, 16> FV6{};
    uint32_t FScopeId = 0;
};
