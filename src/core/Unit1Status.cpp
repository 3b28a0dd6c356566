// The status display: host 1's mean in the caption, the application title and the tray icon,
// whose colour warns before the alarm threshold; above it, the alarm file is opened.

#include <cstdlib>
#include <sstream>
#include <vector>

#include "core/StatusDisplay.h"
#include "core/Unit1.h"
#include "toolkit/DiagLog.h"
#include "toolkit/SysUtils.h"

std::string TForm1::ResolveAlarmFile(const std::string& name) {
    // Started from a launcher, the current directory is rarely the program's: a bare name
    // that is not here is looked for beside the program (a build tree), then in the data
    // directories where an installed copy keeps the default alarm: <prefix>/share/latmo
    // beside <prefix>/bin, the user's own, and the system's ($XDG_DATA_HOME, $XDG_DATA_DIRS).
    // Only a file that no other user may change is taken: it is started when it is a program.
    if (name.empty() || HasPathDelimiter(name)) {
        return name;
    }
    const std::string programDir = IncludeTrailingPathDelimiter(ProgramDir());
    std::vector<std::string> places{"./" + name, programDir + name,
                                    programDir + "../share/latmo/" + name};
    const auto addDataDir = [&](const std::string& dir) {
        if (IsAbsolutePath(dir)) {
            places.push_back(IncludeTrailingPathDelimiter(dir) + "latmo/" + name);
        }
    };
    addDataDir(UserHomeDir("DATA"));
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::istringstream list(
        dataDirs != nullptr && dataDirs[0] != '\0' ? dataDirs : "/usr/local/share:/usr/share");
    for (std::string dir; std::getline(list, dir, ':');) {
        addDataDir(dir);
    }
    // None: the shell may still find a program of that name in PATH.
    const std::string found = FirstOwnFile(places, ReportNotOwn);
    return found.empty() ? name : found;
}

const char* const TForm1::kCannotSendHint =
    "Latmo cannot send pings: no permission (see the Log page)";

void TForm1::UpdateStatus() {
    // While no echo can leave the machine, the means are no measurements: the texts say so.
    const std::optional<double> mean = FCannotSend ? std::nullopt : std::optional(FAverage);
    const TStatusView view = ComputeStatus(mean, ComboBox1->Text(), EditAlarmSec->Text());
    SetCaption(view.Caption);
    FApplication.SetTitle(view.Title);
    TextTrayIcon1->SetText(view.TrayText);
    TextTrayIcon1->SetHint(FCannotSend ? std::string(kCannotSendHint)
                                       : TrayTooltip(view.TrayHint, FHost1Lost, FHostStatistics[1],
                                                     FHostStatistics[2], Now()));
    if (view.ThresholdInvalid) {
        EditAlarmSec->SetText("9000");
        return;
    }
    for (const TColor color : view.TrayColors) {
        TextTrayIcon1->SetColor(color);
    }
    if (view.AlarmDue && !EditAlarm->Text().empty()) {
        StartAlarm();
    }
}

void TForm1::StartAlarm() {
    // One alarm at a time: a sound longer than the period, or an opener that never ends, would
    // otherwise gain another process at every collection.
    if (FAlarm != nullptr && FAlarm->Running()) {
        if (!FAlarmHeldBack) {
            FAlarmHeldBack = true;
            WriteDiagLog(
                "The alarm started before is still running: no other is started "
                "until it has ended");
        }
        return;
    }
    FAlarmHeldBack = false;
    FAlarm = FServices.Shell.ShellExecuteEx("open", ResolveAlarmFile(EditAlarm->Text()),
                                            EditAlarmParam->Text(), "", SW_SHOWNORMAL);
}
