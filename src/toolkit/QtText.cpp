#include "toolkit/QtText.h"

#include "platform/Utf8.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kReplacement = 0xFFFD;

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
        const size_t n = Utf8SequenceLength(text, i);
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
