#include "settings/JvAppIniStorage.h"

void TJvCustomAppIniStorage::SplitSettingPath(const std::string& Path, std::string& Section,
                                              std::string& Key) const {
    const std::string path = NormalizePath({Path});
    const auto slash = path.rfind('\\');
    if (slash == std::string::npos) {
        Section.clear();
        Key = path;
    } else {
        Section = path.substr(0, slash);
        Key = path.substr(slash + 1);
    }
    if (Section.empty()) {
        Section = FDefaultSection;
    }
}

std::string TJvCustomAppIniStorage::ReadValue(const std::string& Section, const std::string& Key) {
    if (Section.empty()) {
        throw EJVCLAppStorageError(ClassName() + ".ReadValue: Section undefined");
    }
    return FIniFile.ReadString(Section, Key, std::string());
}

void TJvCustomAppIniStorage::WriteValue(const std::string& Section, const std::string& Key,
                                        const std::string& Value) {
    if (Section.empty()) {
        throw EJVCLAppStorageError(ClassName() + ".WriteValue: Section undefined");
    }
    FIniFile.WriteString(Section, Key, Value);
}

bool TJvCustomAppIniStorage::ValueStoredInt(const std::string& Path) {
    std::string section, key;
    SplitSettingPath(Path, section, key);
    return FIniFile.ValueExists(section, key);
}

std::string TJvCustomAppIniStorage::DoReadString(const std::string& Path,
                                                 const std::string& Default) {
    std::string section, key;
    SplitSettingPath(Path, section, key);
    if (!FIniFile.ValueExists(section, key)) {
        return Default;
    }
    return ReadValue(section, key);
}

void TJvCustomAppIniStorage::DoWriteString(const std::string& Path, const std::string& Value) {
    std::string section, key;
    SplitSettingPath(Path, section, key);
    WriteValue(section, key, Value);
}

void TJvCustomAppIniStorage::DeleteSubTreeInt(const std::string& Path) {
    // Names are matched exactly, but each is erased through the document's look-up, which
    // ignores case and takes the later of two; a name listed twice is erased twice.
    for (const std::string& name : FIniFile.ReadSections()) {
        if (Path.empty() || name.compare(0, Path.size(), Path) == 0) {
            FIniFile.EraseSection(name);
        }
    }
}
