#include "settings/JvFormStorage.h"

#include <algorithm>

#include "toolkit/StrUtils.h"
#include "toolkit/Strings.h"

std::vector<std::string> TJvFormStorage::StoredProps() const {
    std::vector<std::string> texts;
    for (const TStoredProp& entry : FStoredProps) {
        texts.push_back(entry.Component != nullptr ? entry.Component->Name() + "." + entry.Property
                                                   : entry.Text);
    }
    return texts;
}

void TJvFormStorage::SetStoredProps(const std::vector<std::string>& value) {
    for (const TStoredProp& entry : FStoredProps) {
        if (entry.Component != nullptr) {
            RemoveFreeNotification(entry.Component);
        }
    }
    FStoredProps.clear();
    for (const std::string& text : value) {
        FStoredProps.push_back({text, nullptr, std::string()});
    }
    if (!IsLoading()) {
        BindStoredProps();
    }
}

void TJvFormStorage::BindStoredProps() {
    for (size_t i = FStoredProps.size(); i-- > 0;) {
        TStoredProp& entry = FStoredProps[i];
        if (entry.Component != nullptr) {
            continue;
        }
        const auto dot = entry.Text.find('.');
        const std::string name = dot == std::string::npos ? "" : Trim(entry.Text.substr(0, dot));
        const std::string property =
            dot == std::string::npos ? "" : Trim(entry.Text.substr(dot + 1));
        TComponent* component = nullptr;
        if (!name.empty() && !property.empty() && Owner() != nullptr) {
            component = Owner()->FindComponent(name);
        }
        if (component == nullptr) {
            FStoredProps.erase(FStoredProps.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        entry.Component = component;
        entry.Property = property;
        FreeNotification(component);
    }
}

void TJvFormStorage::Loaded() {
    BindStoredProps();
    TJvFormPlacement::Loaded();
}

void TJvFormStorage::Notification(TComponent* AComponent, TOperation Operation) {
    TJvFormPlacement::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove) {
        std::erase_if(FStoredProps,
                      [AComponent](const TStoredProp& e) { return e.Component == AComponent; });
    }
}

void TJvFormStorage::StorePlacement() {
    TJvFormPlacement::StorePlacement();
    WriteStoredProps();
    FStoredValues.Save(*AppStorage());
}

void TJvFormStorage::LoadPlacement() {
    TJvFormPlacement::LoadPlacement();
    try {
        ReadStoredProps();
    } catch (...) {
        // Each property is read on its own; what fails beyond that leaves the rest as it is.
    }
    FStoredValues.Restore(*AppStorage());
}

std::string TJvFormStorage::SectionText() const {
    std::string section = AppStoragePath();
    while (!section.empty() && section.back() == '\\') {
        section.pop_back();
    }
    return section;
}

namespace {

std::string PropertyText(const TPublishedProperty& prop) {
    switch (prop.Kind) {
        case TPropKind::pkString:
            return prop.GetString();
        case TPropKind::pkInteger:
            return IntToStr(prop.GetOrdinal());
        case TPropKind::pkBoolean:
            return prop.GetOrdinal() != 0 ? "True" : "False";
        case TPropKind::pkStrings:
            break;
    }
    return std::string();
}

}  // namespace

void TJvFormStorage::ForEachStoredProp(const TStoredPropVisit& visit) const {
    const std::string section = SectionText();
    // A copy: the properties run the controls' own code.
    const std::vector<TStoredProp> entries = FStoredProps;
    for (const TStoredProp& entry : entries) {
        const TPublishedProperty* prop = entry.Component != nullptr
                                             ? entry.Component->Published().Find(entry.Property)
                                             : nullptr;
        if (prop != nullptr) {
            const std::string key = entry.Component->Name() + "_" + entry.Property;
            visit(*prop, TJvCustomAppStorage::NormalizePath({section, key}), section + "." + key);
        }
    }
}

void TJvFormStorage::WriteStoredProps() {
    ForEachStoredProp([this](const TPublishedProperty& prop, const std::string& path,
                             const std::string& listSection) {
        if (prop.Kind == TPropKind::pkStrings) {
            WriteList(listSection, *prop.GetStrings());
        } else {
            AppStorage()->WriteStringValue(path, Trim(PropertyText(prop)));
        }
    });
}

void TJvFormStorage::WriteList(const std::string& section, TStrings& list) {
    // Removed and written anew, so a shorter list leaves no items of the longer one behind.
    AppStorage()->DeleteBranch(section);
    const int count = list.Count();
    if (count == 0) {
        return;
    }
    AppStorage()->WriteStringValue(TJvCustomAppStorage::NormalizePath({section, "Count"}),
                                   IntToStr(count));
    for (int i = 0; i < count; ++i) {
        AppStorage()->WriteStringValue(
            TJvCustomAppStorage::NormalizePath({section, "Item" + std::to_string(i)}), list.Get(i));
    }
}

void TJvFormStorage::ReadStoredProps() {
    ForEachStoredProp([this](const TPublishedProperty& prop, const std::string& path,
                             const std::string& listSection) {
        // One property that cannot be read or set leaves the others to be read.
        try {
            if (prop.Kind == TPropKind::pkStrings) {
                ReadList(listSection, *prop.GetStrings());
            } else {
                ReadProperty(path, prop);
            }
        } catch (...) {
        }
    });
}

void TJvFormStorage::ReadProperty(const std::string& path, const TPublishedProperty& prop) {
    const std::string text = Trim(AppStorage()->ReadStringValue(path, PropertyText(prop)));
    switch (prop.Kind) {
        case TPropKind::pkString:
            prop.SetString(text);
            break;
        case TPropKind::pkInteger: {
            // The control keeps 0 within its own range.
            int32_t value = 0;
            prop.SetOrdinal(TryStrToInt(text, value) ? value : 0);
            break;
        }
        case TPropKind::pkBoolean:
            // A file edited by hand may say it as people do; Latmo itself writes True and False.
            if (SameText(text, "True") || text == "1" || SameText(text, "yes")) {
                prop.SetOrdinal(1);
            } else if (SameText(text, "False") || text == "0" || SameText(text, "no")) {
                prop.SetOrdinal(0);
            }
            break;
        case TPropKind::pkStrings:
            break;
    }
}

void TJvFormStorage::ReadList(const std::string& section, TStrings& list) {
    int32_t count = 0;
    const std::string countText = Trim(
        AppStorage()->ReadStringValue(TJvCustomAppStorage::NormalizePath({section, "Count"}), "0"));
    if (!TryStrToInt(countText, count) || count <= 0) {
        return;
    }
    count = std::min(count, kMaxListLines);
    std::vector<std::string> lines;
    lines.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        lines.push_back(AppStorage()->ReadStringValue(
            TJvCustomAppStorage::NormalizePath({section, "Item" + std::to_string(i)}),
            std::string()));
    }
    list.Assign(lines);
}
