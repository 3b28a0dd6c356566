#include "toolkit/Published.h"

#include <strings.h>

bool TPublishedProperties::TCaseless::operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

void TPublishedProperties::AddString(const std::string& name, std::function<std::string()> get,
                                     std::function<void(const std::string&)> set) {
    TPublishedProperty p;
    p.Kind = TPropKind::pkString;
    p.GetString = std::move(get);
    p.SetString = std::move(set);
    FProperties[name] = std::move(p);
}

void TPublishedProperties::AddInteger(const std::string& name, std::function<int()> get,
                                      std::function<void(int)> set) {
    TPublishedProperty p;
    p.Kind = TPropKind::pkInteger;
    p.GetOrdinal = std::move(get);
    p.SetOrdinal = std::move(set);
    FProperties[name] = std::move(p);
}

void TPublishedProperties::AddBoolean(const std::string& name, std::function<bool()> get,
                                      std::function<void(bool)> set) {
    TPublishedProperty p;
    p.Kind = TPropKind::pkBoolean;
    p.GetOrdinal = [g = std::move(get)] { return g() ? 1 : 0; };
    p.SetOrdinal = [s = std::move(set)](int v) { s(v != 0); };
    FProperties[name] = std::move(p);
}

void TPublishedProperties::AddStrings(const std::string& name, std::function<TStrings*()> get) {
    TPublishedProperty p;
    p.Kind = TPropKind::pkStrings;
    p.GetStrings = std::move(get);
    FProperties[name] = std::move(p);
}

const TPublishedProperty* TPublishedProperties::Find(const std::string& name) const {
    const auto it = FProperties.find(name);
    return it == FProperties.end() ? nullptr : &it->second;
}
