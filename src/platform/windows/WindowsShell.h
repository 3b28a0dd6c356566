#pragma once
// "open" on Windows: a program (.exe, .com) is started with CreateProcessW and a command line
// quoted so that a path with spaces stays one argument, never through cmd.exe; documents and
// addresses go to ShellExecuteExW, which hands them to the handler the user chose. A bare
// program name is looked for in the absolute folders of PATH only, never in the current folder.
// What is started is followed through its process handle.

#include <memory>
#include <string>

#include "platform/Shell.h"

class TWindowsShell : public TShell {
public:
    bool ShellExecute(const std::string& verb, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      TShellShowCommand show) override;
    // A program is followed until it exits; a document while the process its handler started
    // runs. A handler that took the document without a process of its own (a program already
    // running was handed it) leaves nothing to follow: Running() is false at once.
    std::unique_ptr<TShellProcess> ShellExecuteEx(const std::string& verb, const std::string& file,
                                                  const std::string& parameters,
                                                  const std::string& directory,
                                                  TShellShowCommand show) override;

    // The command line that starts program with the parameters as typed: the program's path
    // in quotes (a quote in it cannot occur in a Windows path), one blank, the parameters.
    static std::string CommandLine(const std::string& program, const std::string& parameters);
    // Whether the name is a program file by its extension.
    static bool IsProgram(const std::string& file);
    // The program a name refers to: a path as it is when that file exists; a bare name from the
    // absolute folders of PATH, the first whose file is the user's own (OwnFiles.h). Empty when
    // there is none.
    static std::string FindProgram(const std::string& name);
};
