#pragma once
// Setting paths over an INI document: the last part of a path is the key, the rest the section;
// a path without a section part goes to DefaultSection.

#include <string>

#include "settings/JvAppMemoryFileStorage.h"
#include "settings/MemIniFile.h"

class TJvCustomAppIniStorage : public TJvCustomAppMemoryFileStorage {
public:
    explicit TJvCustomAppIniStorage(TComponent* AOwner) : TJvCustomAppMemoryFileStorage(AOwner) {}

    std::string ClassName() const override { return "TJvCustomAppIniStorage"; }

    const std::string& DefaultSection() const { return FDefaultSection; }
    void SetDefaultSection(const std::string& Value) { FDefaultSection = Value; }

    // "Flags" and "\Flags" give (DefaultSection, "Flags"); ".ComboBox1_Items\Count" gives
    // (".ComboBox1_Items", "Count").
    void SplitSettingPath(const std::string& Path, std::string& Section, std::string& Key) const;

    TMemIniFile& IniFile() { return FIniFile; }
    const TMemIniFile& IniFile() const { return FIniFile; }

protected:
    // Both refuse an empty section with EJVCLAppStorageError "<class>.ReadValue: Section
    // undefined" (or WriteValue); that happens only where DefaultSection is empty.
    std::string ReadValue(const std::string& Section, const std::string& Key);
    void WriteValue(const std::string& Section, const std::string& Key, const std::string& Value);

    bool ValueStoredInt(const std::string& Path) override;
    std::string DoReadString(const std::string& Path, const std::string& Default) override;
    void DoWriteString(const std::string& Path, const std::string& Value) override;
    void DeleteSubTreeInt(const std::string& Path) override;

private:
    TMemIniFile FIniFile;
    std::string FDefaultSection;
};
