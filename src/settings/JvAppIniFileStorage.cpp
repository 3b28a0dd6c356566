#include "settings/JvAppIniFileStorage.h"

#include "settings/FileIO.h"
#include "settings/IniMerge.h"

void TJvAppIniFileStorage::LoadDocument(const std::string& FileName, const std::string& Text) {
    if (const std::string problem = TMemIniFile::TextProblem(Text); !problem.empty()) {
        throw EFOpenError(FileName, problem);
    }
    IniFile().Rename(FileName);
    IniFile().SetText(Text);
    FSyncedText = IniFile().GetText();
    FFileText = Text;
}

std::string TJvAppIniFileStorage::SaveDocument(const std::string& FileName) {
    IniFile().Rename(FileName);
    FSavingText = IniFile().GetText();
    std::string now;
    try {
        if (!FileEntryExists(FileName)) {
            return FSavingText;
        }
        now = ReadFileText(FileName);
    } catch (const EFOpenError&) {
        // What cannot be read now cannot be merged with; the write says what is wrong.
        return FSavingText;
    }
    if (now == FFileText) {
        return FSavingText;
    }
    // A file made unreadable meanwhile is not written over, as at start.
    if (const std::string problem = TMemIniFile::TextProblem(now); !problem.empty()) {
        throw EFOpenError(FileName, problem);
    }
    return MergeIniText(FSyncedText, FSavingText, now);
}

void TJvAppIniFileStorage::DocumentWritten(const std::string& Text) {
    FSyncedText = FSavingText;
    FFileText = Text;
}

bool TJvAppIniFileStorage::Modified() const {
    return IniFile().GetText() != FSyncedText;
}
