#include "core/Unit1.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/SettingsSaver.h"
#include "plot/XYPlot.h"
#include "settings/JvAppIniFileStorage.h"
#include "settings/JvFormStorage.h"
#include "settings/Variant.h"
#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"
#include "toolkit/StrUtils.h"
#include "toolkit/SysUtils.h"

namespace {

template <typename Block>
void Guarded(const char* message, Block&& block) {
    try {
        block();
    } catch (...) {
        WriteDiagLog(message);
    }
}

}  // namespace

TForm1::TForm1(TApplication& application, const TPlatformServices& services,
               const TWindowOptions& options)
    : TForm(&application),
      FApplication(application),
      FServices(services),
      FProbe(services.Lookup, services.Echo) {
    BeginLoading();
    BuildDesign(options);
    WireEvents();
    // The worker sleeps until a flag it waits for changes its way: a request, passes allowed,
    // or (while it holds a pass back for it) the collection; abfThread1 is cleared only once the
    // worker has ended.
    const auto wake = [this] {
        if (abfThread1 != nullptr) {
            abfThread1->Wake();
        }
    };
    const auto wakeWhenRaised = [wake](bool raised) {
        if (raised) {
            wake();
        }
    };
    FPingRequest.SetWake(wakeWhenRaised);
    FPassesAllowed.SetWake(wakeWhenRaised);
    FResultsReady.SetWake([this, wake](bool raised) {
        if (!raised && FAwaitingCollection) {
            wake();
        }
    });
    CenterOnDesktop();
    EndLoading();
    OnCreate = [this](TObject* s) { FormCreate(s); };
    DoCreate();
    FSettingsSaver = std::make_unique<TSettingsSaver>(
        Widget(), [this] { DispatchEvent([this] { SaveSettings(); }); });
}

TForm1::~TForm1() {
    // The settings are saved while the window is whole. The worker goes next, before anything
    // it works on or wakes for; a probe it is waiting on gives up at once.
    FSettingsSaver.reset();
    // The notifier outlives the window and must not call into it.
    FServices.Notifier.SetAvailabilityChanged({});
    DoDestroy();
    delete abfThread1;
    abfThread1 = nullptr;
    DestroyComponents();
}

