#include "settings/JvAppStorage.h"

#include <algorithm>

#include "toolkit/StrUtils.h"

std::string TJvCustomAppStorage::NormalizePath(const std::vector<std::string>& Parts) {
    size_t start = 0;
    for (size_t i = Parts.size(); i-- > 1;) {
        if (!Parts[i].empty() && Parts[i].front() == '\\') {
            start = i;
            break;
        }
    }
    std::vector<std::string> pieces;
    for (size_t i = start; i < Parts.size(); ++i) {
        const std::string& part = Parts[i];
        size_t from = 0;
        while (from <= part.size()) {
            size_t to = part.find('\\', from);
            if (to == std::string::npos) {
                to = part.size();
            }
            const std::string piece = part.substr(from, to - from);
            from = to + 1;
            if (piece.empty()) {
                continue;
            }
            if (piece.find_first_not_of('.') == std::string::npos) {
                const size_t up = std::min(piece.size() - 1, pieces.size());
                pieces.resize(pieces.size() - up);
            } else {
                pieces.push_back(piece);
            }
        }
    }
    std::string path;
    for (const std::string& piece : pieces) {
        if (!path.empty()) {
            path += '\\';
        }
        path += piece;
    }
    return path;
}

std::string TJvCustomAppStorage::ReadStringValue(const std::string& Path,
                                                 const std::string& Default) {
    if (FStorageOptions.DefaultIfValueNotExists && !HasValue(Path)) {
        return Default;
    }
    return DoReadString(Path, Default);
}

int32_t TJvCustomAppStorage::ReadIntegerValue(const std::string& Path, int32_t Default) {
    if (FStorageOptions.DefaultIfValueNotExists && !HasValue(Path)) {
        return Default;
    }
    const std::string stored = DoReadString(Path, IntToStr(Default));
    const std::string text = stored.empty() ? std::string("0") : stored;
    try {
        return StrToInt(text);
    } catch (const EConvertError&) {
        if (!FStorageOptions.DefaultIfReadConvertError) {
            throw;
        }
        return Default;
    }
}

void TJvCustomAppStorage::WriteIntegerValue(const std::string& Path, int32_t Value) {
    WriteStringValue(Path, IntToStr(Value));
}
