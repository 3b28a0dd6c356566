#pragma once
// Files and folders as the operating system keeps them. Paths are UTF-8 texts; failures are
// errno values (EACCES, ENOENT, ENOSPC, ...), whatever numbering the system uses underneath, so
// that the layers above tell them apart and word them in one way.

#include <cstddef>
#include <functional>
#include <string>

// The separator the system writes between the parts of a path; IsPathDelimiter also takes
// the other one where the system accepts both.
// kFilesBesideProgram: whether a copy of the program normally keeps its files beside itself
// (Windows' portable program), so that a folder it cannot write is worth a word; an installed
// Linux program never can.
#ifdef _WIN32
inline constexpr char kPathDelimiter = '\\';
inline bool IsPathDelimiter(char c) {
    return c == '\\' || c == '/';
}
inline constexpr bool kFilesBesideProgram = true;
// "C:\..." or "\\server\...".
inline bool IsAbsolutePath(const std::string& path) {
    return (path.size() > 2 && path[1] == ':' && IsPathDelimiter(path[2])) ||
           (path.size() > 1 && IsPathDelimiter(path[0]) && IsPathDelimiter(path[1]));
}
#else
inline constexpr char kPathDelimiter = '/';
inline bool IsPathDelimiter(char c) {
    return c == '/';
}
inline constexpr bool kFilesBesideProgram = false;
inline bool IsAbsolutePath(const std::string& path) {
    return !path.empty() && path[0] == '/';
}
#endif
// Whether the text names a place in a folder rather than a bare file name.
inline bool HasPathDelimiter(const std::string& path) {
    for (const char c : path) {
        if (IsPathDelimiter(c)) {
            return true;
        }
    }
    return false;
}

// The running program's file; "latmo" in the current directory when it cannot be known.
std::string ProgramPath();
// Whether files can be created in this directory by this process.
bool DirectoryWritable(const std::string& dir);
// The folder where the user's own files of that kind ("CONFIG", "STATE" or "DATA") are kept,
// without the program's folder in it; only named, not created.
std::string UserHomeDir(const std::string& kind);
// The program's own folder in UserHomeDir(kind).
std::string UserProgramDir(const std::string& kind);
// Whether something of that name exists (a file, a directory, ...).
bool FileExists(const std::string& path);
// Whether a directory of that name exists.
bool DirectoryExists(const std::string& path);
// Makes one directory, for the user alone where the system has such a thing; true when it
// exists afterwards.
bool MakeDirectory(const std::string& dir);
// Appends bytes to a regular file, creating it when missing; an existing file is never
// emptied. Opens without waiting and writes to nothing but a regular file, so that a pipe or a
// device of that name cannot hold the caller up. A link is followed only when it is the user's
// or the administrator's own. The bytes go in one write; what a full disk took of them is cut
// off again. Returns an empty text, or why the bytes were not written.
std::string AppendToFile(const std::string& path, const std::string& data);
// The system's text for an errno value, such as "Permission denied".
std::string SysErrorMessage(int error);

// False only when nothing of that name is there. A name that exists but cannot be looked at
// counts as present, so that it is reported when read instead of being taken for a missing
// file and later written over.
bool FileEntryExists(const std::string& path);
// Reads the whole content of a regular file of at most limit bytes into text; returns empty, or
// why it could not (the system's text, "Not a regular file"). A larger file sets tooLarge and
// is not read: by its size before anything is read, or as soon as it has grown past the limit
// while being read.
std::string ReadWholeFile(const std::string& path, size_t limit, std::string& text,
                          bool& tooLarge);

// The steps of a replacement at which a failure can happen.
enum class TWriteStep { wsCreate, wsWrite, wsSync, wsRename };
// Asked after each step: 0 goes on, an errno value fails that step as the system would. Lets
// tests make a disk fill up or a rename fail where the machine would not.
using TWriteFault = std::function<int(TWriteStep Step)>;

// Writes text to a new file beside path, flushes it to the disk and renames it over path, so
// the old file stays whole until the new one is complete. A link is followed, and the file it
// points to is the one replaced. An existing file's permissions are kept; one that may not be
// written is not replaced (EACCES). Returns 0 or the errno value of the failure; no temporary
// file is left behind.
int ReplaceFileWith(const std::string& path, const std::string& text, const TWriteFault& fault);