void TForm1::WireEvents() {
    OnResize = [this](TObject* s) { FormResize(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    OnCloseQuery = [this](TObject* s, bool& canClose) { FormCloseQuery(s, canClose); };
    OnDeactivate = [this](TObject* s) { FormDeactivate(s); };
    OnHide = [this](TObject* s) { FormDeactivate(s); };
    OnCanResize = [this](TObject* s, int& w, int& h, bool& r) { FormCanResize(s, w, h, r); };
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    Edit2->OnExit = [this](TObject* s) { Edit2Exit(s); };
    PageControl1->OnEnter = [this](TObject* s) { PageControl1Enter(s); };
    PageControl1->OnExit = [this](TObject* s) { PageControl1Exit(s); };
    TabSheet3->OnEnter = [this](TObject* s) { PageControl1Enter(s); };
    TabSheet3->OnExit = [this](TObject* s) { PageControl1Exit(s); };
    PageControl2->OnChange = [this](TObject* s) { PageControl2Change(s); };
    EditAlarm->OnExit = [this](TObject* s) { EditAlarmExit(s); };
    EditLog->OnExit = [this](TObject* s) { EditLogExit(s); };
    EditTimeout->OnExit = [this](TObject* s) { EditTimeoutExit(s); };
    TrackMaxGraph->OnChange = [this](TObject* s) { TrackMaxGraphChange(s); };
    TrackBarPingSize->OnChange = [this](TObject* s) { TrackBarPingSizeChange(s); };
    TrackBarUpdate->OnChange = [this](TObject* s) { TrackBarUpdateChange(s); };
    CheckBoxAutoStart->OnExit = [this](TObject* s) { CheckBoxAutoStartExit(s); };
    CheckBoxOneInstance->OnClick = [this](TObject* s) { CheckBoxOneInstanceClick(s); };
    TabSheet7->OnEnter = [this](TObject* s) { TabSheet7Enter(s); };
    TabSheet7->OnShow = [this](TObject* s) { TabSheet7Enter(s); };
    ComboBox1->OnChange = [this](TObject* s) { ComboBox1Exit(s); };
    ComboBox1->OnExit = [this](TObject* s) { ComboBox1Exit(s); };
    ComboBox2->OnExit = [this](TObject* s) { Timer1Timer(s); };
    ComboBox3->OnExit = [this](TObject* s) { Timer1Timer(s); };
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
    TimerRepaint->OnTimer = [this](TObject* s) { TimerRepaintTimer(s); };
    TimerZoom->OnTimer = [this](TObject* s) { TimerZoomTimer(s); };
    TextTrayIcon1->OnClick = [this](TObject* s) { Show1Click(s); };
    Show1->OnClick = [this](TObject* s) { Show1Click(s); };
    Exit1->OnClick = [this](TObject* s) { Exit1Click(s); };
    home1->OnClick = [this](TObject* s) { home1Click(s); };
    Label10->OnClick = [this](TObject* s) { Label10Click(s); };
    ParamLabel1->OnParamClick = [this](TObject* s, const std::string& href) {
        ParamLabel1ParamClick(s, href);
    };
    XYPlot1->OnDblClick = [this](TObject* s) { XYPlot1DblClick(s); };
    XYPlot1->OnAxisZoom = [this](Tsp_Axis* a, double& lo, double& hi, bool& can) {
        XYPlot1AxisZoom(a, lo, hi, can);
    };
}

// Start-up runs in a fixed order. Each guarded block that fails writes its one line to the
// diagnostic log, and start-up goes on with the next.
void TForm1::FormCreate(TObject*) {
    StartDiagLog("Start");
    ReportEchoEngine();
    Guarded("Error in JvFormStorage1.RestoreFormPlacement (startup)",
            [this] { JvFormStorage1->RestoreFormPlacement(); });
    Guarded("Error in CheckBoxOneInstanceClick", [this] { CheckBoxOneInstanceClick(this); });
    FEndSession = 0;
    // No warm-up probes here: they would load nothing the first pass does not, and a resolver
    // that does not answer would hold the window up while they waited for it.
    ResetRings();
    Guarded("Part 1 initialize error", [this] {
        ComboBox1->SetText(Edithost->Text());
        Timer1Timer(this);
        Edit2Exit(this);
        EditTimeoutExit(this);
        TrackMaxGraphChange(this);
        PageControl1Enter(this);
        PageControl1Exit(this);
    });
    Guarded("Part 2 initialize error", [this] {
        TrackBarPingSizeChange(this);
        TrackBarUpdateChange(this);
        CheckBoxAutoStartExit(this);
        CheckBoxMetricsExit(this);
        FPingRequest = true;
        PageControl1->SetActivePage(TabSheet1);
        TextTrayIcon1->SetEnabled(true);
        FPingRequest = true;
    });
    Guarded("Error in FillGraphFromLog", [this] { FillGraphFromLog(); });
    Guarded("Part 3: VersionCheck initialize error", [this] { CheckForUpdate(Now()); });
    Guarded("First Timer1Timer error", [this] { Timer1Timer(this); });
    // The requests raised above wait until the time-out is set, since a pass with a time-out of
    // 0 would count every host as lost, and until start-up is through, so that together they
    // give one first pass. Where the block that sets the time-out failed before it, the field's
    // own rule gives it.
    if (FTimeout == 0) {
        FTimeout = TimeoutFromText(EditTimeout->Text());
    }
    FPassesAllowed = true;
}

void TForm1::ResetRings() {
    std::lock_guard<std::mutex> lock(FStoreLock);
    FRingIndex = 0;
    FWork.fill(-5);
    FRing1 = FRing2 = FRing3 = FWork;
}

bool TForm1::UpdateCheckDue(TDateTime last, TDateTime now, int periodDays) {
    return periodDays < std::fabs(now - last) || last < 1;
}

void TForm1::CheckForUpdate(TDateTime now) {
    if (!UpdateCheckDue(StoredDateTime(JvFormStorage1->ReadStoredValue("last")), now,
                        TrackBarUpdate->Position())) {
        return;
    }
    // The checker is a separate program; whether it is there or works is not our concern.
    // Beside the program only one that no other user may change is taken, else the shell
    // looks for it in PATH.
    const std::string name = "VersionCheck.exe";
    const std::string beside =
        FirstOwnFile({IncludeTrailingPathDelimiter(ProgramDir()) + name}, ReportNotOwn);
    FServices.Shell.ShellExecute("open", beside.empty() ? name : beside, "", "", SW_HIDE);
    // Written with "." whatever the locale, so that a change of locale never makes it
    // unreadable; StoredDateTime reads either separator.
    JvFormStorage1->WriteStoredValue("last", FloatToStr(now, '.'));
}

TDateTime TForm1::StoredDateTime(const TVariant& value) {
    if (value.Kind() != TVariant::TKind::vkText) {
        return value.AsFloat();
    }
    const std::string text = value.AsText();
    double result = 0;
    if (TryStrToFloat(text, result, '.') || TryStrToFloat(text, result, ',')) {
        return result;
    }
    throw EConvertError("'" + text + "' is not a valid floating point value");
}

int TForm1::WMQueryEndSession() {
    FEndSession = 1;
    return 1;
}

void TForm1::FormCloseQuery(TObject*, bool& CanClose) {
    CanClose = true;
    FApplication.ProcessMessages();
    // Nobody is there to answer while the session ends or the program is being ended.
    if (!FApplication.Terminated() && FEndSession != 1 &&
        MessageDlg("Close the Latmo?", TMsgDlgType::mtConfirmation, mbYes | mbNo) == mrNo) {
        CanClose = false;
    }
}

void TForm1::Show1Click(TObject*) {
    TextTrayIcon1->RestoreMainWindow();
}

void TForm1::Exit1Click(TObject* Sender) {
    Show1Click(Sender);
    Close();
}

void TForm1::JvAppInstances1CmdLineReceived(TObject* Sender, TStrings*) {
    Show1Click(Sender);
}

void TForm1::JvAppInstances1Rejected(TObject* Sender) {
    // The refused copy ends without destroying its window: its tray entry must go now.
    delete TextTrayIcon1;
    TextTrayIcon1 = nullptr;
    // Loading removed the log-on entry, and this copy never reaches the start-up step that
    // writes it again: put it back as the settings have it, or a second start would silently
    // take the running copy out of the log-on start.
    CheckBoxAutoStartExit(Sender);
}

void TForm1::home1Click(TObject*) {
    FServices.Shell.ShellExecute("open", kHomeAddress, "", "", SW_SHOWNORMAL);
}

void TForm1::Label10Click(TObject*) {
    FServices.Shell.ShellExecute("open", kAlternateAddress, "", "", SW_SHOWNORMAL);
}

void TForm1::ParamLabel1ParamClick(TObject*, const std::string& Href) {
    FServices.Shell.ShellExecute("open", Href, "", "", SW_SHOWNORMAL);
}

void TForm1::ReportEchoEngine() {
    WriteDiagLog(FServices.Echo.EngineChoice());
    const std::string problem = FServices.Echo.PermissionProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "latmo: %s\n", problem.c_str());
    }
}

