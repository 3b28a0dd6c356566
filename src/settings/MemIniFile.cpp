#include "settings/MemIniFile.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "toolkit/StrUtils.h"

namespace {

// Splits at CR, LF and CR LF; a NUL ends the text, as it would a C string.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    const size_t end = std::min(text.find('\0'), text.size());
    size_t start = 0;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < end && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < end) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

bool IsControl(unsigned char c) {
    return (c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F;
}

}  // namespace

std::string TMemIniFile::TextProblem(const std::string& text) {
    size_t line = 1;
    size_t length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::string problem;
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            ++line;
            length = 0;
            continue;
        }
        if (c == 0) {
            problem = "holds a NUL byte";
        } else if (IsControl(c)) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", c);
            problem = std::string("holds the control character ") + code;
        } else if (++length > kMaxLineLength) {
            problem = "is longer than " + std::to_string(kMaxLineLength) + " bytes";
        }
        if (!problem.empty()) {
            return "Not a settings file: line " + std::to_string(line) + " " + problem;
        }
    }
    return std::string();
}

void TMemIniFile::SetText(const std::string& text) {
    Clear();
    // Editors that save UTF-8 may put a byte-order mark in front; the first header must still
    // be seen as one, or every key of the file would be dropped as lying before any section.
    static const std::string kByteOrderMark = "\xEF\xBB\xBF";
    const bool marked = text.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0;
    THashedStringList* section = nullptr;
    for (const std::string& raw : SplitLines(marked ? text.substr(kByteOrderMark.size()) : text)) {
        const std::string line = Trim(raw);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            // Always a new section, even for a name already present: both are written back.
            section = AddSection(Trim(line.substr(1, line.size() - 2)));
        } else if (section != nullptr) {
            const auto eq = line.find('=');
            if (eq == std::string::npos) {
                section->Add(line);
            } else {
                section->Add(Trim(line.substr(0, eq)) + "=" + Trim(line.substr(eq + 1)));
            }
        }
    }
}

std::string TMemIniFile::GetText() const {
    std::string text;
    for (int i = 0; i < FSections.Count(); ++i) {
        text += "[" + FSections.Strings(i) + "]\r\n";
        const auto* lines = static_cast<const THashedStringList*>(FSections.Objects(i));
        for (int j = 0; j < lines->Count(); ++j) {
            text += lines->Strings(j) + "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

bool TMemIniFile::SectionExists(const std::string& Section) const {
    return FindSection(Section) != nullptr;
}

bool TMemIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
    const THashedStringList* lines = FindSection(Section);
    return lines != nullptr && lines->IndexOfName(Ident) >= 0;
}

std::string TMemIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                    const std::string& Default) const {
    const THashedStringList* lines = FindSection(Section);
    if (lines == nullptr) {
        return Default;
    }
    const int index = lines->IndexOfName(Ident);
    return index < 0 ? Default : lines->ValueFromIndex(index);
}

void TMemIniFile::WriteString(const std::string& Section, const std::string& Ident,
                              const std::string& Value) {
    THashedStringList* lines = FindSection(Section);
    if (lines == nullptr) {
        lines = AddSection(Section);
    }
    std::string line = Ident + "=";
    for (const char c : Value) {
        if (!IsControl(static_cast<unsigned char>(c)) && c != '\r' && c != '\n') {
            line += c;
        }
    }
    if (line.size() > kMaxLineLength) {
        throw Exception("The value of " + Ident + " is longer than a settings file holds (" +
                        std::to_string(kMaxValueLength) + " bytes)");
    }
    const int index = lines->IndexOfName(Ident);
    if (index < 0) {
        lines->Add(line);
    } else {
        lines->Put(index, line);
    }
}

std::vector<std::string> TMemIniFile::ReadSections() const {
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(FSections.Count()));
    for (int i = 0; i < FSections.Count(); ++i) {
        names.push_back(FSections.Strings(i));
    }
    return names;
}

std::vector<std::string> TMemIniFile::ReadSectionLines(const std::string& Section) const {
    std::vector<std::string> result;
    if (const THashedStringList* lines = FindSection(Section)) {
        for (int i = 0; i < lines->Count(); ++i) {
            result.push_back(lines->Strings(i));
        }
    }
    return result;
}

void TMemIniFile::EraseSection(const std::string& Section) {
    const int index = FSections.IndexOf(Section);
    if (index >= 0) {
        FSections.Delete(index);
    }
}

void TMemIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
    if (THashedStringList* lines = FindSection(Section)) {
        const int index = lines->IndexOfName(Ident);
        if (index >= 0) {
            lines->Delete(index);
        }
    }
}

THashedStringList* TMemIniFile::FindSection(const std::string& Section) const {
    const int index = FSections.IndexOf(Section);
    return index < 0 ? nullptr : static_cast<THashedStringList*>(FSections.Objects(index));
}

THashedStringList* TMemIniFile::AddSection(const std::string& Section) {
    auto lines = std::make_unique<THashedStringList>();
    THashedStringList* result = lines.get();
    FSections.AddObject(Section, std::move(lines));
    return result;
}
