#pragma once
// A lock that works across processes: a small block of shared memory that shows the lock's
// state, and a shared system lock that the waiters wait on. Uncontended, taking and releasing
// it are a few atomic operations; on machines with more than one processor a taker first tries
// SpinLimit times before it waits. The holding thread may take it again (it counts the depth).
//
// The block, "Optex_MMF_" + name, starts with four 32-bit integers: SpinLimit, Contention (0
// when free, else 1 plus the number of further acquisitions by the holder), OwnerThread (0 when
// free) and Depth, then the holder's start time (u64). Waiters wait in the system lock
// "Optex_Event_" + name and hold no share of the count, so a waiter that is killed leaves
// nothing behind; a holder that is killed hands the lock to the next taker, which drops the
// dead holder's share. A holder that lives but does not let go within kStuckMs (stopped,
// frozen) is not waited for any longer: Acquire raises EJclLockTimeout.
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
// The lock's holder did not let go in time.
class EJclLockTimeout : public Exception {
public:
    using Exception::Exception;
    std::string ClassName() const override { return "EJclLockTimeout"; }
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
    // Raises EJclLockTimeout when the holder keeps the lock past kStuckMs, EJclEventError when
    // the system lock fails.
    void Acquire();
    void Release();

    const std::string& Name() const { return FName; }
    // Whether the lock already existed (another process had it open).
    bool Existed() const { return FExisted; }
    int SpinLimit() const;
    // Whether the names still lead to this lock's objects (the last copy removes them).
    bool Current() const;
    // Removes the lock's names; whoever has them open keeps them.
    void Remove();

    static constexpr int kStuckMs = 4000;

private:
    std::atomic_ref<int32_t> Field(int index) const;
    std::atomic_ref<uint64_t> OwnerStart() const;
    void TakeOwnership(uint32_t thread);

    TInterProcess& FIpc;
    std::string FName;
    std::unique_ptr<TNamedLock> FSystemLock;
    std::unique_ptr<TSharedBlock> FShared;
    bool FExisted = false;
    // The holder in this process and its depth: only the holding thread reads them.
    std::atomic<uint32_t> FHolder{0};
    int FDepth = 0;
};
