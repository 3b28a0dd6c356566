#include "desktop/JclAppInstances.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "toolkit/Messages.h"
#include "toolkit/SysUtils.h"

namespace {

constexpr size_t kStartTimesOffset = kRegistryBlockSize;
constexpr size_t kStatesOffset = kStartTimesOffset + 8 * kMaxRegisteredProcesses;
constexpr size_t kSharedSize = kStatesOffset + kMaxRegisteredProcesses;
// How often a copy opens the objects anew when the last copy removes them under its hands.
constexpr int kReopenAttempts = 5;
// How long a copy that takes the others' connections late may hold up a hand-over.
constexpr int kHandOverWaitMs = 1000;

std::mutex gInstanceLock;
std::weak_ptr<TJclAppInstances> gInstance;

uint64_t ReadLE(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

void WriteLE(uint8_t* p, int bytes, uint64_t v) {
    for (int i = 0; i < bytes; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

}  // namespace

std::string TJclAppInstances::RegistryNameBase(const std::string& programPath) {
    std::string base = "Jcl";
    for (char c : programPath) {
        if (c == '/' || c == '\\') {
            base += '_';
        } else if (c >= 'a' && c <= 'z') {
            base += static_cast<char>(c - 'a' + 'A');
        } else {
            base += c;
        }
    }
    return base;
}

// The lock for a scope, on objects that are still in place; released also when what runs
// inside throws.
class TJclAppInstances::THold {
public:
    explicit THold(TJclAppInstances& owner) : FOwner(owner) { FOwner.AcquireCurrent(); }
    ~THold() { FOwner.FLock->Release(); }
    THold(const THold&) = delete;
    THold& operator=(const THold&) = delete;

private:
    TJclAppInstances& FOwner;
};

TJclAppInstances::TJclAppInstances(TInterProcess& ipc, const std::string& programPath)
    : FIpc(ipc),
      FBase(RegistryNameBase(programPath)),
      FProcessId(ipc.CurrentProcessId()),
      FStartTime(ipc.StartTime(ipc.CurrentProcessId())) {
    {
        THold hold(*this);
        DropEndedProcesses();
        FIpc.RemoveEndedPorts(FBase);
    }
    FInstanceMessage = FIpc.RegisterWindowMessage(FBase + "_Msg");
}

void TJclAppInstances::OpenObjects() {
    FRegistryView.reset();
    FLock = std::make_unique<TJclOptex>(FIpc, FBase + "_Otx", 4000);
    TJclOptexHold hold(*FLock);
    bool existed = false;
    int error = 0;
    FRegistryView = FIpc.OpenSharedBlock(FBase + "_Map", kSharedSize, existed, error);
    if (!FRegistryView) {
        throw EJclFileMappingError(
            JclSystemErrorMessage(FIpc, error, "Failed to create FileMapping"));
    }
    if (!existed) {
        std::memset(FRegistryView->Data(), 0, FRegistryView->Size());
    }
}

void TJclAppInstances::AcquireCurrent() {
    for (int attempt = 0;; ++attempt) {
        if (FLock && FRegistryView) {
            FLock->Acquire();
            if (FLock->Current() && FRegistryView->Current()) {
                return;
            }
            FLock->Release();
        }
        if (attempt == kReopenAttempts) {
            throw EJclFileMappingError(
                JclSystemErrorMessage(FIpc, EAGAIN, "Failed to create FileMapping"));
        }
        OpenObjects();
    }
}

TJclAppInstances::~TJclAppInstances() {
    try {
        if (FRegistered) {
            UnregisterProcess();
        }
    } catch (...) {
        // The program is ending; the next copy drops an entry whose process is gone.
    }
}

std::shared_ptr<TJclAppInstances> TJclAppInstances::Instance(TInterProcess& ipc) {
    std::lock_guard<std::mutex> lock(gInstanceLock);
    auto instance = gInstance.lock();
    if (!instance) {
        instance = std::make_shared<TJclAppInstances>(ipc, ProgramPath());
        gInstance = instance;
    }
    return instance;
}

std::shared_ptr<TJclAppInstances> TJclAppInstances::Current() {
    std::lock_guard<std::mutex> lock(gInstanceLock);
    return gInstance.lock();
}

uint16_t TJclAppInstances::Limit() const {
    return static_cast<uint16_t>(ReadLE(FRegistryView->Data(), 2));
}

uint16_t TJclAppInstances::Count() const {
    // A damaged block must not send the reader past its end.
    const auto count = static_cast<uint16_t>(ReadLE(FRegistryView->Data() + 2, 2));
    return count > kMaxRegisteredProcesses ? kMaxRegisteredProcesses : count;
}

void TJclAppInstances::SetCount(uint16_t count) {
    WriteLE(FRegistryView->Data() + 2, 2, count);
}

uint32_t TJclAppInstances::Entry(int index) const {
    return static_cast<uint32_t>(ReadLE(FRegistryView->Data() + 4 + 4 * index, 4));
}

uint64_t TJclAppInstances::EntryStart(int index) const {
    return ReadLE(FRegistryView->Data() + kStartTimesOffset + 8 * index, 8);
}

void TJclAppInstances::SetEntry(int index, uint32_t processId, uint64_t start) {
    WriteLE(FRegistryView->Data() + 4 + 4 * index, 4, processId);
    WriteLE(FRegistryView->Data() + kStartTimesOffset + 8 * index, 8, start);
}

TJclCheckState TJclAppInstances::State(int index) const {
    const uint8_t state = FRegistryView->Data()[kStatesOffset + index];
    return state <= static_cast<uint8_t>(TJclCheckState::csLeaving)
               ? static_cast<TJclCheckState>(state)
               : TJclCheckState::csNone;
}

void TJclAppInstances::SetState(int index, TJclCheckState state) {
    FRegistryView->Data()[kStatesOffset + index] = static_cast<uint8_t>(state);
}

int TJclAppInstances::OwnIndex() const {
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        if (Entry(i) == FProcessId) {
            return i;
        }
    }
    return -1;
}

void TJclAppInstances::DropEndedProcesses() {
    const int count = Count();
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const uint32_t pid = Entry(i);
        const uint64_t start = EntryStart(i);
        if (pid != 0 && start != 0 && FIpc.StartTime(pid) == start) {
            const TJclCheckState state = State(i);
            SetEntry(kept, pid, start);
            SetState(kept++, state);
        } else {
            FIpc.RemovePort(FBase, pid);
        }
    }
    for (int i = kept; i < count; ++i) {
        SetEntry(i, 0, 0);
        SetState(i, TJclCheckState::csNone);
    }
    SetCount(static_cast<uint16_t>(kept));
}

bool TJclAppInstances::RegisterProcess(uint16_t limit) {
    int n;
    bool written = false;
    {
        THold hold(*this);
        DropEndedProcesses();
        if (Limit() == 0) {
            WriteLE(FRegistryView->Data(), 2, limit);
        }
        n = Count();
        if (n < kMaxRegisteredProcesses) {
            SetEntry(n, FProcessId, FStartTime);
            SetState(n, TJclCheckState::csNone);
            SetCount(static_cast<uint16_t>(n + 1));
            written = true;
            FRegistered = true;
        }
    }
    const bool withinLimit = written && n < Limit();
    if (withinLimit) {
        BroadcastToInstances(AI_INSTANCECREATED, FProcessId);
    }
    return withinLimit;
}

void TJclAppInstances::UnregisterProcess() {
    bool last = false;
    {
        THold hold(*this);
        // Copies killed meanwhile do not count: the last live copy cleans up after them.
        DropEndedProcesses();
        const int own = OwnIndex();
        const int count = Count();
        if (own >= 0) {
            for (int j = own + 1; j < count; ++j) {
                SetEntry(j - 1, Entry(j), EntryStart(j));
                SetState(j - 1, State(j));
            }
            SetEntry(count - 1, 0, 0);
            SetState(count - 1, TJclCheckState::csNone);
            SetCount(static_cast<uint16_t>(count - 1));
        }
        FRegistered = false;
        // The last copy takes the objects with it; one that opened them meanwhile finds them
        // gone once it holds the lock, and opens new ones.
        if (Count() == 0) {
            FIpc.RemoveEndedPorts(FBase);
            FIpc.RemoveShared(FBase + "_Map");
            FLock->Remove();
            last = true;
        }
    }
    if (!last) {
        BroadcastToInstances(AI_INSTANCEDESTROYED, FProcessId);
    }
}

int TJclAppInstances::CountProcesses() {
    THold hold(*this);
    DropEndedProcesses();
    return Count();
}

uint32_t TJclAppInstances::ProcessIdAt(int index) {
    THold hold(*this);
    return index >= 0 && index < Count() ? Entry(index) : 0;
}

std::vector<uint32_t> TJclAppInstances::RegisteredProcesses() {
    THold hold(*this);
    std::vector<uint32_t> pids;
    for (int i = 0; i < Count(); ++i) {
        pids.push_back(Entry(i));
    }
    return pids;
}

uint32_t TJclAppInstances::FindApplicationWindow(int index) {
    const uint32_t pid = ProcessIdAt(index);
    return pid != 0 && FIpc.PortExists(FBase, pid) ? pid : 0;
}

bool TJclAppInstances::ActivateInstance(int index) {
    const uint32_t window = FindApplicationWindow(index);
    if (window == 0) {
        return false;
    }
    // Whether the window is minimised only the copy itself knows: it restores on SC_RESTORE
    // only when it is, then comes to the front.
    FIpc.PostMessage(FBase, window, TCopyMessage{WM_SYSCOMMAND, SC_RESTORE, 0, {}},
                     kHandOverWaitMs);
    return FIpc.PostMessage(FBase, window, TCopyMessage{WM_ACTIVATEAPP, 1, 0, {}}, kHandOverWaitMs);
}

std::string TJclAppInstances::CommandLineText(const std::vector<std::string>& parameters) {
    std::string text;
    for (const std::string& p : parameters) {
        // What does not fit into one message is left off, a whole parameter at a time.
        if (text.size() + p.size() + 2 > kMaxCopyDataSize) {
            break;
        }
        text += p + "\r\n";
    }
    return text;
}

void TJclAppInstances::SendCommandLine(const std::string& windowClassName, uint64_t originWindow) {
    // Every copy's port is a window of the guard's class; no other class has one here.
    if (windowClassName != "JvAppInstances_WindowClass") {
        return;
    }
    const TCopyMessage message{WM_COPYDATA, originWindow, CommandLineData,
                               CommandLineText(FIpc.CommandLineParameters())};
    for (uint32_t pid : RegisteredProcesses()) {
        if (pid != FProcessId) {
            FIpc.PostMessage(FBase, pid, message, kHandOverWaitMs);
        }
    }
}

void TJclAppInstances::BroadcastToInstances(uint64_t kind, uint64_t value) {
    THold hold(*this);
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        const uint32_t pid = Entry(i);
        // Posted without waiting: a copy that takes nothing now must not hold the lock up.
        if (FIpc.PortExists(FBase, pid)) {
            FIpc.PostMessage(FBase, pid, TCopyMessage{FInstanceMessage, kind, value, {}}, 0);
        }
    }
}

