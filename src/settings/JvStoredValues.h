#pragma once
// Named values a form storage keeps beside the window's controls (the window keeps the time
// it last launched the update checker as "last"). Each is written to the store as text under
// its own name, and a restore gives it back that text: turning it into a number again is the
// reader's business.

#include <memory>
#include <string>
#include <vector>

#include "settings/Variant.h"

class TJvCustomAppStorage;
class TJvStoredValues;

class TJvStoredValue {
public:
    const std::string& Name() const { return FName; }
    // Refused with EStringListError "String list does not allow duplicates" where another value
    // of the collection has that name, letter case aside.
    void SetName(const std::string& value);
    const TVariant& Value() const { return FValue; }
    void SetValue(const TVariant& value) { FValue = value; }

    // Writes the value's text at the path of its name.
    void Save(TJvCustomAppStorage& storage);
    // Takes the stored text, or the value's own text where nothing is stored; a value the
    // program wrote since the last save is newer than the store's and stays.
    void Restore(TJvCustomAppStorage& storage);

private:
    friend class TJvStoredValues;
    TJvStoredValue(TJvStoredValues& owner, std::string name, TVariant value)
        : FOwner(owner), FName(std::move(name)), FValue(std::move(value)) {}
    std::string Path() const;

    TJvStoredValues& FOwner;
    std::string FName;
    TVariant FValue;
    bool FWrittenSinceSave = false;
};

class TJvStoredValues {
public:
    TJvStoredValues() = default;
    TJvStoredValues(const TJvStoredValues&) = delete;
    TJvStoredValues& operator=(const TJvStoredValues&) = delete;

    int Count() const { return static_cast<int>(FItems.size()); }
    TJvStoredValue& Items(int index) { return *FItems.at(static_cast<size_t>(index)); }
    // Appends a value; refused as SetName is.
    TJvStoredValue& Add(const std::string& name, const TVariant& value = TVariant());
    void Delete(int index);
    // The value of that name, letter case aside; nullptr when there is none.
    TJvStoredValue* Find(const std::string& name) const;

    // A copy of the named value; Null when there is none.
    TVariant Read(const std::string& name) const;
    // Sets the named value, appending one where there is none. The store takes it at the next
    // save, and no restore before then replaces it.
    void Write(const std::string& name, const TVariant& value);

    // In collection order.
    void Save(TJvCustomAppStorage& storage);
    void Restore(TJvCustomAppStorage& storage);

private:
    friend class TJvStoredValue;
    void CheckUnique(const std::string& name, const TJvStoredValue* except) const;

    std::vector<std::unique_ptr<TJvStoredValue>> FItems;
};
