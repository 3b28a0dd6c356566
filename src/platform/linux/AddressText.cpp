#include "platform/linux/AddressText.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <cstdlib>

std::string AddressText(const TIpAddress& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (!address.IsV6()) {
        const in_addr v4{address.V4()};
        inet_ntop(AF_INET, &v4, text, sizeof text);
        return text;
    }
    inet_ntop(AF_INET6, address.V6Bytes().data(), text, sizeof text);
    std::string result = text;
    if (address.ScopeId() != 0) {
        char name[IF_NAMESIZE] = {};
        result += "%";
        result += if_indextoname(address.ScopeId(), name) != nullptr
                      ? std::string(name)
                      : std::to_string(address.ScopeId());
    }
    return result;
}

std::optional<TIpAddress> ParseAddressText(std::string_view text) {
    const std::string whole(text);
    in_addr v4{};
    if (inet_pton(AF_INET, whole.c_str(), &v4) == 1) {
        return TIpAddress(v4.s_addr);
    }
    std::string_view inner = text;
    if (inner.size() >= 2 && inner.front() == '[' && inner.back() == ']') {
        inner = inner.substr(1, inner.size() - 2);
    }
    const size_t percent = inner.find('%');
    const std::string bare(inner.substr(0, percent));
    in6_addr v6{};
    if (inet_pton(AF_INET6, bare.c_str(), &v6) != 1) {
        return std::nullopt;
    }
    uint32_t scope = 0;
    if (percent != std::string_view::npos) {
        const std::string zone(inner.substr(percent + 1));
        char* end = nullptr;
        const unsigned long number = std::strtoul(zone.c_str(), &end, 10);
        scope = (!zone.empty() && *end == '\0') ? static_cast<uint32_t>(number)
                                                : if_nametoindex(zone.c_str());
        if (scope == 0) {
            return std::nullopt;
        }
    }
    return TIpAddress::V6(&v6, scope);
}
