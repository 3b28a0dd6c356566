#pragma once
// The lists of programs the desktop starts when a user logs on: one for the user, one for every
// user of the machine. An entry has a name and, as its data, the program file to start; data
// that holds "%" is marked as expandable.

#include <string>

enum class TRunListScope { rsUser, rsMachine };

class TRunList {
public:
    virtual ~TRunList() = default;

    // Where the list is kept, for messages.
    virtual std::string KeyPath(TRunListScope scope) const = 0;
    // Whether the list can be read and changed; canCreate makes it when it is missing.
    virtual bool OpenKey(TRunListScope scope, bool canCreate) = 0;
    virtual bool ValueExists(TRunListScope scope, const std::string& name) const = 0;
    // Writes the entry whole or not at all; false when it could not be written.
    virtual bool WriteValue(TRunListScope scope, const std::string& name, const std::string& data,
                            bool expandable) = 0;
    virtual bool DeleteValue(TRunListScope scope, const std::string& name) = 0;
    // Why the latest OpenKey or WriteValue failed, in words for the user ("the folder … cannot
    // be written (Permission denied)"); empty after one that succeeded.
    virtual std::string LastProblem() const = 0;
};
