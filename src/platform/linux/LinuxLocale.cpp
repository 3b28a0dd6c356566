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
