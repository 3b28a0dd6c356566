#pragma once
// Reading a settings file whole, and replacing one so that it is never left half-written: a
// crash, a full disk or a failing write leaves either the old file or the new one, complete.

#include <cstddef>
#include <functional>
#include <string>

#include "platform/Files.h"
#include "toolkit/Classes.h"

class EFileStreamError : public Exception {
public:
    using Exception::Exception;
    std::string ClassName() const override { return "EFileStreamError"; }
};

// An existing file that cannot be read: message "Cannot open file "<name>". <reason>".
class EFOpenError : public EFileStreamError {
public:
    EFOpenError(const std::string& fileName, const std::string& reason)
        : EFileStreamError("Cannot open file \"" + fileName + "\". " + reason) {}
    std::string ClassName() const override { return "EFOpenError"; }
};

// A file larger than its reader takes, refused before any of it is read: message
// "Cannot open file "<name>". Not a settings file: larger than <limit>".
class EFTooLargeError : public EFOpenError {
public:
    EFTooLargeError(const std::string& fileName, size_t limit);
    std::string ClassName() const override { return "EFTooLargeError"; }
};

// A file that cannot be written: message "Cannot create file "<name>". <reason>".
class EFCreateError : public EFileStreamError {
public:
    EFCreateError(const std::string& fileName, const std::string& reason)
        : EFileStreamError("Cannot create file \"" + fileName + "\". " + reason) {}
    std::string ClassName() const override { return "EFCreateError"; }
};

// TWriteStep, TWriteFault and FileEntryExists come from platform/Files.h.

// The whole content of a regular file of at most limit bytes; raises EFTooLargeError for a
// larger one (by its size, without reading it, or when it grows past the limit while read) and
// EFOpenError for anything else (a directory, no permission, an I/O error).
std::string ReadFileText(const std::string& path, size_t limit);

// Writes text to a new file beside path, flushes it to the disk and renames it over path, so
// the old file stays whole until the new one is complete. A link is followed, and the file it
// points to is the one replaced. An existing file's permissions are kept; one that may not be
// written (no write permission for us, or no write bit at all) is not replaced ("Permission
// denied"). Raises EFCreateError; no temporary file is left behind.
void WriteFileAtomic(const std::string& path, const std::string& text,
                     const TWriteFault& fault = TWriteFault());
