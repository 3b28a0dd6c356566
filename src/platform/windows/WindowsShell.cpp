// The interface first: Windows' headers define its show commands as macros of the same values.
#include "platform/windows/WindowsShell.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/Files.h"
#include "platform/OwnFiles.h"
#include "platform/windows/Wide.h"

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    if (text.size() < tail.size()) {
        return false;
    }
    return std::equal(tail.begin(), tail.end(), text.end() - static_cast<long>(tail.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

bool HasDelimiter(const std::string& name) {
    return std::any_of(name.begin(), name.end(), IsPathDelimiter) ||
           name.find(':') != std::string::npos;
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A process followed through its handle; none when the shell handed over nothing to follow.
class TProcessHandle : public TShellProcess {
public:
    explicit TProcessHandle(HANDLE process) : FProcess(process) {}
    ~TProcessHandle() override {
        if (FProcess != nullptr) {
            CloseHandle(FProcess);
        }
    }
    TProcessHandle(const TProcessHandle&) = delete;
    TProcessHandle& operator=(const TProcessHandle&) = delete;
    bool Running() override {
        return FProcess != nullptr && WaitForSingleObject(FProcess, 0) == WAIT_TIMEOUT;
    }

private:
    HANDLE FProcess;
};

// "open" as ShellExecute and ShellExecuteEx make it. With process given, the started process's
// handle is left there (nullptr when there is none to follow); without, it is let go.
bool Open(const std::string& verb, const std::string& file, const std::string& parameters,
          const std::string& directory, TShellShowCommand show, HANDLE* process) {
    if (file.empty()) {
        return false;
    }
    const int showCommand = show == SW_HIDE ? 0 : 1;
    const std::wstring folder = Widen(directory);
    HANDLE started = nullptr;
    if (verb == "open" && TWindowsShell::IsProgram(file)) {
        const std::string program = TWindowsShell::FindProgram(file);
        if (program.empty()) {
            return false;
        }
        std::wstring commandLine = Widen(TWindowsShell::CommandLine(program, parameters));
        const std::wstring applicationName = Widen(program);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showCommand);
        PROCESS_INFORMATION info{};
        // Naming the program file keeps CreateProcessW from guessing it out of the command
        // line, where a path with spaces could be read as a shorter one.
        if (CreateProcessW(applicationName.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                           nullptr, folder.empty() ? nullptr : folder.c_str(), &startup,
                           &info) == 0) {
            return false;
        }
        CloseHandle(info.hThread);
        started = info.hProcess;
    } else {
        const std::wstring wideVerb = Widen(verb);
        const std::wstring wideFile = Widen(file);
        const std::wstring wideParameters = Widen(parameters);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        // No message box of the shell's: a failure is told where the user looks.
        info.fMask = SEE_MASK_FLAG_NO_UI | (process != nullptr ? SEE_MASK_NOCLOSEPROCESS : 0);
        info.lpVerb = wideVerb.c_str();
        info.lpFile = wideFile.c_str();
        info.lpParameters = wideParameters.empty() ? nullptr : wideParameters.c_str();
        info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
        info.nShow = showCommand;
        if (ShellExecuteExW(&info) == 0) {
            return false;
        }
        started = info.hProcess;
    }
    if (process != nullptr) {
        *process = started;
    } else if (started != nullptr) {
        CloseHandle(started);
    }
    return true;
}

}  // namespace

std::string TWindowsShell::CommandLine(const std::string& program, const std::string& parameters) {
    std::string line = "\"" + program + "\"";
    if (!parameters.empty()) {
        line += " " + parameters;
    }
    return line;
}

bool TWindowsShell::IsProgram(const std::string& file) {
    return EndsWith(file, ".exe") || EndsWith(file, ".com");
}

std::string TWindowsShell::FindProgram(const std::string& name) {
    if (name.empty()) {
        return std::string();
    }
    if (HasDelimiter(name)) {
        return IsFile(name) ? name : std::string();
    }
    const DWORD pathSize = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring wide(pathSize, L'\0');
    wide.resize(pathSize == 0 ? 0 : GetEnvironmentVariableW(L"PATH", wide.data(), pathSize));
    const std::string path = Narrow(wide);
    std::vector<std::string> candidates;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(';', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string folder = path.substr(start, end - start);
        // A relative entry depends on where Latmo was started: never run what lies there.
        if (IsAbsolutePath(folder)) {
            const std::string candidate =
                folder + (IsPathDelimiter(folder.back()) ? "" : "\\") + name;
            if (IsFile(candidate)) {
                candidates.push_back(candidate);
            }
        }
        start = end + 1;
    }
    return FirstOwnFile(candidates);
}

bool TWindowsShell::ShellExecute(const std::string& verb, const std::string& file,
                                 const std::string& parameters, const std::string& directory,
                                 TShellShowCommand show) {
    return Open(verb, file, parameters, directory, show, nullptr);
}

std::unique_ptr<TShellProcess> TWindowsShell::ShellExecuteEx(const std::string& verb,
                                                             const std::string& file,
                                                             const std::string& parameters,
                                                             const std::string& directory,
                                                             TShellShowCommand show) {
    HANDLE process = nullptr;
    if (!Open(verb, file, parameters, directory, show, &process)) {
        return nullptr;
    }
    return std::make_unique<TProcessHandle>(process);
}
