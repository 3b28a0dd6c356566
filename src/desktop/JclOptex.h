#pragma once
// A lock that works across processes: a small block of shared memory that holds the lock's
// state, and a shared event that wakes one waiter when the holder lets go. Uncontended, taking
// and releasing it are a few atomic operations; on machines with more than one processor a
// taker first spins (up to SpinLimit tries) before it waits.
//
// The block, "Optex_MMF_" + name, starts with four 32-bit integers: SpinLimit, Contention (0
// when free, else 1 plus the number of further acquisitions, waiting or recursive),
// OwnerThread (0 when free) and Depth. On Linux a process killed while holding the lock would
// keep it forever, so the owner also stamps its start time after those 16 bytes; a waiter that
// finds the owner gone (the thread no longer runs, or its id now belongs to a later thread)
// takes the lock over.
//
//   TJclOptex lock(ipc, "JclMYPROG_Otx");
//   lock.Acquire();   // recursive for the thread that holds it
//   ...               // change what the lock guards
//   lock.Release();

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/InterProcess.h"
#include "toolkit/Classes.h"

class EJclEventError : public Exception {
public:
    using Exception::Exception;
    std::string ClassName() const override { return "EJclEventError"; }
};
class EJclFileMappingError : public Exception {
public:
    using Exception::Exception;
    std::string ClassName() const override { return "EJclFileMappingError"; }
};
class EJclFileMappingViewError : public Exception {
public:
    using Exception::Exception;
    std::string ClassName() const override { return "EJclFileMappingViewError"; }
};

// The system's last error in the form the guard's errors carry, then a line naming the step.
std::string JclSystemErrorMessage(const TInterProcess& ipc, int error, const std::string& step);

class TJclOptex {
public:
    // Throws EJclEventError or EJclFileMappingError when the shared objects cannot be had.
    TJclOptex(TInterProcess& ipc, const std::string& name, int spinCount = 4000);
    ~TJclOptex();
    TJclOptex(const TJclOptex&) = delete;
    TJclOptex& operator=(const TJclOptex&) = delete;

    bool TryAcquire();
    void Acquire();
    void Release();

    const std::string& Name() const { return FName; }
    // Whether the event already existed (another process had the lock open).
    bool Existed() const { return FExisted; }
    int SpinLimit() const;

    // How long a waiter waits for the event before it looks whether the owner is still there.
    static constexpr int kOwnerCheckMs = 200;

private:
    std::atomic_ref<int32_t> Field(int index) const;
    std::atomic_ref<uint64_t> OwnerStart() const;
    void TakeOwnership(uint32_t thread);
    // Waits until the lock is handed over or taken over from a dead owner.
    void WaitForLock(uint32_t thread);
    bool OwnerAlive(uint32_t owner, uint64_t start) const;

    TInterProcess& FIpc;
    std::string FName;
    std::unique_ptr<TNamedEvent> FWakeEvent;
    std::unique_ptr<TSharedBlock> FShared;
    bool FExisted = false;
};
