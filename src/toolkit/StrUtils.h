#pragma once
// Text helpers shared by the settings store and the window: the integer conversion that every
// stored or typed number goes through, and the trimming and case rules of keys and names.

#include <cstdint>
#include <string>

#include "toolkit/Classes.h"

// A text that does not convert; the message is "'<text>' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
    std::string ClassName() const override { return "EConvertError"; }
};

// Leading blanks, then at most one sign, then decimal digits, or hexadecimal digits after "$",
// "x" or "0x" (letters in either case); nothing may follow the digits. Decimal texts must fit a
// signed 32-bit number; hexadecimal ones are a 32-bit pattern, so "$FFFFFFFF" is -1.
bool TryStrToInt(const std::string& text, int32_t& value);
// As TryStrToInt, raising EConvertError where that fails.
int32_t StrToInt(const std::string& text);
std::string IntToStr(int32_t value);

// Removes the characters with codes 0 to 32 at both ends.
std::string Trim(const std::string& text);
// ASCII letters upper-cased; every other byte is left as it is, whatever the locale.
std::string UpperCase(const std::string& text);
bool SameText(const std::string& a, const std::string& b);
