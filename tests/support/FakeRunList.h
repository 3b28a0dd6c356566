#pragma once
// Log-on start lists held in memory, with switches that make them fail as a real one can.

#include <map>
#include <string>

#include "platform/RunList.h"

class TFakeRunList : public TRunList {
public:
    struct TValue {
        std::string Data;
        bool Expandable = false;
        bool operator==(const TValue&) const = default;
    };

    std::string KeyPath(TRunListScope scope) const override {
        return scope == TRunListScope::rsUser ? "user-autostart" : "machine-autostart";
    }
    bool OpenKey(TRunListScope scope, bool) override {
        Problem = Locked[scope] ? "the list is locked" : "";
        return !Locked[scope];
    }
    bool ValueExists(TRunListScope scope, const std::string& name) const override {
        return Lists.count(scope) != 0 && Lists.at(scope).count(name) != 0;
    }
    bool WriteValue(TRunListScope scope, const std::string& name, const std::string& data,
                    bool expandable) override {
        ++Writes;
        Problem = Locked[scope] ? "the list is locked" : "";
        if (Locked[scope]) {
            return false;
        }
        Lists[scope][name] = {data, expandable};
        return true;
    }
    bool DeleteValue(TRunListScope scope, const std::string& name) override {
        ++Deletes;
        return !Locked[scope] && Lists[scope].erase(name) == 1;
    }

    std::string LastProblem() const override { return Problem; }

    std::map<TRunListScope, std::map<std::string, TValue>> Lists;
    std::map<TRunListScope, bool> Locked;
    int Writes = 0;
    int Deletes = 0;
    std::string Problem;
};
