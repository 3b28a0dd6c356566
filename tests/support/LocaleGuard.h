#pragma once
// The C library's locale set for a test's numbers and dates, and the one before put back.

#include <clocale>
#include <string>

class TLocaleGuard {
public:
    explicit TLocaleGuard(const char* locale = "C") : FSaved(std::setlocale(LC_ALL, nullptr)) {
        std::setlocale(LC_ALL, locale);
    }
    ~TLocaleGuard() { std::setlocale(LC_ALL, FSaved.c_str()); }
    TLocaleGuard(const TLocaleGuard&) = delete;
    TLocaleGuard& operator=(const TLocaleGuard&) = delete;

private:
    std::string FSaved;
};
