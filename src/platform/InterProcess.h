#pragma once
// What the instance guard needs from the operating system: blocks of memory and locks that
// processes share by name, who is running (and since when, so a reused process id is not taken
// for the process that had it before), and messages between the running copies of a program.
// Named objects are the user's own: no other user can make, read or change them, whatever
// names they make first.
//
// The messages stand in for window messages: every copy that listens has one port, which is at
// once its application window and its guard's hidden window; a port is found by the copy's
// process id. A message is a number with two values, and WM_COPYDATA's messages carry bytes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The window messages the copies exchange besides the registered instance message.
inline constexpr uint32_t WM_COPYDATA = 0x004A;
// Asks the copy to bring its main window to the front (what SetForegroundWindow does to a
// window from the outside).
inline constexpr uint32_t WM_ACTIVATEAPP = 0x001C;
// The first number RegisterWindowMessage hands out; registered messages lie above it.
inline constexpr uint32_t kFirstRegisteredMessage = 0xC000;

// The most bytes one WM_COPYDATA message carries.
inline constexpr size_t kMaxCopyDataSize = 64 * 1024;

struct TCopyMessage {
    uint32_t Msg = 0;
    uint64_t WParam = 0;
    uint64_t LParam = 0;
    // WM_COPYDATA's bytes; empty for every other message.
    std::string Data;
    bool operator==(const TCopyMessage&) const = default;
};

// A block of memory shared by name; it stays mapped while the object lives.
class TSharedBlock {
public:
    virtual ~TSharedBlock() = default;
    virtual uint8_t* Data() const = 0;
    virtual size_t Size() const = 0;
    // Whether the name still leads to this block: once it is removed, those who have it open
    // keep a block nobody else can find.
    virtual bool Current() const = 0;
};

// A lock shared by name. Whoever waits for it waits in the system and holds no share of it, so a
// waiter that dies leaves nothing behind; a holder that dies lets the next taker in, and that
// taker is told.
class TNamedLock {
public:
    virtual ~TNamedLock() = default;
    enum class TTake { tTaken, tTakenFromDead, tBusy, tFailed };
    // tBusy when someone else holds it.
    virtual TTake TryTake() = 0;
    // Waits up to timeoutMs; tBusy when it is still held by then.
    virtual TTake Take(int timeoutMs) = 0;
    virtual void Give() = 0;
    virtual bool Current() const = 0;
};

// The receiving end of one copy.
class TMessagePort {
public:
    virtual ~TMessagePort() = default;
    // Readable while something waits to be taken in: a connection, a message, or the end of a
    // sender's time to send one.
    // -1 where the port tells of arrivals itself (SetArrivalHandler).
    virtual int Descriptor() const = 0;
    // Where Descriptor() is -1: calls arrived() on the thread that opened the port whenever
    // something may wait to be taken in, until the port is destroyed.
    virtual void SetArrivalHandler(std::function<void()> arrived) { (void)arrived; }

    enum class TReceive { rNone, rDropped, rMessage };
    // Takes the next waiting message without ever waiting for one. rDropped: one came but was
    // refused (another user's, malformed, truncated, oversized, or nothing sent in time); rNone:
    // nothing more to take now.
    virtual TReceive Receive(TCopyMessage& message) = 0;
    // Answers the message taken last, when its sender waits for an answer.
    virtual void Reply(const TCopyMessage& answer) = 0;
};

class TInterProcess {
public:
    virtual ~TInterProcess() = default;

    // Opens the block of that name, creating it zero-filled when there is none (existed tells
    // which). nullptr when impossible; error then holds the system's error number.
    virtual std::unique_ptr<TSharedBlock> OpenSharedBlock(const std::string& name, size_t size,
                                                          bool& existed, int& error) = 0;
    // Opens the lock of that name, creating it free when there is none.
    virtual std::unique_ptr<TNamedLock> OpenLock(const std::string& name, bool& existed,
                                                 int& error) = 0;
    // Removes the name of a block or lock; those who have it open keep using it.
    virtual void RemoveShared(const std::string& name) = 0;
    // The system's text for an error number.
    virtual std::string ErrorText(int error) const = 0;
    // Why no named object can be made at all, for the user to read: the places they would live
    // in and who holds them ("/tmp/latmo-1000 to /tmp/latmo-1000.7 belong to another user,
    // nobody (uid 65534)"); empty when nothing stands in the way.
    virtual std::string ObjectsBlocked() const = 0;

    virtual uint32_t CurrentProcessId() const = 0;
    virtual uint32_t CurrentThreadId() const = 0;
    virtual unsigned ProcessorCount() const = 0;
    // When the process (or thread) of that id started, as a number that only a later start
    // exceeds; 0 when no such process runs (an ended one that is not yet reaped included).
    virtual uint64_t StartTime(uint32_t id) const = 0;
    // The program's parameters 1 to N, as it was started.
    virtual std::vector<std::string> CommandLineParameters() const = 0;

    // The same number for the same name in every process.
    virtual uint32_t RegisterWindowMessage(const std::string& name) const = 0;

    // The port of this copy among the copies that share the channel; nullptr when none can be
    // opened (the copy then receives nothing).
    virtual std::unique_ptr<TMessagePort> OpenPort(const std::string& channel,
                                                   uint32_t processId) = 0;
    virtual bool PortExists(const std::string& channel, uint32_t processId) const = 0;
    // Removes what a copy that ended without closing its port left behind.
    virtual void RemovePort(const std::string& channel, uint32_t processId) = 0;
    // Removes the ports of the channel whose process has ended (copies killed before they
    // were registered).
    virtual void RemoveEndedPorts(const std::string& channel) = 0;
    // Hands a message to a copy's port without waiting for it to be handled. A copy that takes
    // no connections now (too many waiting, stopped) is waited for up to waitMs.
    virtual bool PostMessage(const std::string& channel, uint32_t processId,
                             const TCopyMessage& message, int waitMs) = 0;
    // Sends a message and waits up to timeoutMs for the copy's answer; false when none came.
    // While waiting, serve() runs whenever a message arrives at own (when given), so that two
    // copies asking each other at once both get their answers.
    virtual bool SendMessage(const std::string& channel, uint32_t processId,
                             const TCopyMessage& message, TCopyMessage& answer, int timeoutMs,
                             TMessagePort* own, const std::function<void()>& serve) = 0;
};
