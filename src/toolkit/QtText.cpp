#include "toolkit/QtText.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kReplacement = 0xFFFD;

// The length of the well-formed UTF-8 sequence at `at` (Unicode's table of well-formed byte
// sequences: no overlong forms, no surrogates, nothing above U+10FFFF), or 0.
size_t SequenceLength(const std::string& s, size_t at) {
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

void PutUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

QString ToQString(const std::string& text) {
    QString result;
    result.reserve(static_cast<qsizetype>(text.size()));
    size_t start = 0;  // the start of the well-formed run not yet converted
    size_t i = 0;
    while (i < text.size()) {
        const size_t n = SequenceLength(text, i);
        if (n > 0) {
            i += n;
            continue;
        }
        result += QString::fromUtf8(text.data() + start, static_cast<qsizetype>(i - start));
        result += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(text[i])));
        start = ++i;
    }
    result += QString::fromUtf8(text.data() + start, static_cast<qsizetype>(text.size() - start));
    return result;
}

std::string FromQString(const QString& text) {
    std::string result;
    result.reserve(static_cast<size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            PutUtf8(result, QChar::surrogateToUcs4(c, text.at(i + 1).unicode()));
            ++i;
        } else if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
            result += static_cast<char>(c - kEscapeBase);
        } else if (QChar::isSurrogate(c)) {
            PutUtf8(result, kReplacement);
        } else {
            PutUtf8(result, c);
        }
    }
    return result;
}
