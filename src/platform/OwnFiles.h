#pragma once
// Which files are the user's own: those that nobody but the user and root can change. Nothing
// another user may change is read as one of the program's files or run as a program, whether it
// lies beside the program, in a data folder or in a folder of PATH. Shared by the toolkit's
// files and the platform's search for programs.

#include <functional>
#include <string>
#include <vector>

// Why another user could change what lies at path, or empty when nobody but the user and root
// can: the entry (and, for a link, the link and what it points to) belongs to the user or root
// and may be written neither by its group nor by others. A missing entry gives empty.
std::string NotOwnReason(const std::string& path);

// The first of the places (file paths) where a file exists that, with its folder, is the user's
// own (NotOwnReason); empty when there is none. passedOver, when given, hears why each other
// existing one was not taken.
std::string FirstOwnFile(const std::vector<std::string>& places,
                         const std::function<void(const std::string& why)>& passedOver = {});
