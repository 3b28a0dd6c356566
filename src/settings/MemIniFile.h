#pragma once
// The settings file held in memory: an ordered list of sections, each an ordered list of lines
// ("name=value", or a bare line kept as it was). Sections and keys are found ignoring letter
// case, the later of two duplicates first. The document never touches the disk itself; it
// turns text into sections and back, and remembers the file name it stands for.

#include <string>
#include <vector>

#include "settings/HashedStringList.h"
#include "toolkit/Classes.h"

class TMemIniFile : public TObject {
public:
    explicit TMemIniFile(const std::string& FileName = std::string()) : FFileName(FileName) {}

    std::string ClassName() const override { return "TMemIniFile"; }

    // The longest line a settings file holds, without its line break. A longer one is no
    // settings line but a sign of some other file; values stay below it (kMaxValueLength), so
    // that every key of this program fits in front of them.
    static constexpr size_t kMaxLineLength = 65536;
    static constexpr size_t kMaxValueLength = kMaxLineLength - 64;
    // Why a text cannot be read whole as a settings file, naming the line: a NUL or another
    // control character than TAB, CR and LF, or a line longer than kMaxLineLength. Empty when
    // it can be. SetText would drop what follows a NUL and keep the rest, so such a text, read
    // and written back, would lose settings.
    static std::string TextProblem(const std::string& text);

    const std::string& FileName() const { return FFileName; }
    // Takes another name; the content stays as it is.
    void Rename(const std::string& FileName) { FFileName = FileName; }

    // Rebuilds the document from the text of a file. Nothing in it is an error: lines that do
    // not fit are dropped or kept as bare lines. A UTF-8 byte-order mark at the very start is
    // read past (GetText writes none).
    void SetText(const std::string& text);
    // The text of the file: each section's "[name]" header, its lines and one empty line, every
    // line ending in CR LF, values exactly as stored.
    std::string GetText() const;
    void Clear() { FSections.Clear(); }

    bool SectionExists(const std::string& Section) const;
    bool ValueExists(const std::string& Section, const std::string& Ident) const;
    std::string ReadString(const std::string& Section, const std::string& Ident,
                           const std::string& Default) const;
    // Replaces the key's line in place (spelled as Ident is now), or appends it; a missing
    // section is appended at the end of the document. Control characters other than TAB are
    // dropped from the value, and a line longer than kMaxLineLength is refused (Exception),
    // so that what is written can always be read back.
    void WriteString(const std::string& Section, const std::string& Ident,
                     const std::string& Value);
    // The section names in document order, duplicates included.
    std::vector<std::string> ReadSections() const;
    // The section's lines in order; empty for a missing section.
    std::vector<std::string> ReadSectionLines(const std::string& Section) const;
    // Removes the section of that name (the later one where there are two) with its lines.
    void EraseSection(const std::string& Section);
    // Removes the key's line (the later one where there are two).
    void DeleteKey(const std::string& Section, const std::string& Ident);

private:
    THashedStringList* FindSection(const std::string& Section) const;
    THashedStringList* AddSection(const std::string& Section);

    THashedStringList FSections;  // each entry owns its section's line list
    std::string FFileName;
};
