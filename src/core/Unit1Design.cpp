// The window's stored design: every component with its properties, in the order the design
// assigns them.

#include "core/Unit1.h"
#include "settings/JvAppIniFileStorage.h"
#include "settings/JvFormStorage.h"
#include "toolkit/Dialogs.h"

namespace {

constexpr int kVerdana8 = -11;   // 8 points at the design's 96 pixels per inch
constexpr int kVerdana10 = -13;  // 10 points
// Every text the window stores fits one line of the settings file, so a field says it is full
// rather than leave a value the file cannot hold.
constexpr int kMaxStoredText = static_cast<int>(TMemIniFile::kMaxValueLength);

template <typename T>
T* Make(TForm1* form, const char* name, TControl* parent, int left, int top, int width,
        int height) {
    auto* c = new T(form);
    c->SetName(name);
    c->SetParent(parent);
    c->SetBounds(left, top, width, height);
    return c;
}

void UseVerdana(TControl* c, int height = kVerdana8) {
    c->Font().SetName("Verdana");
    c->Font().SetHeight(height);
}

TLabel* MakeLabel(TForm1* form, const char* name, TControl* parent, int left, int top,
                  const char* caption) {
    auto* label = Make<TLabel>(form, name, parent, left, top, 10, 13);
    UseVerdana(label);
    label->SetCaption(caption);
    return label;
}

TEdit* MakeEdit(TForm1* form, const char* name, TControl* parent, int left, int top, int width,
                const char* text) {
    auto* edit = Make<TEdit>(form, name, parent, left, top, width, 21);
    UseVerdana(edit);
    edit->SetMaxLength(kMaxStoredText);
    edit->SetText(text);
    return edit;
}

TTrackBar* MakeTrackBar(TForm1* form, const char* name, TControl* parent, int top, int height,
                        int min, int max, int frequency, int position) {
    auto* bar = Make<TTrackBar>(form, name, parent, 8, top, 345, height);
    bar->SetMax(max);
    bar->SetMin(min);
    bar->SetFrequency(frequency);
    bar->SetPosition(position);
    return bar;
}

// The default hosts, among ComboBox1's eight items (the ninth name only refills the memo).
constexpr int kDefaultHost1 = 0;
constexpr int kDefaultHost2 = 5;
constexpr int kDefaultHost3 = 7;

const char* const kAboutText =
    "<p align=\"center\"><font face=\"Verdana\" size=\"4\"><b>Latmo</b></font><br>"
    "<font face=\"Verdana\">watches the latency to three hosts</font></p>"
    "<p align=\"center\"><font face=\"Verdana\">Every few seconds one ICMP echo goes to each "
    "host; the graph shows the mean of the last five round-trip times without the highest "
    "and the lowest one.</font></p>"
    "<p align=\"center\"><font face=\"Verdana\">Shift-drag zooms the graph, Ctrl-drag moves it, "
    "a double click fits it again.</font></p>"
    "<p align=\"center\"><font face=\"Verdana\"><a href=\"https://www.debian.org/\">"
    "Debian</a> &middot; <a href=\"https://www.qt.io/\">Qt</a></font></p>"
    "<p align=\"center\"><font face=\"Verdana\" color=\"#ff0000\">Red line on graphics - value "
    "of lost ping.</font></p>";

}  // namespace

const char* const TForm1::kHomeAddress = "https://en.wikipedia.org/wiki/Ping_(networking_utility)";
const char* const TForm1::kAlternateAddress = "https://en.wikipedia.org/wiki/Round-trip_delay";

const char* const TForm1::kBuiltInHosts[9] = {
    "google.com", "wikipedia.org", "cloudflare.com",  "debian.org", "facebook.com",
    "yahoo.com",  "bing.com",      "one.one.one.one", "dns.google",
};

