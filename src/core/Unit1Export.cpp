// The Export page: Latmo's measurements served for Prometheus, and what the probe passes tell
// the metrics.

#include "core/Unit1.h"
#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"

const char* const TForm1::kDefaultMetricsAddress = "127.0.0.1:5286";

void TForm1::BuildExportPage() {
    // Four captions in bold fit the window's width only a little closer together.
    PageControl2->SetTabSpacing(12);
    TabSheet8 = new TTabSheet(this);
    TabSheet8->SetName("TabSheet8");
    TabSheet8->SetParent(PageControl2);
    TabSheet8->SetBounds(0, 0, 361, 219);
    TabSheet8->SetCaption("Export");

    const auto place = [this](TControl* c, const char* name, int left, int top, int width,
                              int height) {
        c->SetName(name);
        c->SetParent(TabSheet8);
        c->SetBounds(left, top, width, height);
        c->Font().SetName("Verdana");
        c->Font().SetHeight(-11);
    };
    CheckBoxMetrics = new TCheckBox(this);
    place(CheckBoxMetrics, "CheckBoxMetrics", 8, 12, 345, 17);
    CheckBoxMetrics->SetCaption("Serve measurements to Prometheus");
    Label13 = new TLabel(this);
    place(Label13, "Label13", 8, 42, 10, 13);
    Label13->SetCaption("Listen address:");
    EditMetrics = new TEdit(this);
    place(EditMetrics, "EditMetrics", 118, 38, 235, 21);
    EditMetrics->SetText(kDefaultMetricsAddress);
    EditMetrics->SetHint(
        "A port alone serves this computer only;\n"
        "0.0.0.0 and the port serve every network");
    LabelMetrics = new TLabel(this);
    place(LabelMetrics, "LabelMetrics", 8, 70, 345, 13);
    LabelMetrics->SetCaption("Not serving.");
    // Who can read what is served: the host names tell where this desktop looks.
    LabelMetricsReach = new TLabel(this);
    place(LabelMetricsReach, "LabelMetricsReach", 8, 106, 345, 13);
    LabelMetricsReach->SetCaption("");

    CheckBoxMetrics->OnExit = [this](TObject* s) { CheckBoxMetricsExit(s); };
    EditMetrics->OnExit = [this](TObject* s) { EditMetricsExit(s); };
}

void TForm1::CheckBoxMetricsExit(TObject*) {
    ApplyMetrics();
}

void TForm1::EditMetricsExit(TObject*) {
    ApplyMetrics();
}

void TForm1::ApplyMetrics() {
    const std::string text = EditMetrics->Text();
    const std::string address = TMetricsServer::ListenAddress(text);
    const bool on = CheckBoxMetrics->Checked();
    const std::string wanted = !on ? std::string() : address.empty() ? "?" + text : address;
    if (wanted == FMetricsWanted) {
        return;
    }
    FMetricsWanted = wanted;
    LabelMetricsReach->SetCaption("");
    if (on && address.empty()) {
        FMetricsServer.Serve(std::string());
        FMetricsAwaited = false;  // no word about this text is to come
        FMetricsServedAt.clear();
        LabelMetrics->SetCaption("Not serving: not a listen address");
        ReportMetricsProblem("\"" + text +
                             "\" is not a listen address for the measurements. Type a port "
                             "(5286) to serve this computer only, or an IPv4 address and a "
                             "port (0.0.0.0:5286 serves every network). Latmo goes on "
                             "measuring without serving them.");
        return;
    }
    LabelMetrics->SetCaption(on ? "Starting..." : "Stopping...");
    FMetricsServer.Serve(wanted);
    FMetricsAwaited = true;
    CollectionDue();
}

void TForm1::MetricsServed() {
    TMetricsServer::TResult result;
    // A later change is on its way, with a word of its own.
    if (!FMetricsServer.TakeResult(result) || result.Wanted != FMetricsWanted) {
        return;
    }
    FMetricsAwaited = false;
    FMetricsServedAt = result.Addresses.empty() ? std::string() : result.Addresses.front();
    LabelMetricsReach->SetCaption("");
    LabelMetricsReach->Font().SetColor(clWindowText);
    if (!result.Error.empty()) {
        LabelMetrics->SetCaption("Not serving: " + result.Error);
        ReportMetricsProblem("Latmo cannot serve its measurements at " + result.Wanted + ": " +
                             result.Error +
                             ". It goes on measuring; the Export page of the Preferences "
                             "takes another address.");
    } else if (!result.Addresses.empty()) {
        const std::string served = FMetricsServedAt.substr(0, FMetricsServedAt.rfind(':'));
        const std::string reach =
            served == "127.0.0.1" ? "Only this computer can read the host names."
            : served == "0.0.0.0"
                ? "Every network can read the host names."
                : "Every network that reaches " + served + " can read the host names.";
        // One address a line: the one asked for, and the other loopback when it comes along.
        std::string shown;
        std::string logged;
        for (const std::string& address : result.Addresses) {
            const std::string url = "http://" + address + "/metrics";
            shown += shown.empty() ? "Serving at " + url : "\nand at " + url;
            logged += logged.empty() ? url : " and " + url;
        }
        LabelMetrics->SetCaption(shown);
        LabelMetricsReach->SetCaption(reach);
        if (served != "127.0.0.1") {
            LabelMetricsReach->Font().SetColor(clMaroon);
        }
        WriteDiagLog("Measurements served for Prometheus at " + logged + ". " + reach);
    } else {
        LabelMetrics->SetCaption("Not serving.");
    }
}

void TForm1::ReportMetricsProblem(const std::string& text) {
    WriteDiagLog(text);
    PostCall([text] { MessageDlg(text, TMsgDlgType::mtWarning, mbOK); });
}

void TForm1::RecordEcho(int slot, const std::string& hostText, int32_t lostBefore) {
    // A probe cut short by the end of the program tells nothing.
    if (hostText.empty() || (abfThread1 != nullptr && abfThread1->Terminated())) {
        return;
    }
    const int error = FProbe.LastEchoError();
    TEchoOutcome outcome;
    if (error == TProbeEngine::kNoEcho) {
        outcome.Kind = TEchoOutcome::TKind::NotSent;
        outcome.Status = kLookupFailedWord;
    } else if (FLostCount > lostBefore) {
        outcome.Kind = TEchoOutcome::TKind::Lost;
        outcome.Status = EchoStatusWord(error);
    } else {
        const TEchoReply& reply = FProbe.LastReply();
        outcome.RoundTripSeconds =
            reply.RoundTripMicros >= 0 ? reply.RoundTripMicros / 1e6 : reply.RoundTripTime / 1e3;
    }
    FMetrics.RecordEcho(slot, outcome);
    FPassProbes.push_back({slot, outcome, FPingError});
}
