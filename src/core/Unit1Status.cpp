// The status display: host 1's mean in the caption, the application title and the tray icon,
// whose colour warns before the alarm threshold; above it, the alarm file is opened.

#include "core/StatusDisplay.h"
#include "core/Unit1.h"
#include "toolkit/SysUtils.h"

std::string TForm1::ResolveAlarmFile(const std::string& name) {
    // Started from a launcher, the current directory is rarely the program's: a bare name
    // that is not here is looked for beside the program, where the default alarm lives.
    if (name.empty() || name.find('/') != std::string::npos || FileExists(name)) {
        return name;
    }
    const std::string beside = IncludeTrailingPathDelimiter(ProgramDir()) + name;
    return FileExists(beside) ? beside : name;
}

void TForm1::UpdateStatus() {
    const TStatusView view = ComputeStatus(FAverage, ComboBox1->Text(), EditAlarmSec->Text());
    SetCaption(view.Caption);
    FApplication.SetTitle(view.Title);
    TextTrayIcon1->SetText(view.TrayText);
    TextTrayIcon1->SetHint(view.TrayHint);
    if (view.ThresholdInvalid) {
        EditAlarmSec->SetText("9000");
        return;
    }
    for (const TColor color : view.TrayColors) {
        TextTrayIcon1->SetColor(color);
    }
    if (view.AlarmDue && !EditAlarm->Text().empty()) {
        FServices.Shell.ShellExecute("open", ResolveAlarmFile(EditAlarm->Text()),
                                     EditAlarmParam->Text(), "", SW_SHOWNORMAL);
    }
}