void TForm1::BuildDesign(const TWindowOptions& options) {
    SetName("Form1");
    SetCaption("Latmo");
    SetClientSize(393, 346);
    Font().SetName("MS Sans Serif");
    Font().SetHeight(-11);
    SetShowHint(true);

    Button1 = Make<TButton>(this, "Button1", this, 14, 3, 219, 21);
    UseVerdana(Button1);
    Button1->SetCaption("Ping hosts");
    Label2 = MakeLabel(this, "Label2", this, 254, 7, "every");
    Edit2 = MakeEdit(this, "Edit2", this, 310, 3, 33, "45");
    Label3 = MakeLabel(this, "Label3", this, 352, 7, "sec.");
    Edithost = MakeEdit(this, "Edithost", this, 0, 0, 121, kBuiltInHosts[kDefaultHost1]);
    Edithost->SetVisible(false);

    PageControl1 = Make<TPageControl>(this, "PageControl1", this, 8, 32, 377, 276);
    UseVerdana(PageControl1);
    PageControl1->SetAnchors(akLeft | akTop | akRight | akBottom);

    TabSheet1 = Make<TTabSheet>(this, "TabSheet1", PageControl1, 0, 0, 369, 247);
    TabSheet1->SetCaption("Graph");
    BuildGraphPage();

    TabSheet2 = Make<TTabSheet>(this, "TabSheet2", PageControl1, 0, 0, 369, 247);
    TabSheet2->SetCaption("Log");
    Memo1 = Make<TMemo>(this, "Memo1", TabSheet2, 0, 0, 369, 247);
    Memo1->SetAlign(TAlign::alClient);
    Memo1->SetAlignment(TAlignment::taCenter);
    UseVerdana(Memo1, kVerdana10);
    Memo1->SetScrollBars(TScrollStyle::ssVertical);
    BuildStatisticsPage();

    TabSheet4 = Make<TTabSheet>(this, "TabSheet4", PageControl1, 0, 0, 369, 247);
    TabSheet4->SetCaption("Preferences");
    BuildPreferencesPages();

    TabSheet3 = Make<TTabSheet>(this, "TabSheet3", PageControl1, 0, 0, 369, 247);
    TabSheet3->SetCaption("About");
    BuildAboutPage();

    ComboBox1 = Make<TComboBox>(this, "ComboBox1", this, 8, 315, 123, 21);
    ComboBox1->SetAnchors(akLeft | akBottom);
    ComboBox1->SetMaxLength(kMaxStoredText);
    UseVerdana(ComboBox1);
    ComboBox1->Font().SetColor(clNavy);
    for (int i = 0; i < 8; ++i) {
        ComboBox1->Items().Add(kBuiltInHosts[i]);
    }
    ComboBox1->SetText(kBuiltInHosts[kDefaultHost1]);
    ComboBox2 = Make<TComboBox>(this, "ComboBox2", this, 132, 315, 123, 21);
    ComboBox2->SetAnchors(akLeft | akBottom);
    ComboBox2->SetMaxLength(kMaxStoredText);
    UseVerdana(ComboBox2);
    ComboBox2->Font().SetColor(clMaroon);
    ComboBox2->SetText(kBuiltInHosts[kDefaultHost2]);
    ComboBox3 = Make<TComboBox>(this, "ComboBox3", this, 260, 315, 123, 21);
    ComboBox3->SetAnchors(akLeft | akBottom);
    ComboBox3->SetMaxLength(kMaxStoredText);
    UseVerdana(ComboBox3);
    ComboBox3->Font().SetColor(clGreen);
    ComboBox3->SetText(kBuiltInHosts[kDefaultHost3]);

    Timer1 = new TTimer(this);
    Timer1->SetName("Timer1");
    Timer1->SetInterval(2000);
    TimerRepaint = new TTimer(this);
    TimerRepaint->SetName("TimerRepaint");
    TimerRepaint->SetInterval(500);
    TimerZoom = new TTimer(this);
    TimerZoom->SetName("TimerZoom");
    TimerZoom->SetInterval(120000);

    abfThread1 = new TabfThreadComponent(this);
    abfThread1->SetName("abfThread1");
    abfThread1->SetPriority(TThreadPriority::tpLowest);
    abfThread1->SetSuspended(false);
    abfThread1->SetSynchronized(true);
    abfThread1->OnExecute = [this](TObject* s) { abfThread1Execute(s); };

    PopupMenuExit = new TPopupMenu(this);
    PopupMenuExit->SetName("PopupMenuExit");
    Show1 = new TMenuItem(this);
    Show1->SetName("Show1");
    Show1->SetCaption("Show");
    PopupMenuExit->Add(Show1);
    Exit1 = new TMenuItem(this);
    Exit1->SetName("Exit1");
    Exit1->SetCaption("Exit");
    PopupMenuExit->Add(Exit1);

    TextTrayIcon1 = new TTextTrayIcon(this, FServices.Tray);
    TextTrayIcon1->SetName("TextTrayIcon1");
    TextTrayIcon1->SetEnabled(false);
    TextTrayIcon1->SetIconVisible(true);
    TextTrayIcon1->SetText("0");
    TextTrayIcon1->Font().SetName("Arial");
    TextTrayIcon1->Font().SetHeight(-9);
    TextTrayIcon1->Font().SetColor(clLime);
    TextTrayIcon1->SetColor(clBlack);
    TextTrayIcon1->SetBorder(true);
    TextTrayIcon1->SetBorderColor(clGreen);
    TextTrayIcon1->Options().SetOffsetY(1);
    TextTrayIcon1->SetPopupMenu(PopupMenuExit);
    TextTrayIcon1->SetMinimizeToTray(true);
    TextTrayIcon1->SetWantEnterExitEvents(true);

    abfAutoRun1 = new TabfAutoRun(this, FServices.RunList);
    abfAutoRun1->SetName("abfAutoRun1");
    abfAutoRun1->SetKind(aekUserRun);

    BuildStorage(options);

    JvAppInstances1 = new TJvAppInstances(this, FServices.InterProcess);
    JvAppInstances1->SetName("JvAppInstances1");
    JvAppInstances1->SetActive(false);
    JvAppInstances1->SetAutoActivate(false);
    JvAppInstances1->OnCmdLineReceived = [this](TObject* s, TStrings* l) {
        JvAppInstances1CmdLineReceived(s, l);
    };
    JvAppInstances1->OnRejected = [this](TObject* s) { JvAppInstances1Rejected(s); };
}

