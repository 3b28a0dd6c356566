#pragma once
// The main window: its controls, the monitoring state, and the handlers that drive both.

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/ChangeNotices.h"
#include "core/HostStatistics.h"
#include "core/LogFiles.h"
#include "core/ProbeEngine.h"
#include "core/SampleStore.h"
#include "core/StatisticsText.h"
#include "core/ThreadComponent.h"
#include "desktop/JvAppInstances.h"
#include "desktop/TextTrayIcon.h"
#include "desktop/abfAutoRun.h"
#include "export/LatmoMetrics.h"
#include "export/MetricsServer.h"
#include "platform/Services.h"
#include "toolkit/Application.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Form.h"
#include "toolkit/Menus.h"
#include "toolkit/ParamLabel.h"
#include "toolkit/StdCtrls.h"
#include "toolkit/SysUtils.h"
#include "toolkit/Timer.h"

class TJvAppIniFileStorage;
class TJvFormStorage;
class TVariant;
class Tsp_Axis;
class Tsp_XYPlot;
class Tsp_XYLine;

// How one run is set up beyond its services.
struct TWindowOptions {
    // Where "Latmo.ini" is read and written; empty for its usual place beside the program (or
    // the user's configuration directory when the program's directory cannot be written).
    std::string SettingsDirectory;
};

class TSettingsSaver;

class TForm1 : public TForm, private TSampleStore {
public:
    // Throws when the settings file exists but cannot be read; nothing is written then.
    TForm1(TApplication& application, const TPlatformServices& services,
           const TWindowOptions& options = TWindowOptions());
    ~TForm1() override;

    std::string ClassName() const override { return "TForm1"; }

    // The window's components, named as in its stored design.
    TButton* Button1 = nullptr;
    TLabel* Label2 = nullptr;
    TEdit* Edit2 = nullptr;
    TLabel* Label3 = nullptr;
    TEdit* Edithost = nullptr;
    TPageControl* PageControl1 = nullptr;
    TTabSheet* TabSheet1 = nullptr;
    Tsp_XYPlot* XYPlot1 = nullptr;
    Tsp_XYLine* Line1 = nullptr;
    Tsp_XYLine* Line2 = nullptr;
    Tsp_XYLine* Line3 = nullptr;
    Tsp_XYLine* LineLostPing = nullptr;
    TTabSheet* TabSheet2 = nullptr;
    TMemo* Memo1 = nullptr;
    TTabSheet* TabSheet4 = nullptr;
    TPageControl* PageControl2 = nullptr;
    TTabSheet* TabSheet5 = nullptr;
    TMemo* host = nullptr;
    TTabSheet* TabSheet6 = nullptr;
    TLabel* Label1 = nullptr;
    TEdit* EditAlarmSec = nullptr;
    TLabel* Label5 = nullptr;
    TEdit* EditAlarm = nullptr;
    TLabel* Label8 = nullptr;
    TEdit* EditAlarmParam = nullptr;
    TLabel* Label7 = nullptr;
    TTrackBar* TrackMaxGraph = nullptr;
    TLabel* Label6 = nullptr;
    TEdit* EditLog = nullptr;
    TTabSheet* TabSheet7 = nullptr;
    TLabel* Label9 = nullptr;
    TEdit* EditTimeout = nullptr;
    TLabel* Label11 = nullptr;
    TTrackBar* TrackBarPingSize = nullptr;
    TLabel* Label12 = nullptr;
    TTrackBar* TrackBarUpdate = nullptr;
    TCheckBox* CheckBoxAutoStart = nullptr;
    TCheckBox* CheckBoxOneInstance = nullptr;
    TTabSheet* TabSheet8 = nullptr;
    TCheckBox* CheckBoxMetrics = nullptr;
    TLabel* Label13 = nullptr;
    TEdit* EditMetrics = nullptr;
    TLabel* LabelMetrics = nullptr;
    TLabel* LabelMetricsReach = nullptr;
    // The Statistics page, and the alarm page's box for desktop notices.
    TTabSheet* TabSheet9 = nullptr;
    TRadioButton* RadioSinceSet = nullptr;
    TRadioButton* RadioLastHour = nullptr;
    TButton* ButtonReset = nullptr;
    TLabel* LabelStatHosts[3] = {};
    TLabel* LabelStatRows[kStatisticsRows] = {};
    TLabel* LabelStatCells[3][kStatisticsRows] = {};
    TCheckBox* CheckBoxNotify = nullptr;
    TLabel* LabelNotify = nullptr;
    TTabSheet* TabSheet3 = nullptr;
    TLabel* Label4 = nullptr;
    TLabel* home1 = nullptr;
    TLabel* Label10 = nullptr;
    TParamLabel* ParamLabel1 = nullptr;
    TComboBox* ComboBox1 = nullptr;
    TComboBox* ComboBox2 = nullptr;
    TComboBox* ComboBox3 = nullptr;
    TTimer* Timer1 = nullptr;
    TTimer* TimerRepaint = nullptr;
    TTimer* TimerZoom = nullptr;
    TabfThreadComponent* abfThread1 = nullptr;
    TTextTrayIcon* TextTrayIcon1 = nullptr;
    TPopupMenu* PopupMenuExit = nullptr;
    TJvAppIniFileStorage* JvAppIniFileStorage1 = nullptr;
    TJvFormStorage* JvFormStorage1 = nullptr;
    TabfAutoRun* abfAutoRun1 = nullptr;
    TJvAppInstances* JvAppInstances1 = nullptr;
    TMenuItem* Show1 = nullptr;
    TMenuItem* Exit1 = nullptr;

