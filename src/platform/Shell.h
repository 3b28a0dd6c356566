#pragma once
// The desktop shell's "open": a program is started with its parameters, a document or an
// address goes to the desktop's handler for it.

#include <string>

enum TShellShowCommand : int { SW_HIDE = 0, SW_SHOWNORMAL = 1 };

class TShell {
public:
    virtual ~TShell() = default;

    // Hands the file over and returns at once; true when it was handed over. What the
    // started program does afterwards is not followed.
    virtual bool ShellExecute(const std::string& verb, const std::string& file,
                              const std::string& parameters, const std::string& directory,
                              TShellShowCommand show) = 0;
};
