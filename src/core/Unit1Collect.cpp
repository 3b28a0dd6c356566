// The collection of a finished pass: means, the Log page, the points and the measurement log.

#include "core/LogFiles.h"
#include "core/Statistics.h"
#include "core/Unit1.h"
#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"

void TForm1::TimerRepaintTimer(TObject*) {
    CollectResults();
    MetricsServed();
    // A host change that met a pass is applied once that pass's results are in.
    if (FHostChangePending && !FResultsReady) {
        ApplyHostChanges();
    }
    // With nothing left to look at again, the timer rests until the worker hands over a pass
    // (the host change that waits for one comes with it) or the endpoint is to give word; while
    // something is left, it looks again every half second. A timer switched off by others
    // stays off.
    const bool waiting = FResultsReady || FHostChangePending || FMetricsAwaited;
    if (waiting && FCollectionResting) {
        FCollectionResting = false;
        TimerRepaint->SetEnabled(true);
    } else if (!waiting && TimerRepaint->Enabled()) {
        TimerRepaint->SetEnabled(false);
        FCollectionResting = true;
    }
}

void TForm1::CollectionDue() {
    if (FCollectionResting) {
        TimerRepaintTimer(this);
    }
}

void TForm1::CollectResults() {
    if (!FResultsReady) {
        return;
    }
    // A pass still running keeps the store; the results stay flagged for the next tick.
    std::unique_lock<std::mutex> lock(FStoreLock, std::try_to_lock);
    if (!lock.owns_lock()) {
        return;
    }
    FResultsReady = false;
    // The Log page is written once, with all its lines.
    const TStringsUpdate logPage(Memo1->Lines());
    Memo1->Lines().Clear();
    const std::string echoProblem = FEchoSent ? std::string() : FServices.Echo.PermissionProblem();
    FCannotSend = !echoProblem.empty();
    if (FCannotSend) {
        Memo1->Lines().Add(echoProblem);
    }
    if (!FPassErrors.empty()) {
        Memo1->Lines().Add(FPassErrors);
        FPassErrors.clear();
    }
    FWork = FRing2;
    AddHostAverage(Line2, ComboBox2->Text());
    const double mean2 = FAverage;
    FWork = FRing3;
    AddHostAverage(Line3, ComboBox3->Text());
    const double mean3 = FAverage;
    FWork = FRing1;
    AddHostAverage(Line1, ComboBox1->Text());
    const double mean1 = FAverage;
    FMetrics.SetTrimmedMean(1, mean1);
    FMetrics.SetTrimmedMean(2, mean2);
    FMetrics.SetTrimmedMean(3, mean3);

    AddLinePoint(LineLostPing, FLostCount * 20.0);
    if (!EditLog->Text().empty()) {
        WriteUpdateLog(ComboBox1->Text(), mean1, ComboBox2->Text(), mean2, ComboBox3->Text(),
                       mean3);
    }
    CollectStatistics();
    UpdateStatus();
    lock.unlock();
    ShowEchoProblem();
    NotifyChanges();
}

void TForm1::ShowEchoProblem() {
    if (!FCannotSend || FCannotSendShown) {
        return;
    }
    // Shown once a run: the Log page and the tooltip keep saying it. The window keeps
    // collecting while the box waits for its answer.
    FCannotSendShown = true;
    PostCall(
        [this] { MessageDlg(FServices.Echo.PermissionProblem(), TMsgDlgType::mtError, mbOK); });
}

void TForm1::AddHostAverage(Tsp_XYLine* line, const std::string& hostText) {
    const THostAverage average = TrimmedMean(FWork, TrackBarPingSize->Position());
    FAverage = average.Average;
    Memo1->Lines().Add(AverageLine(hostText, average));
    AddLinePoint(line, FAverage);
}

void TForm1::WriteUpdateLog(const std::string& host1, double mean1, const std::string& host2,
                            double mean2, const std::string& host3, double mean3) {
    // A bare name goes where it would go when typed, whether typed or read from the settings.
    FUpdateLog.Append(CompleteLogFileName(EditLog->Text(), ProgramDir()),
                      UpdateLogLine(Now(), {host1, mean1}, {host2, mean2}, {host3, mean3}));
}

void TForm1::EditLogExit(TObject*) {
    const std::string name = EditLog->Text();
    std::string why;
    const std::string completed = CompleteLogFileName(name, ProgramDir(), &why);
    if (completed != name) {
        EditLog->SetText(completed);
        // The field shows the whole path; where that is not beside the program, say why too.
        if (!why.empty()) {
            ReportNotOwn(why);
        } else if (ExtractFileDir(completed) != ProgramDir()) {
            WriteDiagLog("Measurement log goes to " + completed +
                         ", as the program's directory cannot be written");
        }
    }
}
