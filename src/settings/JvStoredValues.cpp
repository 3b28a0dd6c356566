#include "settings/JvStoredValues.h"

#include "settings/JvAppStorage.h"
#include "toolkit/StrUtils.h"
#include "toolkit/Strings.h"

void TJvStoredValue::SetName(const std::string& value) {
    FOwner.CheckUnique(value, this);
    FName = value;
}

std::string TJvStoredValue::Path() const {
    return TJvCustomAppStorage::NormalizePath({FName});
}

void TJvStoredValue::Save(TJvCustomAppStorage& storage) {
    storage.WriteStringValue(Path(), FValue.AsText());
    FWrittenSinceSave = false;
}

void TJvStoredValue::Restore(TJvCustomAppStorage& storage) {
    if (FWrittenSinceSave) {
        return;
    }
    FValue = storage.ReadStringValue(Path(), FValue.AsText());
}

TJvStoredValue& TJvStoredValues::Add(const std::string& name, const TVariant& value) {
    CheckUnique(name, nullptr);
    FItems.push_back(std::unique_ptr<TJvStoredValue>(new TJvStoredValue(*this, name, value)));
    return *FItems.back();
}

void TJvStoredValues::Delete(int index) {
    if (index < 0 || index >= Count()) {
        RaiseListIndexError(index);
    }
    FItems.erase(FItems.begin() + index);
}

TJvStoredValue* TJvStoredValues::Find(const std::string& name) const {
    for (const auto& item : FItems) {
        if (SameText(item->Name(), name)) {
            return item.get();
        }
    }
    return nullptr;
}

void TJvStoredValues::CheckUnique(const std::string& name, const TJvStoredValue* except) const {
    const TJvStoredValue* other = Find(name);
    if (other != nullptr && other != except) {
        throw EStringListError("String list does not allow duplicates");
    }
}

TVariant TJvStoredValues::Read(const std::string& name) const {
    const TJvStoredValue* item = Find(name);
    return item != nullptr ? item->Value() : TVariant::Null();
}

void TJvStoredValues::Write(const std::string& name, const TVariant& value) {
    TJvStoredValue* item = Find(name);
    if (item == nullptr) {
        item = &Add(name);
    }
    item->SetValue(value);
    item->FWrittenSinceSave = true;
}

void TJvStoredValues::Save(TJvCustomAppStorage& storage) {
    for (const auto& item : FItems) {
        item->Save(storage);
    }
}

void TJvStoredValues::Restore(TJvCustomAppStorage& storage) {
    for (const auto& item : FItems) {
        item->Restore(storage);
    }
}
