#include "plot/LabelFormat.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/Locale.h"

#include "toolkit/SysUtils.h"

namespace {

bool IsDigitPlaceholder(char c) {
    return c == '#' || c == '0';
}

std::string Padded(int value, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    return buf;
}

// Counts the run of c at s[i] (case-insensitive), at most max.
size_t RunLength(const std::string& s, size_t i, char c, size_t max) {
    size_t n = 0;
    while (i + n < s.size() && n < max && std::tolower(static_cast<unsigned char>(s[i + n])) == c) {
        ++n;
    }
    return n;
}

}  // namespace

char TimeSeparator() {
    return LocaleTimeSeparator();
}

std::string FormatFloat(const std::string& Format, double Value) {
    const size_t first = Format.find_first_of("#0.");
    if (first == std::string::npos || !std::isfinite(Value)) {
        char buf[64];
        const auto res = std::to_chars(buf, buf + sizeof buf, Value);
        return Format + std::string(buf, res.ptr);
    }
    const size_t last = Format.find_last_of("#0.");
    const std::string prefix = Format.substr(0, first);
    const std::string suffix = Format.substr(last + 1);
    const std::string number = Format.substr(first, last - first + 1);
    const size_t point = number.find('.');
    int integerZeros = 0;
    int decimalZeros = 0;
    int decimals = 0;
    for (size_t i = 0; i < number.size(); ++i) {
        if (!IsDigitPlaceholder(number[i])) {
            continue;
        }
        if (point == std::string::npos || i < point) {
            integerZeros += number[i] == '0' ? 1 : 0;
        } else {
            ++decimals;
            // Only the zeros up to the last one are kept; "0#0" keeps two.
            if (number[i] == '0') {
                decimalZeros = decimals;
            }
        }
    }
    char buf[400];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, std::fabs(Value), std::chars_format::fixed, decimals);
    std::string digits(buf, res.ptr);
    std::string whole = digits.substr(0, digits.find('.'));
    std::string fraction = decimals > 0 ? digits.substr(digits.find('.') + 1) : std::string();
    while (static_cast<int>(fraction.size()) > decimalZeros && fraction.back() == '0') {
        fraction.pop_back();
    }
    const bool zero = whole.find_first_not_of('0') == std::string::npos &&
                      fraction.find_first_not_of('0') == std::string::npos;
    whole.erase(0, whole.find_first_not_of('0'));
    if (static_cast<int>(whole.size()) < integerZeros) {
        whole.insert(0, static_cast<size_t>(integerZeros) - whole.size(), '0');
    }
    std::string text = (Value < 0 && !zero) ? "-" : "";
    text += whole;
    if (!fraction.empty()) {
        text += DecimalSeparator();
        text += fraction;
    }
    return prefix + text + suffix;
}

std::string FormatDateTime(const std::string& Format, double Value) {
    // The sign belongs to the date; the fraction is the time of day either way.
    double day = std::trunc(Value);
    double ms = std::floor(std::fabs(Value - day) * 86400000.0 + 0.5);
    if (ms >= 86400000.0) {
        ms -= 86400000.0;
        day += Value < 0 ? -1 : 1;
    }
    const auto msOfDay = static_cast<long>(ms);
    const int hour = static_cast<int>(msOfDay / 3600000);
    const int minute = static_cast<int>(msOfDay / 60000 % 60);
    const int second = static_cast<int>(msOfDay / 1000 % 60);
    const int milli = static_cast<int>(msOfDay % 1000);
    const std::tm date = DateTimeToTm(day);

    std::string out;
    bool afterHour = false;
    for (size_t i = 0; i < Format.size();) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(Format[i])));
        if (Format[i] == '"' || Format[i] == '\'') {
            const size_t close = Format.find(Format[i], i + 1);
            const size_t end = close == std::string::npos ? Format.size() : close;
            out += Format.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        size_t n = 1;
        switch (c) {
            case 'h':
                n = RunLength(Format, i, 'h', 2);
                out += Padded(hour, static_cast<int>(n));
                afterHour = true;
                break;
            case 'n':
                n = RunLength(Format, i, 'n', 2);
                out += Padded(minute, static_cast<int>(n));
                break;
            case 'm':
                n = RunLength(Format, i, 'm', 2);
                out += Padded(afterHour ? minute : date.tm_mon + 1, static_cast<int>(n));
                afterHour = false;
                break;
            case 's':
                n = RunLength(Format, i, 's', 2);
                out += Padded(second, static_cast<int>(n));
                break;
            case 'z':
                n = RunLength(Format, i, 'z', 3);
                out += Padded(milli, n == 3 ? 3 : 1);
                break;
            case 'd':
                n = RunLength(Format, i, 'd', 2);
                out += Padded(date.tm_mday, static_cast<int>(n));
                break;
            case 'y':
                n = RunLength(Format, i, 'y', 4);
                out += n >= 3 ? Padded(date.tm_year + 1900, 4)
                              : Padded((date.tm_year + 1900) % 100, 2);
                break;
            case ':':
                out += TimeSeparator();
                break;
            default:
                out += Format[i];
                break;
        }
        i += n;
    }
    return out;
}