    // Handlers.
    void FormCreate(TObject* Sender);
    void FormResize(TObject* Sender);
    void FormCanResize(TObject* Sender, int& NewWidth, int& NewHeight, bool& Resize);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void FormCloseQuery(TObject* Sender, bool& CanClose);
    void FormDeactivate(TObject* Sender);
    void Button1Click(TObject* Sender);
    void Edit2Exit(TObject* Sender);
    void Timer1Timer(TObject* Sender);
    void TimerRepaintTimer(TObject* Sender);
    void abfThread1Execute(TObject* Sender);
    void EditTimeoutExit(TObject* Sender);
    void EditAlarmExit(TObject* Sender);
    void EditLogExit(TObject* Sender);
    void ComboBox1Exit(TObject* Sender);
    void PageControl1Enter(TObject* Sender);
    void PageControl1Exit(TObject* Sender);
    void PageControl2Change(TObject* Sender);
    void TabSheet7Enter(TObject* Sender);
    void TrackMaxGraphChange(TObject* Sender);
    void TrackBarPingSizeChange(TObject* Sender);
    void TrackBarUpdateChange(TObject* Sender);
    void CheckBoxAutoStartExit(TObject* Sender);
    void CheckBoxOneInstanceClick(TObject* Sender);
    void CheckBoxMetricsExit(TObject* Sender);
    void EditMetricsExit(TObject* Sender);
    void XYPlot1AxisZoom(Tsp_Axis* Sender, double& min, double& max, bool& CanZoom);
    void XYPlot1DblClick(TObject* Sender);
    void TimerZoomTimer(TObject* Sender);
    void Show1Click(TObject* Sender);
    void Exit1Click(TObject* Sender);
    void JvAppInstances1CmdLineReceived(TObject* Sender, TStrings* CmdLine);
    void JvAppInstances1Rejected(TObject* Sender);
    void home1Click(TObject* Sender);
    void Label10Click(TObject* Sender);
    void ParamLabel1ParamClick(TObject* Sender, const std::string& Href);
    void ButtonResetClick(TObject* Sender);
    void RadioSpanClick(TObject* Sender);
    void TabSheet9Show(TObject* Sender);

    // What the window holds of the settings goes to the store, and a changed store to the file:
    // at every deactivation, hiding and minimising, and soon after the user's last edit.
    void SaveSettings();
    const TSettingsSaver& SettingsSaver() const { return *FSettingsSaver; }

