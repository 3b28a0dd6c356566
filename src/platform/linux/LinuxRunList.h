#pragma once
// The log-on start lists on a Linux desktop: XDG autostart entries. The user's list is
// $XDG_CONFIG_HOME/autostart (by default ~/.config/autostart), the machine's the autostart
// folder of the first directory in $XDG_CONFIG_DIRS (by default /etc/xdg/autostart). An entry
// named N is the file "N.desktop": a desktop entry that starts exactly the program its data
// names, with no parameters, and that keeps the name, data and kind (REG_SZ, or REG_EXPAND_SZ
// for data holding "%") readable as X-Latmo-Value-Name, -Data and -Type. Entries are written
// to a temporary file in the same folder, flushed and renamed over the old one. A program whose
// path no desktop could start from an entry (GLib and systemd's autostart generator both take
// it apart differently or refuse it) gets no entry, and LastProblem says why.

#include <string>

#include "platform/RunList.h"

class TLinuxRunList : public TRunList {
public:
    std::string KeyPath(TRunListScope scope) const override;
    bool OpenKey(TRunListScope scope, bool canCreate) override;
    bool ValueExists(TRunListScope scope, const std::string& name) const override;
    bool WriteValue(TRunListScope scope, const std::string& name, const std::string& data,
                    bool expandable) override;
    bool DeleteValue(TRunListScope scope, const std::string& name) override;
    std::string LastProblem() const override { return FProblem; }

    // Why desktops cannot start this program from an autostart entry, or empty: a "%" (checked
    // as "%%" before it is expanded), a backslash (read as an escape once too often by
    // systemd), bytes that are not UTF-8 (the entry would not be read at all).
    static std::string CannotStart(const std::string& program);

    // The whole desktop entry for a value.
    static std::string DesktopEntry(const std::string& name, const std::string& data,
                                    bool expandable);
    // A desktop entry's string value: backslash, newline, tab and carriage return escaped.
    static std::string EscapeValue(const std::string& text);
    // The Exec value that starts exactly this program: quoted where the desktop-entry rules
    // ask for it, "%" doubled, then escaped as a string value.
    static std::string ExecValue(const std::string& program);
    // The file an entry is kept in; empty for a name that cannot be a file name.
    std::string EntryPath(TRunListScope scope, const std::string& name) const;

private:
    std::string FProblem;
};
