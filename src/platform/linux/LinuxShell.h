#pragma once
// "open" on a Linux desktop: executable files are started directly, existing documents and
// addresses go to xdg-open, and a name that is none of these fails at once. Nothing passes
// through a command shell, so no text the user typed is ever interpreted as shell syntax. A
// bare name (no slash) is a program in PATH, never a file in the current directory, which
// another user may have put there; callers that mean a file there name it "./name". Neither is
// it one in a folder of PATH that another user may write.

#include <functional>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Shell.h"

class TLinuxShell : public TShell {
public:
    bool ShellExecute(const std::string& verb, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      TShellShowCommand show) override;
    // The program, or the opener of a document, is a child of ours until it ends, so that
    // its end can be known; it runs in a session of its own all the same.
    std::unique_ptr<TShellProcess> ShellExecuteEx(const std::string& verb, const std::string& file,
                                                  const std::string& parameters,
                                                  const std::string& directory,
                                                  TShellShowCommand show) override;

    // Splits a parameter text into arguments: blanks separate, double quotes group, and a
    // doubled quote inside quotes stands for one quote.
    static std::vector<std::string> SplitParameters(const std::string& parameters);
    // The program file a name refers to: a name with a slash as it is; a bare name is looked for
    // in the absolute folders of PATH, and only a file that with its folder is the user's own
    // (OwnFiles.h) is taken. Empty when there is no such executable file. passedOver, when
    // given, hears why each other one was not taken.
    static std::string FindProgram(
        const std::string& name,
        const std::function<void(const std::string& why)>& passedOver = {});

private:
    // What "open" runs for a file: a program with its parameters, or the desktop's opener with
    // a document or an address. Empty when there is nothing to open.
    static std::vector<std::string> OpenCommand(const std::string& verb, const std::string& file,
                                                const std::string& parameters);
    // Starts argv[0] with the arguments in a session of its own, without blocking. Followed, it
    // is our child and its pid is returned, for the caller to reap; otherwise it belongs to
    // init (0 is returned), so nobody has to. -1: it could not be started.
    static pid_t Spawn(const std::vector<std::string>& argv, const std::string& directory,
                       bool follow);
};
