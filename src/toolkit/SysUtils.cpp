#include "toolkit/SysUtils.h"

#include <charconv>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "platform/Locale.h"

namespace {

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Days from 0001-01-01 to the given date (proleptic Gregorian).
long DaysFromCivil(int y, int m, int d) {
    static const int cum[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    long yy = y - 1;
    long days = yy * 365 + yy / 4 - yy / 100 + yy / 400 + cum[m - 1] + (d - 1);
    if (m > 2 && IsLeapYear(y)) {
        ++days;
    }
    return days;
}

// Day 0 of a date-time, 1899-12-30, counted from 0001-01-01 as DaysFromCivil counts.
const long kDateTimeOrigin = DaysFromCivil(1899, 12, 30);

}  // namespace

TDateTime EncodeDate(int year, int month, int day) {
    return static_cast<double>(DaysFromCivil(year, month, day) - kDateTimeOrigin);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    return (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
}

std::tm DateTimeToTm(TDateTime value) {
    // Work in whole milliseconds so that 23:59:59.9996 does not become second 60.
    const double msTotal = std::floor(value * 86400000.0 + 0.5);
    long days = static_cast<long>(std::floor(msTotal / 86400000.0));
    long ms = static_cast<long>(msTotal - static_cast<double>(days) * 86400000.0);
    std::tm t{};
    t.tm_hour = static_cast<int>(ms / 3600000);
    t.tm_min = static_cast<int>(ms / 60000 % 60);
    t.tm_sec = static_cast<int>(ms / 1000 % 60);
    long n = days + kDateTimeOrigin;  // days since 0001-01-01
    int y = static_cast<int>(n / 366) + 1;
    while (DaysFromCivil(y + 1, 1, 1) <= n) {
        ++y;
    }
    int m = 1;
    while (m < 12 && DaysFromCivil(y, m + 1, 1) <= n) {
        ++m;
    }
    t.tm_year = y - 1900;
    t.tm_mon = m - 1;
    t.tm_mday = static_cast<int>(n - DaysFromCivil(y, m, 1)) + 1;
    t.tm_yday = static_cast<int>(n - DaysFromCivil(y, 1, 1));
    t.tm_wday = static_cast<int>((n + 1) % 7);  // 0001-01-01 was a Monday
    t.tm_isdst = -1;
    return t;
}

TDateTime UnixToLocalDateTime(double unixSeconds) {
    const std::time_t whole = static_cast<std::time_t>(std::floor(unixSeconds));
    const double frac = unixSeconds - static_cast<double>(whole);
    const std::tm lt = LocalTime(whole);
    return EncodeDate(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday) +
           EncodeTime(lt.tm_hour, lt.tm_min, lt.tm_sec, static_cast<int>(frac * 1000.0));
}

TDateTime Now() {
    using namespace std::chrono;
    const auto since = system_clock::now().time_since_epoch();
    return UnixToLocalDateTime(static_cast<double>(duration_cast<milliseconds>(since).count()) /
                               1000.0);
}

std::string DateTimeToStr(TDateTime value) {
    std::tm t = DateTimeToTm(value);
    char buf[128];
    std::string result;
    if (std::strftime(buf, sizeof buf, "%x", &t) > 0) {
        result = buf;
    }
    const double msOfDay = std::fmod(std::floor(value * 86400000.0 + 0.5), 86400000.0);
    if (msOfDay != 0.0) {
        if (std::strftime(buf, sizeof buf, "%X", &t) > 0) {
            result += ' ';
            result += buf;
        }
    }
    return result;
}

char DecimalSeparator() {
    return LocaleDecimalSeparator();
}

std::string FormatFixed(double value, int width, int precision, char separator) {
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
    std::string s = (res.ec == std::errc()) ? std::string(buf, res.ptr) : std::string("0");
    for (char& c : s) {
        if (c == '.') {
            c = separator;
        }
    }
    if (static_cast<int>(s.size()) < width) {
        s.insert(0, static_cast<size_t>(width) - s.size(), ' ');
    }
    return s;
}

std::string FormatFixed(double value, int width, int precision) {
    return FormatFixed(value, width, precision, DecimalSeparator());
}

namespace {

size_t LastDelimiter(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (IsPathDelimiter(path[i - 1])) {
            return i - 1;
        }
    }
    return std::string::npos;
}

}  // namespace

std::string ExtractFileName(const std::string& path) {
    const auto slash = LastDelimiter(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileDir(const std::string& path) {
    const auto slash = LastDelimiter(path);
    if (slash == std::string::npos) {
        return std::string();
    }
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string IncludeTrailingPathDelimiter(const std::string& dir) {
    // No directory stays none, so that joining a name to it keeps the name relative.
    if (dir.empty() || IsPathDelimiter(dir.back())) {
        return dir;
    }
    // A path written with slashes (which Windows takes too) goes on with a slash.
    const auto last = LastDelimiter(dir);
    return dir + (last != std::string::npos ? dir[last] : kPathDelimiter);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    const auto slash = LastDelimiter(path);
    const auto dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        return path.substr(0, dot) + ext;
    }
    return path + ext;
}

std::string ProgramDir() {
    return ExtractFileDir(ProgramPath());
}

std::string ProgramFilesDir(const std::string& programDir, const std::string& kind,
                            const std::string& name, std::string* why) {
    std::string reason;
    if (DirectoryWritable(programDir)) {
        reason = NotOwnReason(programDir.empty() ? "." : programDir);
        if (reason.empty()) {
            reason = NotOwnReason(IncludeTrailingPathDelimiter(programDir) + name);
        }
        if (reason.empty()) {
            return programDir;
        }
    } else if (kFilesBesideProgram) {
        reason = (programDir.empty() ? std::string(".") : programDir) + " cannot be written";
    }
    const std::string dir = UserDataDir(kind);
    if (why != nullptr) {
        *why = reason.empty() ? reason : reason + ", so " + name + " is kept in " + dir;
    }
    return dir;
}

bool ForceDirectories(const std::string& dir) {
    if (dir.empty()) {
        return false;
    }
    if (FileExists(dir)) {
        return DirectoryExists(dir);
    }
    const std::string parent = ExtractFileDir(dir);
    if (!parent.empty() && parent != dir && !ForceDirectories(parent)) {
        return false;
    }
    return MakeDirectory(dir);
}

std::string UserDataDir(const std::string& kind) {
    const std::string dir = UserProgramDir(kind);
    ForceDirectories(dir);
    return dir;
}