    // The system announces the end of the session: the window closes without asking. Answers
    // that the session may end (the message's result, 1).
    int WMQueryEndSession();

    // One probe of one host into the working ring (the worker's step).
    void PingHost(const std::string& host);
    // One pass over the three hosts; the caller holds the store's lock.
    void PingAllHosts();

    // The echo time-out a text in EditTimeout stands for: not a whole number gives 9000 ms;
    // the value is kept within 50 ms and 60000 ms. A minute is the longest wait that still
    // makes sense for an echo, and a pass waits up to three of them.
    static int32_t TimeoutFromText(const std::string& text);
    static constexpr int32_t kDefaultTimeoutMs = 9000;
    static constexpr int32_t kMinTimeoutMs = 50;
    static constexpr int32_t kMaxTimeoutMs = 60000;

    // The update check of start-up: launches "VersionCheck.exe" when it is due and renews the
    // stored value "last". Throws when "last" is not a number.
    void CheckForUpdate(TDateTime now);
    // Due when more than periodDays lie between the last launch and now, either way (a clock
    // set back counts too), or when there was none (last below 1).
    static bool UpdateCheckDue(TDateTime last, TDateTime now, int periodDays);
    // A stored date-time: a number, or its text with "." or "," as decimal separator.
    static TDateTime StoredDateTime(const TVariant& value);

    // The alarm file as the shell gets it: a bare name is taken from here ("./name"), beside the
    // program or a data directory (see the .cpp), where no other user may change it; else it
    // stays bare, for the shell to find as a program in PATH.
    static std::string ResolveAlarmFile(const std::string& name);

    // What the window shows and keeps, for those who check it from outside.
    double Average() const { return FAverage; }
    const THostStatistics& HostStatistics(int slot) const { return FHostStatistics[slot - 1]; }
    const TSampleStore& Store() const { return *this; }
    bool PassPending() const { return FPingRequest.load(); }
    int PassesDone() const { return FPassesDone.load(); }
    int PassesBegun() const { return FPassesBegun.load(); }
    // Where the measurements are served for Prometheus ("127.0.0.1:5286"); empty while not.
    const std::string& MetricsServedAt() const { return FMetricsServedAt; }

    // The built-in host names: the memo's refill, ComboBox1's items, the default hosts.
    static const char* const kBuiltInHosts[9];
    // The tray's tooltip while no echo can be sent.
    static const char* const kCannotSendHint;
    // What the About page's two links open.
    static const char* const kHomeAddress;
    static const char* const kAlternateAddress;
    // The listen address of the metrics endpoint until the user types another.
    static const char* const kDefaultMetricsAddress;

private:
    void BuildDesign(const TWindowOptions& options);
    // Every slot of the working ring is "no measurement yet" (-5), and so are the three rings.
    void ResetRings();
    void BuildStorage(const TWindowOptions& options);
    void BuildGraphPage();
    void BuildPreferencesPages();
    void BuildAboutPage();
    void WireEvents();

    // The collection proper; nothing happens while a pass holds the store.
    void CollectResults();
    // A pass has ended or something waits for word: TimerRepaint runs again if it rests.
    void CollectionDue();
    // Takes over changed host texts; false when a pass holds the store (try again later).
    bool ApplyHostChanges();
    void AddHostAverage(Tsp_XYLine* line, const std::string& hostText);
    // Adds a point at now, keeping at most the chosen number of points on the line.
    void AddLinePoint(Tsp_XYLine* line, double y);
    // Removes every point of a host's line and restarts its count.
    void ClearLine(Tsp_XYLine* line);

