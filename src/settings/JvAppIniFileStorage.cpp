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
    FFileHoldsOwn = true;
}

std::string TJvAppIniFileStorage::SaveDocument(const std::string& FileName) {
    IniFile().Rename(FileName);
    FSavingText = IniFile().GetText();
    std::string now;
    try {
        if (!FileEntryExists(FileName)) {
            return FSavingText;
        }
        now = ReadFileText(FileName, kMaxFileSize);
    } catch (const EFTooLargeError&) {
        // Grown past a settings file meanwhile: not written over, as at start.
        throw;
    } catch (const EFOpenError&) {
        // What cannot be read now cannot be merged with; the write says what is wrong.
        return FSavingText;
    }
    // Only a file that holds this copy's own document and nothing of another writer's may be
    // written over whole. After a merge it holds another's values that this copy's document
    // does not: writing the document then would undo them.
    if (now == FFileText && FFileHoldsOwn) {
        return FSavingText;
    }
    // A file made unreadable meanwhile is not written over, as at start.
    if (const std::string problem = TMemIniFile::TextProblem(now); !problem.empty()) {
        throw EFOpenError(FileName, problem);
    }
    return MergeIniText(FSyncedText, FSavingText, now);
}

void TJvAppIniFileStorage::DocumentWritten(const std::string& Text) {
    // The document stays this copy's own, and so the base its next changes are taken against;
    // the file may hold more.
    FSyncedText = FSavingText;
    FFileText = Text;
    FFileHoldsOwn = Text == FSavingText;
}

bool TJvAppIniFileStorage::Modified() const {
    return IniFile().GetText() != FSyncedText;
}
