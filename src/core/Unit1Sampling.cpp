// The sampling cycle: the worker's loop and its probe passes, the periodic request, and the
// take-over of changed host texts.

#include <chrono>
#include <limits>

#include "core/Unit1.h"
#include "toolkit/DiagLog.h"
#include "toolkit/StrUtils.h"

namespace {

constexpr int kRestAfterPassMs = 200;
constexpr int kMinIntervalMs = 3000;
// How long a requested pass waits for the collection of the previous one.
constexpr int kCollectionGraceMs = 1000;

}  // namespace

void TForm1::abfThread1Execute(TObject*) {
    // Every wait below sleeps until a flag it depends on changes, the thread is asked to stop or
    // its time is up; nothing wakes the worker while nothing is asked of it.
    using TClock = std::chrono::steady_clock;
    TClock::time_point rested = TClock::now();
    while (!abfThread1->Terminated()) {
        // Until start-up has set the time-out, a request waits.
        if (!abfThread1->WaitUntil([this] { return FPassesAllowed && FPingRequest; })) {
            continue;
        }
        // The rest after a pass is over before the next one begins; a request that comes later
        // than that does not wake the worker twice.
        if (const auto left = std::chrono::ceil<std::chrono::milliseconds>(rested - TClock::now());
            left.count() > 0) {
            abfThread1->Sleep(static_cast<int>(left.count()));
        }
        // When passes take longer than the period, the next one would take the store again
        // before the collection got its turn, and the window would show nothing new for pass
        // after pass. A window that does not collect within a second is not waited for.
        FAwaitingCollection = true;
        abfThread1->WaitUntil([this] { return !FResultsReady; }, kCollectionGraceMs);
        FAwaitingCollection = false;
        if (abfThread1->Terminated()) {
            break;
        }
        ++FPassesBegun;
        FPingRequest = false;
        {
            std::lock_guard<std::mutex> lock(FStoreLock);
            PingAllHosts();
            // Raised under the lock, so a collection never clears the flag of a pass it has
            // not seen.
            FResultsReady = true;
        }
        ++FPassesDone;
        rested = TClock::now() + std::chrono::milliseconds(kRestAfterPassMs);
        // The window collects at once instead of looking for results every half second.
        PostCall([this] { CollectionDue(); });
    }
}

void TForm1::PingHost(const std::string& hostText) {
    const bool stopping = abfThread1 != nullptr && abfThread1->Terminated();
    const TStopSignal stop = abfThread1 != nullptr ? abfThread1->StopSignal() : kNoStopSignal;
    FProbe.PingHost(*this, hostText, FPingSize, stopping, stop);
}

void TForm1::PingAllHosts() {
    FLostCount = 0;
    // The three names are looked up side by side, so that one whose resolver does not answer
    // keeps the others waiting no longer than the time-out.
    if (abfThread1 == nullptr || !abfThread1->Terminated()) {
        FProbe.BeginPass({FHost1, FHost2, FHost3}, FTimeout, FPeriod);
    }
    struct {
        TRing& Ring;
        const std::string& Host;
    } hosts[3] = {{FRing1, FHost1}, {FRing2, FHost2}, {FRing3, FHost3}};
    for (int slot = 1; slot <= 3; ++slot) {
        auto& h = hosts[slot - 1];
        FWork = h.Ring;
        const int32_t lostBefore = FLostCount;
        PingHost(h.Host);
        RecordEcho(slot, h.Host, lostBefore);
        h.Ring = FWork;
        if (!FPingError.empty()) {
            FPassErrors += h.Host + ":" + FPingError + "\r\n";
        }
    }
    FProbe.EndPass();
    FRingIndex = FRingIndex >= kRingSize - 1 ? 0 : FRingIndex + 1;
}

void TForm1::Button1Click(TObject*) {
    FPingRequest = true;
}

void TForm1::Edit2Exit(TObject*) {
    int32_t seconds = 0;
    int64_t ms = kMinIntervalMs;
    if (TryStrToInt(Edit2->Text(), seconds)) {
        // Held in milliseconds as a signed 32-bit number: longer intervals take the longest
        // that fits instead of wrapping round to a negative one.
        ms = std::min<int64_t>(int64_t{seconds} * 1000, std::numeric_limits<int32_t>::max());
    }
    ms = std::max<int64_t>(ms, kMinIntervalMs);
    Timer1->SetInterval(static_cast<int>(ms));
    FPeriod = static_cast<int32_t>(ms);
    Edit2->SetText(std::to_string((ms + 500) / 1000));
}

void TForm1::Timer1Timer(TObject*) {
    FPingRequest = true;
    try {
        if (std::uniform_int_distribution<int>(0, 2)(FRandom) == 0) {
            Edit2Exit(this);
        }
        if (host->Lines().Count() < 2) {
            for (const char* name : kBuiltInHosts) {
                host->Lines().Add(name);
            }
        }
        ApplyHostChanges();
    } catch (...) {
        WriteDiagLog("Timer1 error");
    }
}

bool TForm1::ApplyHostChanges() {
    struct {
        TComboBox* Box;
        std::string& Remembered;
        TRing& Ring;
        Tsp_XYLine* Line;
        int Slot;
    } hosts[3] = {{ComboBox1, FHost1, FRing1, Line1, 1},
                  {ComboBox2, FHost2, FRing2, Line2, 2},
                  {ComboBox3, FHost3, FRing3, Line3, 3}};
    bool changed = false;
    for (const auto& h : hosts) {
        changed = changed || h.Box->Text() != h.Remembered;
    }
    if (!changed) {
        return true;
    }
    // A pass in progress keeps the store for up to three time-outs; the change waits for a
    // later tick rather than freezing the window.
    std::unique_lock<std::mutex> lock(FStoreLock, std::try_to_lock);
    FHostChangePending = !lock.owns_lock();
    if (FHostChangePending) {
        return false;
    }
    for (auto& h : hosts) {
        const std::string text = h.Box->Text();
        if (text == h.Remembered) {
            continue;
        }
        h.Remembered = text;
        FMetrics.SetHost(h.Slot, text);
        StatisticsHostChanged(h.Slot, text);
        h.Box->SetHint(text);
        ClearLine(h.Line);
        h.Ring.fill(0);
    }
    return true;
}
