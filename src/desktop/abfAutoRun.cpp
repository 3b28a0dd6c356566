#include "desktop/abfAutoRun.h"

#include <optional>

#include "toolkit/SysUtils.h"

namespace {

// Only the two Run lists have a counterpart on this desktop; the others cannot be opened.
std::optional<TRunListScope> RunKeyFor(TabfAutoExecKind kind) {
    switch (kind) {
        case aekUserRun:
            return TRunListScope::rsUser;
        case aekMachineRun:
            return TRunListScope::rsMachine;
        default:
            return std::nullopt;
    }
}

const char* const kRunKeyPaths[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
};

}  // namespace

std::string RunValueName(const std::string& fileName) {
    return fileName.substr(fileName.find_last_of("\\:/") + 1);
}

bool AddAutoRunEntry(TRunList& list, TabfAutoExecKind kind, const std::string& fileName,
                     std::string* why) {
    const auto scope = RunKeyFor(kind);
    const std::string name = RunValueName(fileName);
    try {
        const std::string keyPath = scope ? list.KeyPath(*scope) : kRunKeyPaths[kind];
        if (!scope || !list.OpenKey(*scope, true)) {
            throw ERegistryException("Unable to open the " + keyPath + " key");
        }
        if (!list.WriteValue(*scope, name, fileName, fileName.find('%') != std::string::npos)) {
            throw ERegistryException("Failed to set data for '" + name + "'");
        }
        return true;
    } catch (const ERegistryException& e) {
        if (why != nullptr) {
            *why = scope && !list.LastProblem().empty() ? list.LastProblem() : e.Message();
        }
        return false;
    }
}

bool RemoveAutoRunEntry(TRunList& list, TabfAutoExecKind kind, const std::string& fileName) {
    const auto scope = RunKeyFor(kind);
    if (!scope || !list.OpenKey(*scope, false)) {
        return false;
    }
    const std::string name = RunValueName(fileName);
    if (list.ValueExists(*scope, name)) {
        return list.DeleteValue(*scope, name);
    }
    return true;
}

TabfAutoRun::TabfAutoRun(TComponent* AOwner, TRunList& list) : TComponent(AOwner), FList(list) {
    if (!IsDesigning()) {
        FFileName = ProgramPath();
    }
}

void TabfAutoRun::SetAutoRun(bool value) {
    if (value == FAutoRun) {
        return;
    }
    RemoveAutoRunEntry();
    FAutoRun = value;
    ApplyAutoRun();
}

void TabfAutoRun::SetFileName(const std::string& value) {
    if (value == FFileName) {
        return;
    }
    RemoveAutoRunEntry();
    FFileName = value;
    ApplyAutoRun();
}

void TabfAutoRun::SetKind(TabfAutoExecKind value) {
    if (value == FKind) {
        return;
    }
    RemoveAutoRunEntry();
    FKind = value;
    ApplyAutoRun();
}

void TabfAutoRun::ApplyAutoRun() {
    if (IsDesigning()) {
        return;
    }
    RemoveAutoRunEntry();
    FApplyError.clear();
    if (FAutoRun) {
        AddAutoRunEntry(FList, FKind, FFileName, &FApplyError);
    }
}

void TabfAutoRun::RemoveAutoRunEntry() {
    if (!IsDesigning()) {
        ::RemoveAutoRunEntry(FList, FKind, FFileName);
    }
}

void TabfAutoRun::Loaded() {
    TComponent::Loaded();
    ApplyAutoRun();
}
