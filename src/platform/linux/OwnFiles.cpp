#include "platform/OwnFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

std::string NotOwnReason(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT
                   ? std::string()
                   : path + " cannot be looked at: " + std::generic_category().message(errno);
    }
    for (bool link = S_ISLNK(st.st_mode);; link = false) {
        if (st.st_uid != geteuid() && st.st_uid != 0) {
            return path + (link ? " is a link of" : " belongs to") + " another user (uid " +
                   std::to_string(st.st_uid) + ")";
        }
        if (!link) {
            break;
        }
        if (stat(path.c_str(), &st) != 0) {
            return std::string();  // a link to nothing: only its owner could make it point on
        }
    }
    if ((st.st_mode & S_IWOTH) != 0) {
        return path + " may be written by every user";
    }
    if ((st.st_mode & S_IWGRP) != 0) {
        return path + " may be written by its group";
    }
    return std::string();
}
