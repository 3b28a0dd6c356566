// Feeds arbitrary bytes to the INI reader. Whatever a hand-edited or damaged file holds, the
// text written for it must read back into a document that writes the same text again and
// answers every look-up the same way; otherwise each run would change the file a little more.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/MemIniFile.h"
#include "toolkit/StrUtils.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "ini fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemIniFile first;
    first.SetText(std::string(reinterpret_cast<const char*>(data), size));
    const std::string text = first.GetText();

    TMemIniFile second;
    second.SetText(text);
    if (second.GetText() != text) {
        Fail("second save differs", second.GetText());
    }

    const std::string missing("\x01missing");
    for (const std::string& section : first.ReadSections()) {
        for (const std::string& line : first.ReadSectionLines(section)) {
            const auto eq = line.find('=');
            if (eq == std::string::npos) {
                continue;
            }
            const std::string key = line.substr(0, eq);
            const std::string value = first.ReadString(section, key, missing);
            if (second.ReadString(section, key, missing) != value) {
                Fail("look-up differs after reload", section + "/" + key);
            }
            int32_t number = 0;
            TryStrToInt(value, number);  // under UBSan: no overflow on any text
        }
    }
    return 0;
}
