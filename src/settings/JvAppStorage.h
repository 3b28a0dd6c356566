#pragma once
// The base of the settings stores: setting paths ("Flags", "\Flags", ".ComboBox1_Items\Count"),
// and integers and texts read and written over the texts a concrete store keeps.

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/Component.h"

class EJVCLAppStorageError : public Exception {
public:
    using Exception::Exception;
    std::string ClassName() const override { return "EJVCLAppStorageError"; }
};

struct TJvAppStorageOptions {
    // A read of a path that is not stored returns the caller's default without looking further.
    bool DefaultIfValueNotExists = true;
    // A stored text that does not convert gives the caller's default instead of raising.
    bool DefaultIfReadConvertError = false;
};

class TJvCustomAppStorage : public TComponent {
public:
    explicit TJvCustomAppStorage(TComponent* AOwner) : TComponent(AOwner) {}

    std::string ClassName() const override { return "TJvCustomAppStorage"; }

    // Joins path parts into one path without leading or trailing backslash. Each part is split
    // at "\" and empty pieces are dropped; a piece of dots only steps back (dots - 1) pieces. A
    // part after the first that begins with "\" starts the path afresh, the last such part
    // winning.
    static std::string NormalizePath(const std::vector<std::string>& Parts);

    bool HasValue(const std::string& Path) { return ValueStoredInt(Path); }
    std::string ReadStringValue(const std::string& Path, const std::string& Default);
    void WriteStringValue(const std::string& Path, const std::string& Value) {
        DoWriteString(Path, Value);
    }
    // An empty stored text reads as 0; any other text that is not an integer raises
    // EConvertError (unless DefaultIfReadConvertError is set).
    int32_t ReadIntegerValue(const std::string& Path, int32_t Default);
    void WriteIntegerValue(const std::string& Path, int32_t Value);
    // Removes everything stored under the normalised path (everything, for an empty one).
    void DeleteBranch(const std::string& Path) { DeleteSubTreeInt(NormalizePath({Path})); }

    TJvAppStorageOptions& StorageOptions() { return FStorageOptions; }

protected:
    virtual bool ValueStoredInt(const std::string& Path) = 0;
    // Default where the path is not stored.
    virtual std::string DoReadString(const std::string& Path, const std::string& Default) = 0;
    virtual void DoWriteString(const std::string& Path, const std::string& Value) = 0;
    virtual void DeleteSubTreeInt(const std::string& Path) = 0;

private:
    TJvAppStorageOptions FStorageOptions;
};
