#include "settings/FileIO.h"

namespace {

// "16 MiB" for a whole number of MiB, else the bytes.
std::string SizeText(size_t bytes) {
    constexpr size_t kMiB = size_t{1} << 20;
    return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB"
                             : std::to_string(bytes) + " bytes";
}

}  // namespace

EFTooLargeError::EFTooLargeError(const std::string& fileName, size_t limit)
    : EFOpenError(fileName, "Not a settings file: larger than " + SizeText(limit)) {}

std::string ReadFileText(const std::string& path, size_t limit) {
    std::string text;
    bool tooLarge = false;
    const std::string failure = ReadWholeFile(path, limit, text, tooLarge);
    if (tooLarge) {
        throw EFTooLargeError(path, limit);
    }
    if (!failure.empty()) {
        throw EFOpenError(path, failure);
    }
    return text;
}

void WriteFileAtomic(const std::string& path, const std::string& text, const TWriteFault& fault) {
    if (const int error = ReplaceFileWith(path, text, fault); error != 0) {
        throw EFCreateError(path, SysErrorMessage(error));
    }
}
