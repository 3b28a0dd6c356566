#include <langinfo.h>

#include "platform/Locale.h"

std::tm LocalTime(std::time_t moment) {
    std::tm lt{};
    localtime_r(&moment, &lt);
    return lt;
}

char LocaleDecimalSeparator() {
    const char* radix = nl_langinfo(RADIXCHAR);
    return (radix != nullptr && radix[0] != '\0' && radix[1] == '\0') ? radix[0] : '.';
}

char LocaleTimeSeparator() {
    const char* format = nl_langinfo(T_FMT);
    for (const char* p = format; p != nullptr && *p != '\0'; ++p) {
        if (*p != '%' || p[1] == '\0') {
            continue;
        }
        ++p;
        if (*p == 'E' || *p == 'O') {
            ++p;
        }
        if (*p == 'T' || *p == 'R' || *p == 'r') {
            return ':';
        }
        if (*p == 'H' || *p == 'I' || *p == 'k' || *p == 'l') {
            return (p[1] != '\0' && p[1] != '%') ? p[1] : ':';
        }
    }
    return ':';
}
