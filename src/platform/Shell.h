#pragma once
// The desktop shell's "open": a program is started with its parameters, a document or an
// address goes to the desktop's handler for it.

#include <memory>
#include <string>

enum TShellShowCommand : int { SW_HIDE = 0, SW_SHOWNORMAL = 1 };

// A process the shell started and follows until it ends. Letting go of it stops nothing.
class TShellProcess {
public:
    virtual ~TShellProcess() = default;
    // True until the process has ended; for a document, until the handler that opens it has.
    // Answers at once.
    virtual bool Running() = 0;
};

class TShell {
public:
    virtual ~TShell() = default;

    // Hands the file over and returns at once; true when it was handed over. What the
    // started program does afterwards is not followed.
    virtual bool ShellExecute(const std::string& verb, const std::string& file,
                              const std::string& parameters, const std::string& directory,
                              TShellShowCommand show) = 0;
    // The same, and follows what it started; nullptr when nothing was handed over.
    virtual std::unique_ptr<TShellProcess> ShellExecuteEx(const std::string& verb,
                                                          const std::string& file,
                                                          const std::string& parameters,
                                                          const std::string& directory,
                                                          TShellShowCommand show) = 0;
};
