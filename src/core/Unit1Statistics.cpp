// What happened to the connection: the Statistics page with each host's figures, the notices on
// the desktop when something changes, and the graph's history from the measurement log.

#include "core/LogHistory.h"
#include "core/Unit1.h"
#include "plot/XYLine.h"
#include "toolkit/DiagLog.h"
#include "toolkit/StrUtils.h"

namespace {

constexpr int kFirstRowTop = 48;
constexpr int kRowHeight = 16;
constexpr int kNameWidth = 104;
constexpr int kColumnWidth = 85;
constexpr int kVerdana8 = -11;

// Sets a label's text and tooltip only when they changed, so that a collection repaints only
// what it altered.
void ShowInLabel(TLabel* label, const std::string& caption,
                 const std::string& hint = std::string()) {
    if (label->Caption() != caption) {
        label->SetCaption(caption);
    }
    if (label->Hint() != hint) {
        label->SetHint(hint);
    }
}

// Names a control, puts it on its parent where given, in the window's Verdana 8.
template <typename T>
T* Place(TComponent* owner, TControl* parent, const std::string& name, int left, int top, int width,
         int height) {
    auto* c = new T(owner);
    c->SetName(name);
    c->SetParent(parent);
    c->SetBounds(left, top, width, height);
    c->Font().SetName("Verdana");
    c->Font().SetHeight(kVerdana8);
    return c;
}

}  // namespace

void TForm1::BuildStatisticsPage() {
    TabSheet9 = Place<TTabSheet>(this, PageControl1, "TabSheet9", 0, 0, 369, 247);
    TabSheet9->SetCaption("Statistics");
    RadioSinceSet = Place<TRadioButton>(this, TabSheet9, "RadioSinceSet", 8, 6, 160, 17);
    RadioSinceSet->SetCaption("Since the host was set");
    RadioSinceSet->SetChecked(true);
    RadioLastHour = Place<TRadioButton>(this, TabSheet9, "RadioLastHour", 172, 6, 100, 17);
    RadioLastHour->SetCaption("Last hour");
    ButtonReset = Place<TButton>(this, TabSheet9, "ButtonReset", 288, 3, 73, 21);
    ButtonReset->SetCaption("Reset");
    ButtonReset->SetHint("Start counting anew for every host");

    const auto label = [this](const std::string& name, int left, int top, int width) {
        auto* l = Place<TLabel>(this, TabSheet9, name, left, top, width, 14);
        // A fixed width: a longer text is cut rather than moving its neighbours.
        l->SetAutoSize(false);
        l->SetBounds(left, top, width, 14);
        return l;
    };
    const TColor hostColors[3] = {clNavy, clMaroon, clGreen};
    for (int h = 0; h < 3; ++h) {
        const int left = 8 + kNameWidth + h * kColumnWidth;
        LabelStatHosts[h] = label("LabelStatHost" + std::to_string(h + 1), left, 30, kColumnWidth);
        LabelStatHosts[h]->Font().SetColor(hostColors[h]);
        LabelStatHosts[h]->Font().SetStyle(fsBold);
        for (int r = 0; r < kStatisticsRows; ++r) {
            LabelStatCells[h][r] =
                label("LabelStat" + std::to_string(h + 1) + "_" + std::to_string(r), left,
                      kFirstRowTop + r * kRowHeight, kColumnWidth - 4);
        }
    }
    for (int r = 0; r < kStatisticsRows; ++r) {
        LabelStatRows[r] =
            label("LabelStatRow" + std::to_string(r), 8, kFirstRowTop + r * kRowHeight, kNameWidth);
        LabelStatRows[r]->SetCaption(kStatisticsRowNames[r]);
    }

    RadioSinceSet->OnClick = [this](TObject* s) { RadioSpanClick(s); };
    RadioLastHour->OnClick = [this](TObject* s) { RadioSpanClick(s); };
    ButtonReset->OnClick = [this](TObject* s) { ButtonResetClick(s); };
    TabSheet9->OnShow = [this](TObject* s) { TabSheet9Show(s); };
}

void TForm1::BuildNotifyBox() {
    CheckBoxNotify = Place<TCheckBox>(this, TabSheet6, "CheckBoxNotify", 8, 184, 345, 17);
    CheckBoxNotify->SetCaption("Also notify on the desktop");
    CheckBoxNotify->SetHint(
        "Once when host 1 goes above the alarm value and once when it is back below,\n"
        "once when a host stops answering and once when it answers again");
    LabelNotify = Place<TLabel>(this, TabSheet6, "LabelNotify", 26, 202, 327, 13);
    LabelNotify->Font().SetColor(clGray);
    FServices.Notifier.SetAvailabilityChanged([this] { NotifierAvailabilityChanged(); });
    NotifierAvailabilityChanged();
}

