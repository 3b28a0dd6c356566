#include "settings/Variant.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "toolkit/StrUtils.h"
#include "toolkit/SysUtils.h"

namespace {

constexpr int kSignificantDigits = 15;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Skips a run of digits; false when there is none.
bool SkipDigits(const std::string& s, size_t& i) {
    const size_t from = i;
    while (i < s.size() && IsDigit(s[i])) {
        ++i;
    }
    return i > from;
}

}  // namespace

TVariant TVariant::Null() {
    TVariant v;
    v.FValue = TNullValue{};
    return v;
}

std::string TVariant::AsText() const {
    switch (Kind()) {
        case TKind::vkEmpty:
        case TKind::vkNull:
            return std::string();
        case TKind::vkNumber:
            return FloatToStr(std::get<double>(FValue));
        case TKind::vkText:
            return std::get<std::string>(FValue);
    }
    return std::string();
}

double TVariant::AsFloat() const {
    switch (Kind()) {
        case TKind::vkEmpty:
            return 0.0;
        case TKind::vkNull:
            break;
        case TKind::vkNumber:
            return std::get<double>(FValue);
        case TKind::vkText:
            return StrToFloat(std::get<std::string>(FValue));
    }
    throw EVariantError("Could not convert variant of type (Null) into type (Double)");
}

std::string FloatToStr(double value, char separator) {
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    if (value == 0.0) {
        return "0";
    }
    // d.dddddddddddddde+x: the value rounded to 15 significant digits, whatever the C locale.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific,
                                   kSignificantDigits - 1);
    const std::string s(buf, res.ptr);
    const bool negative = s[0] == '-';
    const size_t first = negative ? 1 : 0;
    const size_t e = s.find('e');
    std::string digits = s.substr(first, 1) + s.substr(first + 2, e - first - 2);
    const int exponent = std::atoi(s.c_str() + e + 1);
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    const int count = static_cast<int>(digits.size());
    std::string out = negative ? "-" : "";
    if (exponent >= kSignificantDigits || exponent < -5) {
        out += digits[0];
        if (count > 1) {
            out += separator;
            out += digits.substr(1);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent >= 0) {
        const int whole = exponent + 1;
        out += digits.substr(0, static_cast<size_t>(std::min(whole, count)));
        if (count < whole) {
            out.append(static_cast<size_t>(whole - count), '0');
        } else if (count > whole) {
            out += separator;
            out += digits.substr(static_cast<size_t>(whole));
        }
    } else {
        out += '0';
        out += separator;
        out.append(static_cast<size_t>(-exponent - 1), '0');
        out += digits;
    }
    return out;
}

std::string FloatToStr(double value) {
    return FloatToStr(value, DecimalSeparator());
}

bool TryStrToFloat(const std::string& text, double& value, char separator) {
    std::string s = Trim(text);
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    bool digits = SkipDigits(s, i);
    if (i < s.size() && s[i] == separator) {
        s[i++] = '.';
        digits = SkipDigits(s, i) || digits;
    }
    if (!digits) {
        return false;
    }
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        if (!SkipDigits(s, i)) {
            return false;
        }
    }
    if (i != s.size()) {
        return false;
    }
    // from_chars takes no "+" sign.
    const size_t start = s[0] == '+' ? 1 : 0;
    double parsed = 0.0;
    const auto res = std::from_chars(s.data() + start, s.data() + s.size(), parsed);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) {
        return false;
    }
    value = parsed;
    return true;
}

double StrToFloat(const std::string& text) {
    double value = 0.0;
    if (!TryStrToFloat(text, value, DecimalSeparator())) {
        throw EConvertError("'" + text + "' is not a valid floating point value");
    }
    return value;
}
