#pragma once
// Published properties reachable by name, so that stored settings can name "Edit2.Text" or
// "TrackMaxGraph.Position" and reach the control's own setter.

#include <functional>
#include <map>
#include <string>

class TStrings;

enum class TPropKind { pkString, pkInteger, pkBoolean, pkStrings };

struct TPublishedProperty {
    TPropKind Kind = TPropKind::pkString;
    std::function<std::string()> GetString;
    std::function<void(const std::string&)> SetString;
    // Integers and Booleans (0 or 1).
    std::function<int()> GetOrdinal;
    std::function<void(int)> SetOrdinal;
    std::function<TStrings*()> GetStrings;
};

// The published properties of one object; names are matched without regard to case.
class TPublishedProperties {
public:
    void AddString(const std::string& name, std::function<std::string()> get,
                   std::function<void(const std::string&)> set);
    void AddInteger(const std::string& name, std::function<int()> get,
                    std::function<void(int)> set);
    void AddBoolean(const std::string& name, std::function<bool()> get,
                    std::function<void(bool)> set);
    void AddStrings(const std::string& name, std::function<TStrings*()> get);

    // nullptr when there is no such property.
    const TPublishedProperty* Find(const std::string& name) const;

private:
    struct TCaseless {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    std::map<std::string, TPublishedProperty, TCaseless> FProperties;
};
