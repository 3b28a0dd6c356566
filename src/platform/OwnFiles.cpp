#include "platform/OwnFiles.h"

#include "platform/Files.h"

namespace {

// The folder a file lies in: "." for a bare name, the root for a file in it.
std::string FolderOf(const std::string& place) {
    size_t slash = place.size();
    while (slash > 0 && !IsPathDelimiter(place[slash - 1])) {
        --slash;
    }
    if (slash == 0) {
        return ".";
    }
    return place.substr(0, slash == 1 ? 1 : slash - 1);
}

}  // namespace

std::string FirstOwnFile(const std::vector<std::string>& places,
                         const std::function<void(const std::string& why)>& passedOver) {
    for (const std::string& place : places) {
        if (!FileExists(place)) {
            continue;
        }
        std::string why = NotOwnReason(FolderOf(place));
        if (why.empty()) {
            why = NotOwnReason(place);
        }
        if (why.empty()) {
            return place;
        }
        if (passedOver) {
            passedOver(why);
        }
    }
    return std::string();
}