int TJclAppInstances::IndexOf(uint32_t processId) {
    THold hold(*this);
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        if (Entry(i) == processId) {
            return i;
        }
    }
    return -1;
}

bool TJclAppInstances::BeginCheck(int maxInstances) {
    THold hold(*this);
    DropEndedProcesses();
    const int own = OwnIndex();
    if (own < 0) {
        return false;
    }
    const bool over = Count() > maxInstances;
    SetState(own, over ? TJclCheckState::csDeciding : TJclCheckState::csStaying);
    return over;
}

std::vector<std::pair<uint32_t, TJclCheckState>> TJclAppInstances::CheckStates() {
    THold hold(*this);
    std::vector<std::pair<uint32_t, TJclCheckState>> states;
    for (int i = 0; i < Count(); ++i) {
        states.emplace_back(Entry(i), State(i));
    }
    return states;
}

uint32_t TJclAppInstances::DecideCheck(int maxInstances,
                                       const std::vector<uint32_t>& answeredActive) {
    THold hold(*this);
    DropEndedProcesses();
    const int own = OwnIndex();
    if (own < 0) {
        return 0;
    }
    uint32_t firstStaying = 0;
    uint32_t firstDeciding = 0;
    int ahead = 0;
    for (int i = 0; i < Count(); ++i) {
        const uint32_t pid = Entry(i);
        const TJclCheckState state = State(i);
        const bool answered =
            std::find(answeredActive.begin(), answeredActive.end(), pid) != answeredActive.end();
        if (i == own) {
            continue;
        }
        if (state == TJclCheckState::csStaying || (state == TJclCheckState::csNone && answered)) {
            ++ahead;
            firstStaying = firstStaying != 0 ? firstStaying : pid;
        } else if (state == TJclCheckState::csDeciding && i < own) {
            ++ahead;
            firstDeciding = firstDeciding != 0 ? firstDeciding : pid;
        }
    }
    const uint32_t keeper =
        ahead >= maxInstances ? (firstStaying != 0 ? firstStaying : firstDeciding) : 0;
    SetState(own, keeper != 0 ? TJclCheckState::csLeaving : TJclCheckState::csStaying);
    return keeper;
}

void TJclAppInstances::SetCheckState(TJclCheckState state) {
    THold hold(*this);
    const int own = OwnIndex();
    if (own >= 0) {
        SetState(own, state);
    }
}