void TForm1::BuildStorage(const TWindowOptions& options) {
    JvAppIniFileStorage1 = new TJvAppIniFileStorage(this);
    JvAppIniFileStorage1->SetName("JvAppIniFileStorage1");
    JvAppIniFileStorage1->SetDefaultSection("TForm1");
    if (!options.SettingsDirectory.empty()) {
        JvAppIniFileStorage1->SetLocation(TFileLocation::flCustom);
        JvAppIniFileStorage1->SetDirectory(options.SettingsDirectory);
    }
    // The one reading of the file.
    JvAppIniFileStorage1->SetFileName("Latmo.ini");
    // Closing from the window, the user is still there to read why the settings were lost; at
    // the end of the session nothing may hold the log-out up.
    JvAppIniFileStorage1->OnSaveError = [this](TObject*, const std::string& message) {
        if (FEndSession == 0) {
            MessageDlg(message, TMsgDlgType::mtError, mbOK);
        }
    };

    JvFormStorage1 = new TJvFormStorage(this);
    JvFormStorage1->SetName("JvFormStorage1");
    JvFormStorage1->SetAppStorage(JvAppIniFileStorage1);
    JvFormStorage1->SetStoredProps(
        {"Edit2.Text", "Edithost.Text", "ComboBox1.Text", "ComboBox2.Text", "ComboBox3.Text",
         "EditAlarm.Text", "EditAlarmSec.Text", "TrackMaxGraph.Position", "EditAlarmParam.Text",
         "EditTimeout.Text", "EditLog.Text", "TrackBarPingSize.Position", "TrackBarUpdate.Position",
         "CheckBoxAutoStart.Checked", "ComboBox1.Items", "CheckBoxOneInstance.Checked",
         "host.Lines", "CheckBoxMetrics.Checked", "EditMetrics.Text"});
    std::vector<std::string> stored = JvFormStorage1->StoredProps();
    stored.push_back("CheckBoxNotify.Checked");
    JvFormStorage1->SetStoredProps(stored);
    JvFormStorage1->StoredValues().Add("last", 0.0);
}

