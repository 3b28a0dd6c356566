#pragma once
// Keeps the program in the user's log-on start list in step with one Boolean: while AutoRun is
// set, the list holds an entry named after the program file (RunValueName) whose data is the
// program's full path; otherwise it holds none of that name. No failure is raised; one to write
// the entry is kept in words (ApplyError) for the owner, who may show it: a ticked box that
// silently does nothing would leave the user believing the program starts at log-on.
//
//   auto* autoRun = new TabfAutoRun(form, runList);   // FileName: the running program
//   autoRun->SetKind(aekUserRun);
//   autoRun->SetAutoRun(checkBox->Checked());          // writes or removes the entry

#include <string>

#include "platform/RunList.h"
#include "toolkit/Classes.h"
#include "toolkit/Component.h"

enum TabfAutoExecKind {
    aekMachineRun,
    aekMachineRunOnce,
    aekUserRun,
    aekUserRunOnce,
    aekServiceRun,
    aekServiceRunOnce,
};

// What a failed change of the list raises inside AddAutoRunEntry (and is caught there).
class ERegistryException : public Exception {
public:
    using Exception::Exception;
    std::string ClassName() const override { return "ERegistryException"; }
};

// The part of a file name after its last backslash, colon or slash.
std::string RunValueName(const std::string& fileName);
// Writes the entry for the kind; false (nothing shown, nothing logged) when it could not be, and
// why receives the reason in words when given.
bool AddAutoRunEntry(TRunList& list, TabfAutoExecKind kind, const std::string& fileName,
                     std::string* why = nullptr);
// Removes the entry; true when it is gone or was never there, false when the list cannot be
// opened or the entry not removed.
bool RemoveAutoRunEntry(TRunList& list, TabfAutoExecKind kind, const std::string& fileName);

class TabfAutoRun : public TComponent {
public:
    // The list outlives the component. FileName starts as the running program's full path.
    TabfAutoRun(TComponent* AOwner, TRunList& list);

    std::string ClassName() const override { return "TabfAutoRun"; }

    // Each setter acts only on a change: the old entry goes, the value is stored, and the
    // entry is made anew as AutoRun says.
    bool AutoRun() const { return FAutoRun; }
    void SetAutoRun(bool value);
    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& value);
    TabfAutoExecKind Kind() const { return FKind; }
    void SetKind(TabfAutoExecKind value);

    // Removes the entry, then writes it when AutoRun is set (at run time only).
    virtual void ApplyAutoRun();
    // Why the latest ApplyAutoRun could not write the entry that AutoRun asks for; empty when
    // it could, or had none to write.
    const std::string& ApplyError() const { return FApplyError; }
    // Removes the entry for the current kind and file name (at run time only).
    virtual void RemoveAutoRunEntry();

protected:
    void Loaded() override;

private:
    TRunList& FList;
    bool FAutoRun = false;
    std::string FFileName;
    TabfAutoExecKind FKind = aekMachineRun;
    std::string FApplyError;
};
