#include "toolkit/Strings.h"

int TStrings::Add(const std::string& value) {
    const int index = Count();
    Insert(index, value);
    return index;
}

std::string TStrings::Text() const {
    std::string text;
    const int n = Count();
    for (int i = 0; i < n; ++i) {
        text += Get(i);
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> TStrings::SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
        ++i;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

void TStrings::SetText(const std::string& value) {
    Assign(SplitLines(value));
}

int TStrings::IndexOf(const std::string& value) const {
    const int n = Count();
    for (int i = 0; i < n; ++i) {
        if (Get(i) == value) {
            return i;
        }
    }
    return -1;
}

std::vector<std::string> TStrings::ToVector() const {
    std::vector<std::string> v;
    const int n = Count();
    v.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        v.push_back(Get(i));
    }
    return v;
}

void TStrings::Assign(const TStrings& source) {
    if (&source != this) {
        Assign(source.ToVector());
    }
}

void TStrings::Assign(const std::vector<std::string>& lines) {
    BeginUpdate();
    Clear();
    for (const std::string& line : lines) {
        Add(line);
    }
    EndUpdate();
}

void RaiseListIndexError(int index) {
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

std::string TStringList::Get(int index) const {
    if (index < 0 || index >= Count()) {
        RaiseListIndexError(index);
    }
    return FLines[static_cast<size_t>(index)];
}

void TStringList::Put(int index, const std::string& value) {
    if (index < 0 || index >= Count()) {
        RaiseListIndexError(index);
    }
    FLines[static_cast<size_t>(index)] = value;
    Changed();
}

void TStringList::Insert(int index, const std::string& value) {
    if (index < 0 || index > Count()) {
        RaiseListIndexError(index);
    }
    FLines.insert(FLines.begin() + index, value);
    Changed();
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count()) {
        RaiseListIndexError(index);
    }
    FLines.erase(FLines.begin() + index);
    Changed();
}

void TStringList::Clear() {
    if (FLines.empty()) {
        return;
    }
    FLines.clear();
    Changed();
}

void TStringList::Changed() {
    if (OnChange) {
        OnChange(this);
    }
}
