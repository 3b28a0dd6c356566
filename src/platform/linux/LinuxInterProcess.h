#pragma once
// The instance guard's operating-system parts on Linux.
//
// - Named blocks are POSIX shared memory (shm_open + mmap), named events POSIX named
//   semaphores; a name longer than the system allows is shortened (ObjectName).
// - A process's start time is field 22 of /proc/<id>/stat, so a process id that the kernel has
//   handed out again is not taken for the process that had it before.
// - A copy's port is a Unix-domain sequenced-packet socket "<channel hash>-<process id>" in a
//   directory only this user can enter: $XDG_RUNTIME_DIR/latmo, or /tmp/latmo-<uid> where
//   there is no usable runtime directory. Each message is one connection carrying one packet
//   (CopyMessageWire.h); an answer comes back on the same connection. A connection from a
//   process of another user is refused by its peer credentials.

#include <string>

#include "platform/InterProcess.h"

class TLinuxInterProcess : public TInterProcess {
public:
    std::unique_ptr<TSharedBlock> OpenSharedBlock(const std::string& name, size_t size,
                                                  bool& existed, int& error) override;
    std::unique_ptr<TNamedEvent> OpenEvent(const std::string& name, bool& existed,
                                           int& error) override;
    std::string ErrorText(int error) const override;

    uint32_t CurrentProcessId() const override;
    uint32_t CurrentThreadId() const override;
    unsigned ProcessorCount() const override;
    uint64_t StartTime(uint32_t id) const override;
    std::vector<std::string> CommandLineParameters() const override;
    uint32_t RegisterWindowMessage(const std::string& name) const override;

    std::unique_ptr<TMessagePort> OpenPort(const std::string& channel, uint32_t processId) override;
    bool PortExists(const std::string& channel, uint32_t processId) const override;
    void RemovePort(const std::string& channel, uint32_t processId) override;
    bool PostMessage(const std::string& channel, uint32_t processId,
                     const TCopyMessage& message) override;
    bool SendMessage(const std::string& channel, uint32_t processId, const TCopyMessage& message,
                     TCopyMessage& answer, int timeoutMs, TMessagePort* own,
                     const std::function<void()>& serve) override;

    // The name a shared object is opened under: "/" + name, where a name longer than 251 bytes
    // (a semaphore's file name "sem." + name must stay within the system's 255) keeps its
    // first 234 bytes, then "~" and 16 hexadecimal digits of its 64-bit FNV-1a hash.
    static std::string ObjectName(const std::string& name);
    // The directory that holds the ports; empty when no private one can be had.
    static std::string PortDirectory();
    // The socket file of a copy's port; empty when there is no port directory.
    static std::string PortPath(const std::string& channel, uint32_t processId);
    // The start time in /proc/<id>/stat's text (0 for an ended process); exposed for tests.
    static uint64_t ParseStartTime(const std::string& statText);
};
