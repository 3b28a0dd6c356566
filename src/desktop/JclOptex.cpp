#include "desktop/JclOptex.h"

#include <bit>

static_assert(std::endian::native == std::endian::little,
              "the shared blocks are laid out little-endian");

namespace {

enum : int { kSpinLimit = 0, kContention = 1, kOwnerThread = 2, kDepth = 3 };
constexpr size_t kLockBlockSize = 16;
// The owner's start time follows the 16 bytes the lock's layout fixes.
constexpr size_t kOwnerStartOffset = kLockBlockSize;
constexpr size_t kSharedSize = kOwnerStartOffset + sizeof(uint64_t);

}  // namespace

std::string JclSystemErrorMessage(const TInterProcess& ipc, int error, const std::string& step) {
    return "Linux: " + ipc.ErrorText(error) + " (" + std::to_string(error) + ")\r" + step;
}

TJclOptex::TJclOptex(TInterProcess& ipc, const std::string& name, int spinCount)
    : FIpc(ipc), FName(name) {
    int error = 0;
    FWakeEvent = FIpc.OpenEvent("Optex_Event_" + name, FExisted, error);
    if (!FWakeEvent) {
        throw EJclEventError(JclSystemErrorMessage(FIpc, error, "Failed to create event"));
    }
    bool blockExisted = false;
    FShared = FIpc.OpenSharedBlock("Optex_MMF_" + name, kSharedSize, blockExisted, error);
    if (!FShared) {
        throw EJclFileMappingError(
            JclSystemErrorMessage(FIpc, error, "Failed to create FileMapping"));
    }
    // On one processor spinning only keeps the holder from running: one attempt, then wait.
    if (FIpc.ProcessorCount() > 1) {
        Field(kSpinLimit).store(spinCount < 0 ? 4000 : spinCount);
    }
}

TJclOptex::~TJclOptex() = default;

std::atomic_ref<int32_t> TJclOptex::Field(int index) const {
    return std::atomic_ref<int32_t>(reinterpret_cast<int32_t*>(FShared->Data())[index]);
}

std::atomic_ref<uint64_t> TJclOptex::OwnerStart() const {
    return std::atomic_ref<uint64_t>(
        *reinterpret_cast<uint64_t*>(FShared->Data() + kOwnerStartOffset));
}

int TJclOptex::SpinLimit() const {
    return Field(kSpinLimit).load();
}

void TJclOptex::TakeOwnership(uint32_t thread) {
    Field(kOwnerThread).store(static_cast<int32_t>(thread));
    OwnerStart().store(FIpc.StartTime(thread));
    Field(kDepth).store(1);
}

bool TJclOptex::TryAcquire() {
    const uint32_t thread = FIpc.CurrentThreadId();
    int spin = Field(kSpinLimit).load();
    do {
        int32_t expected = 0;
        if (Field(kContention).compare_exchange_strong(expected, 1)) {
            TakeOwnership(thread);
            return true;
        }
        if (static_cast<uint32_t>(Field(kOwnerThread).load()) == thread) {
            Field(kContention).fetch_add(1);
            Field(kDepth).fetch_add(1);
            return true;
        }
    } while (--spin > 0);
    return false;
}

void TJclOptex::Acquire() {
    if (TryAcquire()) {
        return;
    }
    const uint32_t thread = FIpc.CurrentThreadId();
    if (Field(kContention).fetch_add(1) + 1 != 1) {
        if (static_cast<uint32_t>(Field(kOwnerThread).load()) == thread) {
            Field(kDepth).fetch_add(1);
            return;
        }
        WaitForLock(thread);
    }
    TakeOwnership(thread);
}

void TJclOptex::Release() {
    if (Field(kDepth).fetch_sub(1) - 1 > 0) {
        Field(kContention).fetch_sub(1);
        return;
    }
    Field(kOwnerThread).store(0);
    OwnerStart().store(0);
    if (Field(kContention).fetch_sub(1) - 1 > 0) {
        FWakeEvent->Set();
    }
}

bool TJclOptex::OwnerAlive(uint32_t owner, uint64_t start) const {
    return owner != 0 && start != 0 && FIpc.StartTime(owner) == start;
}

void TJclOptex::WaitForLock(uint32_t thread) {
    // An owner is taken for dead only when two looks a wait apart find the same owner, and it
    // gone: a live owner writes its id and stamp within moments of taking the lock.
    bool suspect = false;
    int32_t suspectOwner = 0;
    uint64_t suspectStart = 0;
    while (!FWakeEvent->Wait(kOwnerCheckMs)) {
        int32_t owner = Field(kOwnerThread).load();
        const uint64_t start = OwnerStart().load();
        if (OwnerAlive(static_cast<uint32_t>(owner), start)) {
            suspect = false;
            continue;
        }
        if (!suspect || owner != suspectOwner || start != suspectStart) {
            suspect = true;
            suspectOwner = owner;
            suspectStart = start;
            continue;
        }
        // The dead owner's share of Contention goes with it: its depth, or 1 when it died
        // before writing its id or after clearing it. Only one waiter wins the exchange.
        const int32_t depth = Field(kDepth).load();
        if (Field(kOwnerThread).compare_exchange_strong(owner, static_cast<int32_t>(thread))) {
            Field(kContention).fetch_sub(suspectOwner == 0 || depth < 1 ? 1 : depth);
            return;
        }
        suspect = false;
    }
}
