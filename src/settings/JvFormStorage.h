#pragma once
// The window's placement, chosen control properties and named values, kept in a settings
// store. StoredProps names the properties as "Component.Property" (a published property of a
// component the window owns); each is kept under the key "Component_Property", a string list
// in a section ".Component_Property" of its own with "Count" and "Item0" onwards. Named values
// are kept as text under their own names.
//
//   auto* storage = new TJvFormStorage(form);  // while the form is loading, after its store
//   storage->SetAppStorage(store);
//   storage->SetStoredProps({"Edit2.Text", "ComboBox1.Items"});
//   storage->StoredValues().Add("last", 0.0);
//   ...form->EndLoading();                      // binds the entries, takes over the events

#include <functional>
#include <string>
#include <vector>

#include "settings/JvFormPlacement.h"
#include "settings/JvStoredValues.h"

struct TPublishedProperty;
class TStrings;

class TJvFormStorage : public TJvFormPlacement {
public:
    explicit TJvFormStorage(TComponent* AOwner) : TJvFormPlacement(AOwner) {}

    std::string ClassName() const override { return "TJvFormStorage"; }

    // The entries in their order, as the components are named now.
    std::vector<std::string> StoredProps() const;
    // Outside loading the entries are bound at once: an entry without "." or naming no
    // component of the owner is dropped.
    void SetStoredProps(const std::vector<std::string>& value);

    TJvStoredValues& StoredValues() { return FStoredValues; }
    // A copy of the named value (letter case aside); Null when there is none.
    TVariant ReadStoredValue(const std::string& Name) const { return FStoredValues.Read(Name); }
    // Sets the named value, adding it where there is none. The store takes it at the next
    // save; a restore before then leaves it as written.
    void WriteStoredValue(const std::string& Name, const TVariant& Value) {
        FStoredValues.Write(Name, Value);
    }

    // More lines than this in a stored list are not read: a hand-edited "Count" must not make
    // the start take minutes and all memory.
    static constexpr int kMaxListLines = 1000;

protected:
    void Loaded() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void StorePlacement() override;
    void LoadPlacement() override;
    virtual void WriteStoredProps();
    virtual void ReadStoredProps();

private:
    struct TStoredProp {
        std::string Text;  // as given; bound entries are spelled from Component and Property
        TComponent* Component = nullptr;
        std::string Property;
    };

    // Each bound entry whose component has the property, with the path of its key and the
    // section of its list.
    using TStoredPropVisit = std::function<void(
        const TPublishedProperty& prop, const std::string& path, const std::string& listSection)>;
    void ForEachStoredProp(const TStoredPropVisit& visit) const;
    void BindStoredProps();
    std::string SectionText() const;
    void WriteList(const std::string& section, TStrings& list);
    void ReadList(const std::string& section, TStrings& list);
    void ReadProperty(const std::string& path, const TPublishedProperty& prop);

    std::vector<TStoredProp> FStoredProps;
    TJvStoredValues FStoredValues;
};
