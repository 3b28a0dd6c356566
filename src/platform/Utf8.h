#pragma once
// Well-formed UTF-8, by Unicode's table of well-formed byte sequences: no overlong forms, no
// surrogates, nothing above U+10FFFF. Shared by the toolkit's texts and the platform's files.

#include <cstddef>
#include <string>

// The length of the well-formed UTF-8 sequence at `at`, or 0.
inline size_t Utf8SequenceLength(const std::string& s, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto in = [&](size_t i, unsigned lo, unsigned hi) {
        return i < s.size() && byte(i) >= lo && byte(i) <= hi;
    };
    const unsigned lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return in(at + 1, 0x80, 0xBF) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned lo = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned hi = lead == 0xED ? 0x9F : 0xBF;
        return in(at + 1, lo, hi) && in(at + 2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned lo = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned hi = lead == 0xF4 ? 0x8F : 0xBF;
        return in(at + 1, lo, hi) && in(at + 2, 0x80, 0xBF) && in(at + 3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

inline bool IsUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const size_t length = Utf8SequenceLength(s, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

// At most maxBytes of s, cut before a character rather than inside one.
inline std::string Utf8Cut(const std::string& s, size_t maxBytes) {
    if (s.size() <= maxBytes) {
        return s;
    }
    size_t length = maxBytes;
    while (length > 0 && (static_cast<unsigned char>(s[length]) & 0xC0) == 0x80) {
        --length;
    }
    return s.substr(0, length);
}
