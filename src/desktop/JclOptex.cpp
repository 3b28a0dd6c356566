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
    FSystemLock = FIpc.OpenLock("Optex_Event_" + name, FExisted, error);
    if (!FSystemLock) {
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

TJclOptex::~TJclOptex() {
    if (FDepth > 0) {
        FSystemLock->Give();
    }
}

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

bool TJclOptex::Current() const {
    return FSystemLock->Current() && FShared->Current();
}

void TJclOptex::Remove() {
    FIpc.RemoveShared("Optex_Event_" + FName);
    FIpc.RemoveShared("Optex_MMF_" + FName);
}

void TJclOptex::TakeOwnership(uint32_t thread) {
    // Whatever a dead holder left in the block goes with it: the count is the new holder's.
    Field(kOwnerThread).store(static_cast<int32_t>(thread));
    OwnerStart().store(FIpc.StartTime(FIpc.CurrentProcessId()));
    Field(kDepth).store(1);
    Field(kContention).store(1);
    FHolder.store(thread);
    FDepth = 1;
}

bool TJclOptex::TryAcquire() {
    const uint32_t thread = FIpc.CurrentThreadId();
    if (FDepth > 0 && FHolder.load() == thread) {
        ++FDepth;
        Field(kContention).fetch_add(1);
        Field(kDepth).fetch_add(1);
        return true;
    }
    int spin = Field(kSpinLimit).load();
    do {
        const auto taken = FSystemLock->TryTake();
        if (taken == TNamedLock::TTake::tTaken || taken == TNamedLock::TTake::tTakenFromDead) {
            TakeOwnership(thread);
            return true;
        }
        if (taken == TNamedLock::TTake::tFailed) {
            return false;
        }
    } while (--spin > 0);
    return false;
}

void TJclOptex::Acquire() {
    if (TryAcquire()) {
        return;
    }
    switch (FSystemLock->Take(kStuckMs)) {
        case TNamedLock::TTake::tTaken:
        case TNamedLock::TTake::tTakenFromDead:
            TakeOwnership(FIpc.CurrentThreadId());
            return;
        case TNamedLock::TTake::tBusy:
            throw EJclLockTimeout(
                "another copy holds the running copies' lock and does not let go (stopped?)");
        case TNamedLock::TTake::tFailed:
            break;
    }
    throw EJclEventError("the running copies' lock cannot be taken");
}

void TJclOptex::Release() {
    if (FDepth <= 0) {
        return;
    }
    --FDepth;
    Field(kDepth).fetch_sub(1);
    Field(kContention).fetch_sub(1);
    if (FDepth == 0) {
        Field(kOwnerThread).store(0);
        OwnerStart().store(0);
        FHolder.store(0);
        FSystemLock->Give();
    }
}
