#pragma once
// A shell that records what it was asked to open instead of opening it.

#include <string>
#include <vector>

#include "platform/Shell.h"

class TFakeShell : public TShell {
public:
    struct TCall {
        std::string Verb, File, Parameters, Directory;
        TShellShowCommand Show;
    };
    bool ShellExecute(const std::string& verb, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      TShellShowCommand show) override {
        Calls.push_back({verb, file, parameters, directory, show});
        return Result;
    }
    std::vector<TCall> Calls;
    bool Result = true;
};