void TForm1::BuildPreferencesPages() {
    PageControl2 = Make<TPageControl>(this, "PageControl2", TabSheet4, 0, 0, 369, 247);
    PageControl2->SetAlign(TAlign::alClient);
    UseVerdana(PageControl2);
    PageControl2->Font().SetStyle(fsBold);

    TabSheet5 = Make<TTabSheet>(this, "TabSheet5", PageControl2, 0, 0, 361, 219);
    TabSheet5->SetCaption("Hosts");
    host = Make<TMemo>(this, "host", TabSheet5, 0, 0, 361, 219);
    host->SetAlign(TAlign::alClient);
    UseVerdana(host);
    host->SetScrollBars(TScrollStyle::ssBoth);
    host->SetWordWrap(false);
    host->SetMaxLength(kMaxStoredText);
    for (int i = 0; i < 8; ++i) {
        host->Lines().Add(kBuiltInHosts[i]);
    }

    TabSheet6 = Make<TTabSheet>(this, "TabSheet6", PageControl2, 0, 0, 361, 219);
    TabSheet6->SetCaption("Alarm, Graph, Log");
    Label1 = MakeLabel(this, "Label1", TabSheet6, 8, 12, "If ping first host >");
    EditAlarmSec = MakeEdit(this, "EditAlarmSec", TabSheet6, 150, 8, 57, "8000");
    Label5 = MakeLabel(this, "Label5", TabSheet6, 214, 12, "msec. then execute");
    EditAlarm = MakeEdit(this, "EditAlarm", TabSheet6, 8, 32, 345, "alarm.wav");
    EditAlarm->SetHint("Enter path and file name for open");
    Label8 = MakeLabel(this, "Label8", TabSheet6, 8, 62, "with parametrs:");
    EditAlarmParam = MakeEdit(this, "EditAlarmParam", TabSheet6, 118, 58, 235, "");
    Label7 = MakeLabel(this, "Label7", TabSheet6, 8, 88, "Max graph. values");
    TrackMaxGraph = MakeTrackBar(this, "TrackMaxGraph", TabSheet6, 104, 30, 10, 1000, 30, 300);
    Label6 = MakeLabel(this, "Label6", TabSheet6, 8, 142, "Log file:");
    EditLog = MakeEdit(this, "EditLog", TabSheet6, 8, 158, 345, "");
    EditLog->SetHint(
        "Enter path and file name for log file\n(If it is empty, then file is not created)");

    TabSheet7 = Make<TTabSheet>(this, "TabSheet7", PageControl2, 0, 0, 361, 219);
    TabSheet7->SetCaption("MaxPing, Start");
    Label9 = MakeLabel(this, "Label9", TabSheet7, 8, 12, "Timeout value (msec)");
    EditTimeout = MakeEdit(this, "EditTimeout", TabSheet7, 170, 8, 57, "9000");
    Label11 = MakeLabel(this, "Label11", TabSheet7, 8, 38, "Ping size =");
    TrackBarPingSize =
        MakeTrackBar(this, "TrackBarPingSize", TabSheet7, 54, 36, 15, 10000, 333, 1024);
    TrackBarPingSize->SetTickMarks(TTickMark::tmBoth);
    Label12 = MakeLabel(this, "Label12", TabSheet7, 8, 96, "Period check for new version 7 days");
    TrackBarUpdate = MakeTrackBar(this, "TrackBarUpdate", TabSheet7, 112, 30, 1, 60, 7, 7);
    CheckBoxAutoStart = Make<TCheckBox>(this, "CheckBoxAutoStart", TabSheet7, 8, 150, 300, 17);
    UseVerdana(CheckBoxAutoStart);
    // The caption names the system the program runs on.
    CheckBoxAutoStart->SetCaption("Auto start at log-on");
    CheckBoxOneInstance = Make<TCheckBox>(this, "CheckBoxOneInstance", TabSheet7, 8, 172, 300, 17);
    UseVerdana(CheckBoxOneInstance);
    CheckBoxOneInstance->SetCaption("Only one instance");
    BuildNotifyBox();
    BuildExportPage();
}

void TForm1::BuildAboutPage() {
    Label4 = MakeLabel(this, "Label4", TabSheet3, 8, 8, "Latmo version " LATMO_VERSION_TEXT);
    home1 = MakeLabel(this, "home1", TabSheet3, 8, 28, "home");
    home1->Font().SetColor(clBlue);
    home1->Font().SetStyle(fsUnderline);
    home1->SetCursor(crHandPoint);
    Label10 = MakeLabel(this, "Label10", TabSheet3, 60, 28, "alternate");
    Label10->Font().SetColor(clBlue);
    Label10->Font().SetStyle(fsUnderline);
    Label10->SetCursor(crHandPoint);
    ParamLabel1 = Make<TParamLabel>(this, "ParamLabel1", TabSheet3, 8, 48, 353, 190);
    ParamLabel1->SetAnchors(akLeft | akTop | akRight | akBottom);
    ParamLabel1->SetCaption(std::string(kAboutText) +
                            "<p align=\"center\"><font face=\"Verdana\">Echo engine: " +
                            EchoEngineName(FServices.Echo.Engine()) + "</font></p>");
}
