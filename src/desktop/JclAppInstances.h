#pragma once
// The registry of the running copies of one program file: a named shared block that every copy
// started from the same path (compared without regard to letter case) opens, holding the copies'
// process ids, oldest first, under a cross-process lock; and the messages the copies send each
// other through their ports.
//
// Names, all built from RegistryNameBase ("Jcl" + the program's full path upper-cased, "/" and
// "\" turned into "_"): the lock base + "_Otx", the registry base + "_Map", the instance message
// base + "_Msg"; the ports' channel is the base itself.
//
// The registry block is 1032 bytes, little-endian: Limit (u16; 0 until the first copy
// registers, then 65535), Count (u16), 257 process ids (u32). On Linux the block lives on when a
// copy is killed, so after those 1032 bytes each entry's process start time is kept (u64 × 257),
// and entries whose process no longer runs, or whose id now belongs to a later process, are
// dropped whenever the registry is opened, registered in or counted. After the start times
// comes each entry's check state (u8 × 257, TJclCheckState): copies that check at the same
// moment decide under the lock, one after the other, by what the others have decided.
//
// The last copy to unregister removes the lock and the registry; a copy that finds, holding
// the lock, that its objects were removed meanwhile opens them anew.
//
// There is one object per process (Instance()), kept while a guard component uses it.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "desktop/JclOptex.h"
#include "platform/InterProcess.h"

// The kinds of the instance message (its WParam).
enum TJclInstanceMessageKind : uint64_t {
    AI_INSTANCECREATED = 1,
    AI_INSTANCEDESTROYED = 2,
    AI_USERMSG = 3,
    AI_QUERYACTIVE = 4,
    AI_ACTIVEREPLY = 5,
};
// WM_COPYDATA's dwData for a handed-over command line.
inline constexpr uint64_t CommandLineData = 1;

// Where a registered copy stands in its check of the limit.
enum class TJclCheckState : uint8_t {
    csNone = 0,      // not checking: its guard is off, or it has not checked yet
    csDeciding = 1,  // asking the others
    csStaying = 2,   // enforces the limit and runs on
    csLeaving = 3,   // refused, ending
};

inline constexpr int kMaxRegisteredProcesses = 257;
inline constexpr size_t kRegistryBlockSize = 4 + 4 * kMaxRegisteredProcesses;

class TJclAppInstances {
public:
    // Opens (or creates) the registry of the program file at programPath.
    TJclAppInstances(TInterProcess& ipc, const std::string& programPath);
    // Unregisters the process when it is still registered.
    ~TJclAppInstances();
    TJclAppInstances(const TJclAppInstances&) = delete;
    TJclAppInstances& operator=(const TJclAppInstances&) = delete;

    // The process's object, made on first use for the running program's own path.
    static std::shared_ptr<TJclAppInstances> Instance(TInterProcess& ipc);
    // The process's object while one exists, else nullptr.
    static std::shared_ptr<TJclAppInstances> Current();

    static std::string RegistryNameBase(const std::string& programPath);

    // Adds the process; false when it is past the limit, or the registry is full (then nothing
    // is written and Registered() stays false). Broadcasts InstanceCreated when within the
    // limit.
    bool RegisterProcess(uint16_t limit);
    // Removes the process's entry and broadcasts InstanceDestroyed.
    void UnregisterProcess();
    int CountProcesses();
    // 0 when index is past the registered copies.
    uint32_t ProcessIdAt(int index);
    // The copy's application window (here: its port, named by its process id); 0 for none.
    uint32_t FindApplicationWindow(int index);
    // Restores the copy's main window if it is minimised or in the tray, and brings it to the
    // front. False when the copy has no window to ask.
    bool ActivateInstance(int index);
    // Hands the command line (every parameter followed by CR LF) to every registered copy's
    // window of that class, the sender's own included, as WM_COPYDATA from originWindow.
    void SendCommandLine(const std::string& windowClassName, uint64_t originWindow);
    void BroadcastToInstances(uint64_t kind, uint64_t value);
    // The index of that process among the registered copies, -1 when it is not there.
    int IndexOf(uint32_t processId);

    // The check of the limit, in three steps under the lock. BeginCheck: false when at most
    // maxInstances copies are registered (this copy then stays); else this copy is deciding.
    bool BeginCheck(int maxInstances);
    // The registered copies with their states, oldest first, this one included.
    std::vector<std::pair<uint32_t, TJclCheckState>> CheckStates();
    // The copy this one gives way to, or 0 when it stays. It gives way when maxInstances other
    // copies run on ahead of it: copies that stay, or answered that they enforce the limit
    // (answeredActive), and copies registered earlier that are deciding; the oldest of those
    // that stay comes first. This copy is then leaving, else staying.
    uint32_t DecideCheck(int maxInstances, const std::vector<uint32_t>& answeredActive);
    void SetCheckState(TJclCheckState state);

    uint32_t ProcessId() const { return FProcessId; }
    bool Registered() const { return FRegistered; }
    uint32_t InstanceMessage() const { return FInstanceMessage; }
    const std::string& Channel() const { return FBase; }
    TInterProcess& Ipc() const { return FIpc; }

    // The command-line text a refused copy hands over.
    static std::string CommandLineText(const std::vector<std::string>& parameters);

private:
    uint16_t Limit() const;
    uint16_t Count() const;
    void SetCount(uint16_t count);
    uint32_t Entry(int index) const;
    uint64_t EntryStart(int index) const;
    void SetEntry(int index, uint32_t processId, uint64_t start);
    TJclCheckState State(int index) const;
    void SetState(int index, TJclCheckState state);
    // Drops the entries of processes that no longer run; the lock is held.
    void DropEndedProcesses();
    std::vector<uint32_t> RegisteredProcesses();
    // Opens the lock and the registry (again, when they were removed meanwhile).
    void OpenObjects();
    // Takes the lock of objects that are still in place.
    void AcquireCurrent();
    int OwnIndex() const;

    class THold;

    TInterProcess& FIpc;
    std::string FBase;
    uint32_t FProcessId;
    uint64_t FStartTime;
    std::unique_ptr<TSharedBlock> FRegistryView;
    uint32_t FInstanceMessage = 0;
    std::unique_ptr<TJclOptex> FLock;
    bool FRegistered = false;
};

// Holds the lock for a scope, releasing it also when what runs inside throws.
class TJclOptexHold {
public:
    explicit TJclOptexHold(TJclOptex& lock) : FLock(lock) { FLock.Acquire(); }
    ~TJclOptexHold() { FLock.Release(); }
    TJclOptexHold(const TJclOptexHold&) = delete;
    TJclOptexHold& operator=(const TJclOptexHold&) = delete;

private:
    TJclOptex& FLock;
};
