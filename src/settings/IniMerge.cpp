#include "settings/IniMerge.h"

#include <vector>

#include "settings/MemIniFile.h"

namespace {

// The keys of a section's lines, in order; bare lines have none.
std::vector<std::string> Keys(const TMemIniFile& ini, const std::string& section) {
    std::vector<std::string> keys;
    for (const std::string& line : ini.ReadSectionLines(section)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) {
            keys.push_back(line.substr(0, eq));
        }
    }
    return keys;
}

}  // namespace

std::string MergeIniText(const std::string& base, const std::string& mine,
                         const std::string& theirs) {
    TMemIniFile was, now, result;
    was.SetText(base);
    now.SetText(mine);
    result.SetText(theirs);
    for (const std::string& section : was.ReadSections()) {
        if (!now.SectionExists(section)) {
            result.EraseSection(section);
            continue;
        }
        for (const std::string& key : Keys(was, section)) {
            if (!now.ValueExists(section, key)) {
                result.DeleteKey(section, key);
            }
        }
    }
    for (const std::string& section : now.ReadSections()) {
        for (const std::string& key : Keys(now, section)) {
            const std::string value = now.ReadString(section, key, std::string());
            if (!was.ValueExists(section, key) || was.ReadString(section, key, "") != value) {
                result.WriteString(section, key, value);
            }
        }
    }
    return result.GetText();
}
