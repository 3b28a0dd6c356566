#include "settings/HashedStringList.h"

#include "toolkit/StrUtils.h"

namespace {

// Whether the entry has a name, and what it is: the text before its first "=".
bool NameOf(const std::string& text, std::string& name) {
    const auto eq = text.find('=');
    if (eq == std::string::npos) {
        return false;
    }
    name = text.substr(0, eq);
    return true;
}

}  // namespace

int THashedStringList::AddObject(const std::string& text, std::unique_ptr<TObject> object) {
    const int position = Count();
    FItems.push_back(TItem{text, std::move(object)});
    // The new entry has the highest position, so it simply takes over its key.
    if (FValueHashValid) {
        Index(FValueHash, text, position);
    }
    std::string name;
    if (FNameHashValid && NameOf(text, name)) {
        Index(FNameHash, name, position);
    }
    return position;
}

void THashedStringList::Put(int index, const std::string& text) {
    FItems.at(static_cast<size_t>(index)).Text = text;
    Invalidate();
}

void THashedStringList::Delete(int index) {
    Item(index);  // range check
    FItems.erase(FItems.begin() + index);
    Invalidate();
}

void THashedStringList::Clear() {
    FItems.clear();
    Invalidate();
}

int THashedStringList::IndexOf(const std::string& text) const {
    if (!FValueHashValid) {
        RebuildValueHash();
    }
    const auto it = FValueHash.find(UpperCase(text));
    return it == FValueHash.end() ? -1 : it->second;
}

int THashedStringList::IndexOfName(const std::string& name) const {
    if (!FNameHashValid) {
        RebuildNameHash();
    }
    const auto it = FNameHash.find(UpperCase(name));
    return it == FNameHash.end() ? -1 : it->second;
}

std::string THashedStringList::ValueFromIndex(int index) const {
    const std::string& text = Strings(index);
    const auto eq = text.find('=');
    return eq == std::string::npos ? std::string() : text.substr(eq + 1);
}

void THashedStringList::Invalidate() {
    FValueHashValid = false;
    FNameHashValid = false;
}

void THashedStringList::Index(THashIndex& index, const std::string& key, int position) {
    index[UpperCase(key)] = position;
}

void THashedStringList::RebuildValueHash() const {
    FValueHash.clear();
    for (int i = 0; i < Count(); ++i) {
        Index(FValueHash, Strings(i), i);  // later entries overwrite earlier ones
    }
    FValueHashValid = true;
}

void THashedStringList::RebuildNameHash() const {
    FNameHash.clear();
    std::string name;
    for (int i = 0; i < Count(); ++i) {
        if (NameOf(Strings(i), name)) {
            Index(FNameHash, name, i);
        }
    }
    FNameHashValid = true;
}
