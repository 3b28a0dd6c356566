// Feeds arbitrary bytes to the INI reader. Whatever a hand-edited or damaged file holds, the
// text written for it must read back into a document that writes the same text again and
// answers every look-up the same way; otherwise each run would change the file a little more.
// A file that can be read whole is written so that it can be read whole again.

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
    const std::string input(reinterpret_cast<const char*>(data), size);
    TMemIniFile first;
    first.SetText(input);
    const std::string text = first.GetText();
    if (TMemIniFile::TextProblem(input).empty() && !TMemIniFile::TextProblem(text).empty()) {
        Fail("written unreadable", TMemIniFile::TextProblem(text));
    }

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
