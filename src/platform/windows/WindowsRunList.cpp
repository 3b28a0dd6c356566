#include "platform/windows/WindowsRunList.h"

#include <windows.h>

#include "platform/windows/Wide.h"

namespace {

HKEY RootOf(TRunListScope scope) {
    return scope == TRunListScope::rsUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// The Run key, open for reading and changing; nullptr with the error when it cannot be.
HKEY OpenRunKey(TRunListScope scope, bool create, LONG& error) {
    HKEY key = nullptr;
    const std::wstring path = Widen(TWindowsRunList::kRunKey);
    error = create ? RegCreateKeyExW(RootOf(scope), path.c_str(), 0, nullptr, 0,
                                     KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr)
                   : RegOpenKeyExW(RootOf(scope), path.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                   &key);
    return error == ERROR_SUCCESS ? key : nullptr;
}

}  // namespace

std::string TWindowsRunList::KeyPath(TRunListScope scope) const {
    return std::string(scope == TRunListScope::rsUser ? "HKEY_CURRENT_USER\\"
                                                      : "HKEY_LOCAL_MACHINE\\") +
           kRunKey;
}

std::string TWindowsRunList::QuotedCommand(const std::string& program) {
    if (!program.empty() && program.front() == '"') {
        return program;
    }
    return "\"" + program + "\"";
}

bool TWindowsRunList::OpenKey(TRunListScope scope, bool canCreate) {
    LONG error = ERROR_SUCCESS;
    HKEY key = OpenRunKey(scope, canCreate, error);
    if (key == nullptr) {
        FProblem = "the key " + KeyPath(scope) + " cannot be opened (" +
                   Win32ErrorText(static_cast<DWORD>(error)) + ")";
        return false;
    }
    RegCloseKey(key);
    FProblem.clear();
    return true;
}

bool TWindowsRunList::ValueExists(TRunListScope scope, const std::string& name) const {
    HKEY key = nullptr;
    if (RegOpenKeyExW(RootOf(scope), Widen(kRunKey).c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    const bool exists = RegQueryValueExW(key, Widen(name).c_str(), nullptr, nullptr, nullptr,
                                         nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return exists;
}

bool TWindowsRunList::WriteValue(TRunListScope scope, const std::string& name,
                                 const std::string& data, bool expandable) {
    LONG error = ERROR_SUCCESS;
    HKEY key = OpenRunKey(scope, true, error);
    if (key != nullptr) {
        const std::wstring value = Widen(QuotedCommand(data));
        // One call writes the value whole or not at all; the size counts the closing zero.
        error = RegSetValueExW(key, Widen(name).c_str(), 0, expandable ? REG_EXPAND_SZ : REG_SZ,
                               reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    if (error != ERROR_SUCCESS) {
        FProblem = "the value " + name + " in " + KeyPath(scope) + " cannot be written (" +
                   Win32ErrorText(static_cast<DWORD>(error)) + ")";
        return false;
    }
    FProblem.clear();
    return true;
}

bool TWindowsRunList::DeleteValue(TRunListScope scope, const std::string& name) {
    LONG error = ERROR_SUCCESS;
    HKEY key = OpenRunKey(scope, false, error);
    if (key == nullptr) {
        return false;
    }
    error = RegDeleteValueW(key, Widen(name).c_str());
    RegCloseKey(key);
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND;
}
