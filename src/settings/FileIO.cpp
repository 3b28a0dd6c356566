#include "settings/FileIO.h"

std::string ReadFileText(const std::string& path) {
    std::string text;
    if (const std::string failure = ReadWholeFile(path, text); !failure.empty()) {
        throw EFOpenError(path, failure);
    }
    return text;
}

void WriteFileAtomic(const std::string& path, const std::string& text, const TWriteFault& fault) {
    if (const int error = ReplaceFileWith(path, text, fault); error != 0) {
        throw EFCreateError(path, SysErrorMessage(error));
    }
}