void TForm1::NotifierAvailabilityChanged() {
    const std::string why = FServices.Notifier.Unavailable();
    // The box keeps its tick, so that the choice holds when a service comes.
    CheckBoxNotify->SetEnabled(why.empty());
    LabelNotify->SetCaption(why);
    LabelNotify->SetVisible(!why.empty());
}

void TForm1::CollectStatistics() {
    std::vector<TProbeRecord> probes;
    probes.swap(FPassProbes);
    const TDateTime now = Now();
    int host1Probes = 0;
    int host1Answered = 0;
    for (const TProbeRecord& p : probes) {
        THostStatistics& stats = FHostStatistics[p.Slot - 1];
        stats.Add(p.Outcome, p.Error, now);
        const bool answered = stats.State() == THostState::Answering;
        // Without permission to send, nothing has stopped answering; the window says why.
        if (!FCannotSend) {
            FChangeNotices.Probe(p.Slot, stats.Host(), answered, stats.LastRoundTrip().value_or(0),
                                 stats.StateError());
        }
        if (p.Slot == 1) {
            ++host1Probes;
            host1Answered += answered ? 1 : 0;
        }
    }
    FHost1Lost = host1Probes > 0 && host1Answered == 0
                     ? std::string(HostStateWord(FHostStatistics[0].State()))
                     : std::string();
    ShowStatistics();
}

void TForm1::ShowStatistics() {
    // A page nobody sees costs nothing; it catches up when it is shown.
    if (PageControl1->ActivePage() != TabSheet9) {
        return;
    }
    const TDateTime now = Now();
    const bool lastHour = RadioLastHour->Checked();
    for (int h = 0; h < 3; ++h) {
        const std::string& name = FHostStatistics[h].Host();
        ShowInLabel(LabelStatHosts[h], name.empty() ? "Host " + std::to_string(h + 1) : name, name);
        const TStatisticsColumn column = StatisticsColumn(FHostStatistics[h], lastHour, now);
        for (int r = 0; r < kStatisticsRows; ++r) {
            ShowInLabel(LabelStatCells[h][r], column.Cells[r], column.Hints[r]);
        }
    }
}

void TForm1::StatisticsHostChanged(int slot, const std::string& hostText) {
    FHostStatistics[slot - 1].SetHost(hostText, Now());
    FChangeNotices.HostChanged(slot);
    // Probes of the host before, not yet collected, are not the new host's.
    std::erase_if(FPassProbes, [slot](const TProbeRecord& p) { return p.Slot == slot; });
    if (slot == 1) {
        FHost1Lost.clear();
    }
    ShowStatistics();
}

void TForm1::NotifyChanges() {
    if (FCannotSend) {
        return;
    }
    int32_t threshold = 0;
    const bool known = TryStrToInt(EditAlarmSec->Text(), threshold);
    const auto notice =
        FChangeNotices.Collected(FHostStatistics[0].Host(), FAverage,
                                 known ? std::optional<int32_t>(threshold) : std::nullopt);
    if (notice && CheckBoxNotify->Checked() && FServices.Notifier.Unavailable().empty()) {
        FServices.Notifier.Notify(*notice);
    }
}

void TForm1::ButtonResetClick(TObject*) {
    const TDateTime now = Now();
    for (THostStatistics& stats : FHostStatistics) {
        stats.Reset(now);
    }
    ShowStatistics();
}

void TForm1::RadioSpanClick(TObject*) {
    ShowStatistics();
}

void TForm1::TabSheet9Show(TObject*) {
    ShowStatistics();
}

void TForm1::FillGraphFromLog() {
    if (EditLog->Text().empty()) {
        return;
    }
    const std::string path = CompleteLogFileName(EditLog->Text(), ProgramDir());
    const std::string hosts[3] = {ComboBox1->Text(), ComboBox2->Text(), ComboBox3->Text()};
    const TLogHistory history = ReadLogHistory(path, hosts, TrackMaxGraph->Position(), Now());
    if (!history.Problem.empty()) {
        WriteDiagLog("The graph's history cannot be read from " + path + ": " + history.Problem);
        return;
    }
    Tsp_XYLine* const lines[3] = {Line1, Line2, Line3};
    for (int h = 0; h < 3; ++h) {
        Tsp_XYLine* line = lines[h];
        if (history.Points[h].empty() || line->Tag() != 0) {
            continue;
        }
        line->SetLockInvalidate(true);
        for (const THistoryPoint& point : history.Points[h]) {
            line->AddXY(point.When, point.Mean);
        }
        line->SetTag(static_cast<int>(history.Points[h].size()));
        line->SetLockInvalidate(false);
    }
}
