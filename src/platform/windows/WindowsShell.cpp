// The interface first: Windows' headers define its show commands as macros of the same values.
#include "platform/windows/WindowsShell.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/Files.h"
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
    // Only PATH's folders: SearchPathW without a path would look in the current folder too.
    const DWORD pathSize = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (pathSize == 0) {
        return std::string();
    }
    std::wstring path(pathSize, L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", path.data(), pathSize));
    std::wstring folders;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(L';', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        const std::wstring folder = path.substr(start, end - start);
        // A relative entry depends on where Latmo was started: never run what lies there.
        const bool absolute = folder.size() > 2 &&
                              ((folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/')) ||
                               (folder[0] == L'\\' && folder[1] == L'\\'));
        if (absolute) {
            folders += (folders.empty() ? L"" : L";") + folder;
        }
        start = end + 1;
    }
    if (folders.empty()) {
        return std::string();
    }
    wchar_t found[MAX_PATH * 4];
    const DWORD n = SearchPathW(folders.c_str(), Widen(name).c_str(), nullptr,
                                static_cast<DWORD>(std::size(found)), found, nullptr);
    return n > 0 && n < std::size(found) ? Narrow(found, n) : std::string();
}

bool TWindowsShell::ShellExecute(const std::string& verb, const std::string& file,
                                 const std::string& parameters, const std::string& directory,
                                 TShellShowCommand show) {
    if (file.empty()) {
        return false;
    }
    const int showCommand = show == SW_HIDE ? 0 : 1;
    if (verb == "open" && IsProgram(file)) {
        const std::string program = FindProgram(file);
        if (program.empty()) {
            return false;
        }
        std::wstring commandLine = Widen(CommandLine(program, parameters));
        const std::wstring applicationName = Widen(program);
        const std::wstring folder = Widen(directory);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showCommand);
        PROCESS_INFORMATION process{};
        // Naming the program file keeps CreateProcessW from guessing it out of the command
        // line, where a path with spaces could be read as a shorter one.
        if (CreateProcessW(applicationName.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                           nullptr, folder.empty() ? nullptr : folder.c_str(), &startup,
                           &process) == 0) {
            return false;
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return true;
    }
    const std::wstring wideVerb = Widen(verb);
    const std::wstring wideFile = Widen(file);
    const std::wstring wideParameters = Widen(parameters);
    const std::wstring folder = Widen(directory);
    const HINSTANCE result =
        ShellExecuteW(nullptr, wideVerb.c_str(), wideFile.c_str(),
                      wideParameters.empty() ? nullptr : wideParameters.c_str(),
                      folder.empty() ? nullptr : folder.c_str(), showCommand);
    return reinterpret_cast<INT_PTR>(result) > 32;
}
