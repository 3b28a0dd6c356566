#pragma once
// Addresses as people and programs write them: "198.18.1.2", "2001:2::1", "fe80::1%eth0".

#include <optional>
#include <string>
#include <string_view>

#include "platform/IpAddress.h"

// The usual text form; a scoped IPv6 address carries its interface's name after "%" (or its
// number, when no interface has that index).
std::string AddressText(const TIpAddress& address);

// An address written out: IPv4 in dotted form, or IPv6, also in brackets ("[2001:2::1]") and
// with a zone ("fe80::1%eth0", "[fe80::1%2]"). nullopt for anything else (a name, say), and for
// a zone that names no interface here.
std::optional<TIpAddress> ParseAddressText(std::string_view text);
