#include <windows.h>

#include "platform/Locale.h"

std::tm LocalTime(std::time_t moment) {
    std::tm lt{};
    localtime_s(&lt, &moment);
    return lt;
}

char LocaleDecimalSeparator() {
    wchar_t separator[8] = {};
    const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
    // The terminating zero is counted: one character and the zero.
    return n == 2 && separator[0] < 0x80 ? static_cast<char>(separator[0]) : '.';
}

char LocaleTimeSeparator() {
    // The time format's first character after the hours that is no hour letter.
    wchar_t format[80] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIMEFORMAT, format, 80) > 0) {
        for (const wchar_t* p = format; *p != L'\0'; ++p) {
            if ((*p == L'H' || *p == L'h') && p[1] != L'H' && p[1] != L'h' && p[1] != L'\0') {
                return p[1] < 0x80 ? static_cast<char>(p[1]) : ':';
            }
        }
    }
    return ':';
}