void TForm1::FormClose(TObject*, TCloseAction&) {
    JvFormStorage1->StoreFormPlacement();
}

void TForm1::FormDeactivate(TObject*) {
    SaveSettings();
}

void TForm1::SaveSettings() {
    JvFormStorage1->StoreFormPlacement();
    // So that a second copy started now, or the next start after a crash, finds them.
    JvAppIniFileStorage1->Flush();
}

void TForm1::FormCanResize(TObject*, int&, int&, bool& Resize) {
    Resize = true;
}

int32_t TForm1::TimeoutFromText(const std::string& text) {
    int32_t timeout = kDefaultTimeoutMs;
    if (!TryStrToInt(text, timeout)) {
        timeout = kDefaultTimeoutMs;
    }
    return std::clamp(timeout, kMinTimeoutMs, kMaxTimeoutMs);
}

void TForm1::EditTimeoutExit(TObject*) {
    FTimeout = TimeoutFromText(EditTimeout->Text());
    EditTimeout->SetText(std::to_string(FTimeout));
}

void TForm1::EditAlarmExit(TObject*) {
    const std::string name = EditAlarm->Text();
    if (!name.empty() && !FileExists(ResolveAlarmFile(name))) {
        MessageDlg("File " + name + " not found", TMsgDlgType::mtInformation, mbOK);
    }
}

void TForm1::ComboBox1Exit(TObject*) {
    Edithost->SetText(ComboBox1->Text());
    ComboBox1->SetHint(ComboBox1->Text());
}

void TForm1::PageControl1Enter(TObject*) {
    host->Lines().Assign(ComboBox1->Items());
}

void TForm1::PageControl1Exit(TObject*) {
    ComboBox1->Items().Assign(host->Lines());
    ComboBox2->Items().Assign(host->Lines());
    ComboBox3->Items().Assign(host->Lines());
}

void TForm1::PageControl2Change(TObject* Sender) {
    if (PageControl2->ActivePage() == TabSheet7) {
        TabSheet7Enter(Sender);
    }
}

void TForm1::TabSheet7Enter(TObject*) {
    if (Height() >= 373) {
        return;
    }
    const int screenHeight = ScreenHeight();
    if (screenHeight < Top() + 380) {
        SetTop(screenHeight - 380);
    }
    SetHeight(374);
}

void TForm1::TrackMaxGraphChange(TObject*) {
    Label7->SetCaption("Max graph. values = " + std::to_string(TrackMaxGraph->Position()));
}

void TForm1::TrackBarPingSizeChange(TObject*) {
    FPingSize = TrackBarPingSize->Position();
    Label11->SetCaption("Ping size = " + std::to_string(TrackBarPingSize->Position()) + " byte");
}

void TForm1::TrackBarUpdateChange(TObject*) {
    Label12->SetCaption("Period check for new version " +
                        std::to_string(TrackBarUpdate->Position()) + " days");
}

void TForm1::CheckBoxAutoStartExit(TObject*) {
    abfAutoRun1->SetAutoRun(CheckBoxAutoStart->Checked());
    // The box shows what holds: an entry that could not be written is said once, and the box
    // is cleared, so that leaving it again says nothing more.
    if (abfAutoRun1->AutoRun() && !abfAutoRun1->ApplyError().empty()) {
        const std::string error = abfAutoRun1->ApplyError();
        abfAutoRun1->SetAutoRun(false);
        CheckBoxAutoStart->SetChecked(false);
        // Into the store now, or the restore at the first showing would tick the box again.
        JvFormStorage1->StoreFormPlacement();
        MessageDlg("Latmo cannot start at log-on: " + error + ".", TMsgDlgType::mtWarning, mbOK);
    }
}

void TForm1::CheckBoxOneInstanceClick(TObject*) {
    const bool on = CheckBoxOneInstance->Checked();
    JvAppInstances1->SetActive(on);
    JvAppInstances1->SetAutoActivate(on);
    if (on) {
        JvAppInstances1->CheckInstances();
    }
}
