#pragma once
// An ordered list of texts, each with an optional owned object, with hash indexes for the two
// look-ups the INI document makes: a whole text (section names) and the name part of a
// "name=value" line (keys). Both ignore letter case, and where several entries match, the one
// with the higher position wins: in a hand-edited file the later duplicate is the one in force.

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "toolkit/Classes.h"

class THashedStringList : public TPersistent {
public:
    THashedStringList() = default;
    THashedStringList(const THashedStringList&) = delete;
    THashedStringList& operator=(const THashedStringList&) = delete;

    std::string ClassName() const override { return "THashedStringList"; }

    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& Strings(int index) const { return Item(index).Text; }
    TObject* Objects(int index) const { return Item(index).Object.get(); }

    int Add(const std::string& text) { return AddObject(text, nullptr); }
    int AddObject(const std::string& text, std::unique_ptr<TObject> object);
    // Replaces the text and keeps the object.
    void Put(int index, const std::string& text);
    void Delete(int index);
    void Clear();

    // The position of the last entry equal to text, ignoring case; -1 when there is none.
    int IndexOf(const std::string& text) const;
    // The position of the last "name=value" entry with this name, ignoring case; -1 when there
    // is none. Entries without "=" have no name and are never found.
    int IndexOfName(const std::string& name) const;
    // The text after the first "=" of the entry; empty where it has none.
    std::string ValueFromIndex(int index) const;

private:
    struct TItem {
        std::string Text;
        std::unique_ptr<TObject> Object;
    };
    using THashIndex = std::unordered_map<std::string, int>;

    const TItem& Item(int index) const { return FItems.at(static_cast<size_t>(index)); }
    void Invalidate();
    static void Index(THashIndex& index, const std::string& key, int position);
    void RebuildValueHash() const;
    void RebuildNameHash() const;

    std::vector<TItem> FItems;
    // Built when first needed after a change; an append extends a valid index in place.
    mutable THashIndex FValueHash;
    mutable THashIndex FNameHash;
    mutable bool FValueHashValid = false;
    mutable bool FNameHashValid = false;
};
