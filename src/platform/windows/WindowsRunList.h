#pragma once
// The log-on start lists of Windows: the Run keys of the registry, HKEY_CURRENT_USER's for the
// user and HKEY_LOCAL_MACHINE's for every user, under
// Software\Microsoft\Windows\CurrentVersion\Run. A value's data is the command line Windows
// runs at log-on: the program file is written in quotes, so that a path with spaces starts the
// program instead of the first word of the path.

#include <string>

#include "platform/RunList.h"

class TWindowsRunList : public TRunList {
public:
    std::string KeyPath(TRunListScope scope) const override;
    bool OpenKey(TRunListScope scope, bool canCreate) override;
    bool ValueExists(TRunListScope scope, const std::string& name) const override;
    bool WriteValue(TRunListScope scope, const std::string& name, const std::string& data,
                    bool expandable) override;
    bool DeleteValue(TRunListScope scope, const std::string& name) override;
    std::string LastProblem() const override { return FProblem; }

    // The data a program file is written as: in quotes, unless it is quoted already.
    static std::string QuotedCommand(const std::string& program);

    static constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

private:
    std::string FProblem;
};
