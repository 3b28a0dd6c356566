#include "core/LogHistory.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace {

// The runs of ASCII digits in a text, as numbers; false when one is too long to be a date's.
bool Numbers(const std::string& text, std::vector<std::string>& runs) {
    runs.clear();
    for (size_t i = 0; i < text.size();) {
        if (text[i] < '0' || text[i] > '9') {
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
        }
        if (i - start > 4) {
            return false;
        }
        runs.push_back(text.substr(start, i - start));
    }
    return true;
}

std::string Strftime(const char* format, const std::tm& t) {
    char buf[128];
    const size_t n = std::strftime(buf, sizeof buf, format, &t);
    return std::string(buf, n);
}

int DaysInMonth(int year, int month) {
    const TDateTime next =
        month == 12 ? EncodeDate(year + 1, 1, 1) : EncodeDate(year, month + 1, 1);
    return static_cast<int>(next - EncodeDate(year, month, 1));
}

// A mean as the log writes it: blanks, then a number with a point.
bool ReadMean(const std::string& field, double& value) {
    const size_t start = field.find_first_not_of(' ');
    if (start == std::string::npos) {
        return false;
    }
    const char* end = field.data() + field.size();
    const auto result = std::from_chars(field.data() + start, end, value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// The lines of a file from its end backwards, each without its line end.
class TBackwardLines {
public:
    // A line longer than this is taken for a file that is no log.
    static constexpr size_t kMaxLine = 65536;
    static constexpr size_t kChunk = 65536;

    TBackwardLines(std::ifstream& file, uint64_t size) : FFile(file), FStart(size) {}

    // The line before the one given last. complete is false for a last line without its line
    // end. False at the file's start, on a read error, or for a line too long.
    bool Previous(std::string& line, bool& complete) {
        const bool last = FFirst;
        FFirst = false;
        if (FBuffer.empty() && FStart == 0) {
            return false;
        }
        // The buffer ends where the line to give ends, its LF included.
        if (!Fill(1)) {
            return false;
        }
        complete = !last || FBuffer.back() == '\n';
        size_t end = FBuffer.size() - (FBuffer.back() == '\n' ? 1 : 0);
        size_t from = 0;
        while (true) {
            const size_t lf = end == 0 ? std::string::npos : FBuffer.rfind('\n', end - 1);
            if (lf != std::string::npos) {
                from = lf + 1;
                break;
            }
            if (FStart == 0) {
                break;
            }
            const size_t before = FBuffer.size();
            if (end > kMaxLine || !Fill(before + 1)) {
                return false;
            }
            end += FBuffer.size() - before;
        }
        if (end - from > kMaxLine) {
            return false;
        }
        line.assign(FBuffer, from, end - from);
        FBuffer.resize(from);
        return true;
    }

private:
    // Reads more of the file in front of the buffer until it holds at least `bytes`.
    bool Fill(size_t bytes) {
        while (FBuffer.size() < bytes && FStart > 0) {
            const uint64_t size = std::min<uint64_t>(kChunk, FStart);
            std::string chunk(static_cast<size_t>(size), '\0');
            FFile.seekg(static_cast<std::streamoff>(FStart - size));
            if (!FFile.read(chunk.data(), static_cast<std::streamsize>(size))) {
                return false;
            }
            FStart -= size;
            FBuffer.insert(0, chunk);
        }
        return !FBuffer.empty();
    }

    std::ifstream& FFile;
    uint64_t FStart;      // the file's offset of the buffer's first byte
    std::string FBuffer;  // the bytes before the lines given so far
    bool FFirst = true;
};

struct TLogLine {
    TDateTime When = 0;
    std::string Hosts[3];
    double Means[3] = {};
};

bool ParseLine(const TLogTimeReader& time, std::string text, TLogLine& line) {
    if (!text.empty() && text.back() == '\r') {
        text.pop_back();
    }
    std::vector<std::string> fields;
    for (size_t from = 0;;) {
        const size_t tab = text.find('\t', from);
        fields.push_back(text.substr(from, tab - from));
        if (tab == std::string::npos) {
            break;
        }
        from = tab + 1;
    }
    if (fields.size() != 7 || !time.Read(fields[0], line.When)) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        line.Hosts[i] = fields[static_cast<size_t>(1 + 2 * i)];
        if (!ReadMean(fields[static_cast<size_t>(2 + 2 * i)], line.Means[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

TLogTimeReader::TLogTimeReader() {
    // Every field of this moment has a number of its own: 2033-11-22 13:44:55.
    const TDateTime reference = EncodeDate(2033, 11, 22) + EncodeTime(13, 44, 55, 0);
    std::tm t = DateTimeToTm(reference);
    std::vector<std::string> runs;
    if (!Numbers(Strftime("%x", t), runs)) {
        return;
    }
    FDateNumbers = runs.size();
    if (!Numbers(DateTimeToStr(reference), runs)) {
        return;
    }
    bool twelveHour = false;
    for (const std::string& run : runs) {
        const int value = std::stoi(run);
        TField field;
        if (value == 2033 || (value == 33 && run.size() == 2)) {
            field = TField::Year;
            FTwoDigitYear = value == 33;
        } else if (value == 11) {
            field = TField::Month;
        } else if (value == 22) {
            field = TField::Day;
        } else if (value == 13 || value == 1) {
            field = TField::Hour;
            twelveHour = value == 1;
        } else if (value == 44) {
            field = TField::Minute;
        } else if (value == 55) {
            field = TField::Second;
        } else {
            return;
        }
        if (std::find(FFields.begin(), FFields.end(), field) != FFields.end()) {
            return;
        }
        FFields.push_back(field);
    }
    if (twelveHour) {
        FPm = Strftime("%p", t);
        t.tm_hour = 1;
        FAm = Strftime("%p", t);
        if (FPm.empty() || FAm.empty() || FPm == FAm) {
            return;
        }
    }
    // A locale without seconds in its time is read too; one without the rest is not.
    const auto has = [this](TField f) {
        return std::find(FFields.begin(), FFields.end(), f) != FFields.end();
    };
    FUsable = FDateNumbers == 3 && has(TField::Year) && has(TField::Month) && has(TField::Day) &&
              has(TField::Hour) && has(TField::Minute);
}

bool TLogTimeReader::Read(const std::string& text, TDateTime& value) const {
    std::vector<std::string> runs;
    if (!FUsable || !Numbers(text, runs) ||
        (runs.size() != FFields.size() && runs.size() != FDateNumbers)) {
        return false;
    }
    // A moment at exactly midnight is written as the date alone.
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const int n = std::stoi(runs[i]);
        switch (FFields[i]) {
            case TField::Year:
                year = !FTwoDigitYear ? n : n < 69 ? 2000 + n : 1900 + n;
                break;
            case TField::Month:
                month = n;
                break;
            case TField::Day:
                day = n;
                break;
            case TField::Hour:
                hour = n;
                break;
            case TField::Minute:
                minute = n;
                break;
            case TField::Second:
                second = n;
                break;
        }
    }
    if (!FPm.empty() && runs.size() == FFields.size()) {
        const bool pm = text.find(FPm) != std::string::npos;
        if (hour < 1 || hour > 12 || (!pm && text.find(FAm) == std::string::npos)) {
            return false;
        }
        hour = hour % 12 + (pm ? 12 : 0);
    }
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    value = EncodeDate(year, month, day) + EncodeTime(hour, minute, second, 0);
    return true;
}

TLogHistory ReadLogHistory(const std::string& path, const std::string (&hosts)[3], int maxPoints,
                           TDateTime now) {
    TLogHistory history;
    bool done[3];
    for (int i = 0; i < 3; ++i) {
        done[i] = hosts[i].empty() || maxPoints < 1;
    }
    if (path.empty() || (done[0] && done[1] && done[2])) {
        return history;
    }
    // Only a regular file is opened: a pipe of that name would hold the start up until
    // something wrote to it.
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return history;
    }
    if (error || status.type() != std::filesystem::file_type::regular) {
        history.Problem = error ? error.message() : "Not a regular file";
        return history;
    }
    const uint64_t size = std::filesystem::file_size(path, error);
    std::ifstream file(path, std::ios::binary);
    if (error || !file) {
        history.Problem = error ? error.message() : "Cannot be opened for reading";
        return history;
    }
    const TLogTimeReader time;
    // The log's times are whole seconds: one written in this second may round up past now.
    constexpr TDateTime kSlack = 2.0 / 86400;
    TDateTime newer = now + kSlack;
    TBackwardLines lines(file, size);
    std::string text;
    bool complete = false;
    TLogLine line;
    while (!(done[0] && done[1] && done[2]) && lines.Previous(text, complete)) {
        if (!complete) {
            continue;
        }
        if (!ParseLine(time, text, line) || line.When > newer) {
            break;
        }
        newer = line.When;
        for (int i = 0; i < 3; ++i) {
            if (done[i]) {
                continue;
            }
            if (line.Hosts[i] != hosts[i]) {
                done[i] = true;
                continue;
            }
            history.Points[i].push_back({line.When, line.Means[i]});
            done[i] = static_cast<int>(history.Points[i].size()) >= maxPoints;
        }
    }
    for (auto& points : history.Points) {
        std::reverse(points.begin(), points.end());
    }
    return history;
}
