#pragma once
// The instance guard's objects on Windows: named file mappings and mutexes in the session's own
// namespace (Local\), which no other user's session can see, and one message-only window per
// copy that takes window messages and WM_COPYDATA, found by the channel and the copy's process
// id.
// A name is the system's own as soon as the last handle to it closes, so there is nothing to
// remove by hand.

#include "platform/InterProcess.h"

class TWindowsInterProcess : public TInterProcess {
public:
    std::unique_ptr<TSharedBlock> OpenSharedBlock(const std::string& name, size_t size,
                                                  bool& existed, int& error) override;
    std::unique_ptr<TNamedLock> OpenLock(const std::string& name, bool& existed,
                                         int& error) override;
    void RemoveShared(const std::string&) override {}
    std::string ErrorText(int error) const override;
    // Nothing stands in the way of a session's own namespace: another user's session has a
    // namespace of its own and can hold no name in ours.
    std::string ObjectsBlocked() const override { return std::string(); }

    uint32_t CurrentProcessId() const override;
    uint32_t CurrentThreadId() const override;
    unsigned ProcessorCount() const override;
    uint64_t StartTime(uint32_t id) const override;
    std::vector<std::string> CommandLineParameters() const override;

    uint32_t RegisterWindowMessage(const std::string& name) const override;

    // The port is a hidden window of the calling thread, served by its message loop.
    std::unique_ptr<TMessagePort> OpenPort(const std::string& channel, uint32_t processId) override;
    bool PortExists(const std::string& channel, uint32_t processId) const override;
    void RemovePort(const std::string&, uint32_t) override {}
    void RemoveEndedPorts(const std::string&) override {}
    // WM_COPYDATA can only be sent: it is, with waitMs as the limit; other messages are posted.
    bool PostMessage(const std::string& channel, uint32_t processId, const TCopyMessage& message,
                     int waitMs) override;
    // While it waits, Windows itself hands the messages sent to this thread's windows to them,
    // so own and serve are not needed. An answer carries no bytes: its message number, and
    // values of up to 20 bits each.
    bool SendMessage(const std::string& channel, uint32_t processId, const TCopyMessage& message,
                     TCopyMessage& answer, int timeoutMs, TMessagePort* own,
                     const std::function<void()>& serve) override;

    // The kernel-object name for one of the guard's names: in the session's namespace, with
    // the backslashes a name may not hold made slashes.
    static std::string ObjectName(const std::string& name);
    // The title that finds a copy's port.
    static std::string PortTitle(const std::string& channel, uint32_t processId);
};