    void WriteUpdateLog(const std::string& host1, double mean1, const std::string& host2,
                        double mean2, const std::string& host3, double mean3);
    // Shows host 1's mean outside the plot and sounds the alarm above the threshold.
    void UpdateStatus();
    // Opens the alarm file, unless the alarm opened before is still running.
    void StartAlarm();
    // Switches automatic ranges of the left and bottom axes on or off together.
    void SetAutoRanges(bool automatic);
    // Says in the diagnostic log which way echoes go and why; on standard error, too, when
    // none can go at all.
    void ReportEchoEngine();
    // While no echo can leave the machine, the window says why (once in a box, on the Log
    // page, in the tray's tooltip) and sounds no alarm: the means are no measurements then.
    void ShowEchoProblem();

    void BuildExportPage();
    // Serves the metrics where the Export page says, when that changed since the last time.
    void ApplyMetrics();
    // Shows how the latest change of the endpoint turned out, once it has.
    void MetricsServed();
    // Said once for each address that fails: in a box and in the diagnostic log.
    void ReportMetricsProblem(const std::string& text);
    // Counts the latest probe of a slot's host (the worker's step); lostBefore is the pass's
    // lost-echo count before it.
    void RecordEcho(int slot, const std::string& hostText, int32_t lostBefore);

    void BuildStatisticsPage();
    void BuildNotifyBox();
    // The probes of the passes since the last collection go into the per-host statistics and
    // the notices; the caller holds the store.
    void CollectStatistics();
    // The figures of the span chosen, where the page is seen; cells that did not change are
    // left alone, so that nothing flickers.
    void ShowStatistics();
    // A host set anew starts its statistics and its notices over.
    void StatisticsHostChanged(int slot, const std::string& hostText);
    // Tells the desktop what changed in this collection, where the user asked for it.
    void NotifyChanges();
    // The box can be ticked only while the desktop can show notices; otherwise it says why.
    void NotifierAvailabilityChanged();
    // The graph's lines start with the measurement log's latest points for the hosts set now.
    void FillGraphFromLog();

    TApplication& FApplication;
    const TPlatformServices FServices;
    TProbeEngine FProbe;
    double FAverage = 0;
    int32_t FEndSession = 0;
    // Holds the worker back until start-up has set the time-out: a pass with a time-out of 0
    // would report every host as lost.
    TWakingFlag FPassesAllowed;
    std::atomic<int> FPassesDone{0};
    // Counted before the request is taken, so that a request seen taken has its pass counted.
    std::atomic<int> FPassesBegun{0};
    // A host change met a pass in progress and waits to be applied.
    bool FHostChangePending = false;
    // The worker holds a pass back until the collection has taken the one before.
    std::atomic<bool> FAwaitingCollection{false};
    // TimerRepaint rests, as nothing is left to collect or to hear.
    bool FCollectionResting = false;
    // The endpoint has been asked to change and has not yet said how that went.
    bool FMetricsAwaited = false;
    TMeasurementLog FUpdateLog;
    // Nothing could be sent so far in this run, for want of permission.
    bool FCannotSend = false;
    bool FCannotSendShown = false;
    // The alarm started last, followed until it ends; and whether the diagnostic log has said
    // that it holds the next one back.
    std::unique_ptr<TShellProcess> FAlarm;
    bool FAlarmHeldBack = false;
    std::minstd_rand FRandom{std::random_device{}()};
    std::unique_ptr<TSettingsSaver> FSettingsSaver;
    // What the passes and the collection publish, and the endpoint that serves it on threads
    // of its own; the collection's timer picks up its word.
    TLatmoMetrics FMetrics{LATMO_VERSION_TEXT, FServices.Echo.Engine(), kRingSize};
    TMetricsServer FMetricsServer{FMetrics.Collectable()};
    // The listen address last asked for ("?" and the text when the text is none); empty: off.
    std::string FMetricsWanted;
    std::string FMetricsServedAt;

    // The probes of the passes since the last collection, as RecordEcho sees them; guarded by
    // the store's lock.
    std::vector<TProbeRecord> FPassProbes;
    THostStatistics FHostStatistics[3];
    TChangeNotices FChangeNotices;
    // How host 1's probes of the latest collection ended when none was answered; empty when one
    // was, or when there was none.
    std::string FHost1Lost;
};
