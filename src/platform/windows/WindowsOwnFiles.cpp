#include "platform/OwnFiles.h"

std::string NotOwnReason(const std::string&) {
    // Nothing to say: Windows gives other users no write access to a user's folders unless they
    // were shared on purpose, and a folder of all users (Program Files, the system's) may be
    // written by its administrators alone.
    return std::string();
}
