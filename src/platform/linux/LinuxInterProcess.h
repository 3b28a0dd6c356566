#pragma once
// The instance guard's operating-system parts on Linux.
//
// - Everything lives in the guard's folder (GuardDirectory), which depends on the user id
//   alone, so that copies started with different environments still find each other, and in
//   which no other user can make a name.
// - Named blocks are files there, mapped into memory; named locks robust process-shared
//   mutexes in such files (LinuxSharedFiles.h). A name longer than a file name may be is
//   shortened (ObjectName).
// - A process's start time is field 22 of /proc/<id>/stat, so a process id that the kernel has
//   handed out again is not taken for the process that had it before.
// - A copy's port is a Unix-domain sequenced-packet socket "<channel hash>-<process id>" there
//   (LinuxMessagePort.h). Each message is one connection carrying one packet
//   (CopyMessageWire.h); an answer comes back on the same connection. A connection from a
//   process of another user is refused by its peer credentials, on both ends.

#include <string>

#include "platform/InterProcess.h"

class TLinuxInterProcess : public TInterProcess {
public:
    std::unique_ptr<TSharedBlock> OpenSharedBlock(const std::string& name, size_t size,
                                                  bool& existed, int& error) override;
    std::unique_ptr<TNamedLock> OpenLock(const std::string& name, bool& existed,
                                         int& error) override;
    void RemoveShared(const std::string& name) override;
    std::string ErrorText(int error) const override;
    std::string ObjectsBlocked() const override;

    uint32_t CurrentProcessId() const override;
    uint32_t CurrentThreadId() const override;
    unsigned ProcessorCount() const override;
    uint64_t StartTime(uint32_t id) const override;
    std::vector<std::string> CommandLineParameters() const override;
    uint32_t RegisterWindowMessage(const std::string& name) const override;

    std::unique_ptr<TMessagePort> OpenPort(const std::string& channel, uint32_t processId) override;
    bool PortExists(const std::string& channel, uint32_t processId) const override;
    void RemovePort(const std::string& channel, uint32_t processId) override;
    void RemoveEndedPorts(const std::string& channel) override;
    bool PostMessage(const std::string& channel, uint32_t processId, const TCopyMessage& message,
                     int waitMs) override;
    bool SendMessage(const std::string& channel, uint32_t processId, const TCopyMessage& message,
                     TCopyMessage& answer, int timeoutMs, TMessagePort* own,
                     const std::function<void()>& serve) override;

    // The file name a shared object has in the guard's folder: the name itself, or, for a name
    // longer than kMaxObjectName bytes (a file name may have 255, and a lock is first made
    // under its name and a suffix), its first bytes, "~" and 16 hexadecimal digits of its
    // 64-bit FNV-1a hash, kMaxObjectName bytes in all.
    static std::string ObjectName(const std::string& name);
    static constexpr size_t kMaxObjectName = 224;
    // The folder of this user's guard objects, the same for every process of the user whatever
    // its environment: "latmo" in the user's runtime folder /run/user/<uid> where that is a real
    // folder of the user's that nobody else may enter; else the first of /tmp/latmo-<uid>,
    // /tmp/latmo-<uid>.1, ... that is (or can be made) such a folder, since another user may
    // have taken a name there first. Empty when there is none.
    static std::string GuardDirectory();
    // Removes the file at path in the guard's folder, and the folder with it once that was its
    // last file, so that nothing is left behind when the last copy ends. A copy that makes a
    // file there meanwhile and finds the folder gone makes it again (the open functions below
    // try once more).
    static void RemoveFromGuardFolder(const std::string& path);
    // Why each name GuardDirectory tries under /tmp is not a folder for the guard (its owner
    // named), consecutive names for the same reason said at once; empty where there is a folder.
    static std::string GuardDirectoryBlocked();
    // The socket file of a copy's port; empty when there is no port directory.
    static std::string PortPath(const std::string& channel, uint32_t processId);
    // The start time in /proc/<id>/stat's text (0 for an ended process); exposed for tests.
    static uint64_t ParseStartTime(const std::string& statText);
};
