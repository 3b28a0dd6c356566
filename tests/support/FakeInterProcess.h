#pragma once
// Shared blocks and locks that live in this process only, one running copy whose start time
// the test sets, and a port nothing reaches: enough for a window that registers itself and checks
// the other copies without touching the machine's shared objects.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/InterProcess.h"

class TFakeInterProcess : public TInterProcess {
public:
    std::unique_ptr<TSharedBlock> OpenSharedBlock(const std::string& name, size_t size,
                                                  bool& existed, int& error) override;
    std::unique_ptr<TNamedLock> OpenLock(const std::string& name, bool& existed,
                                         int& error) override;
    void RemoveShared(const std::string& name) override { Blocks.erase(name); }
    std::string ErrorText(int error) const override { return "error " + std::to_string(error); }
    std::string ObjectsBlocked() const override { return std::string(); }

    uint32_t CurrentProcessId() const override { return ProcessId; }
    uint32_t CurrentThreadId() const override { return ProcessId; }
    unsigned ProcessorCount() const override { return 2; }
    uint64_t StartTime(uint32_t id) const override;
    std::vector<std::string> CommandLineParameters() const override { return {}; }
    uint32_t RegisterWindowMessage(const std::string&) const override { return 0xC123; }

    std::unique_ptr<TMessagePort> OpenPort(const std::string&, uint32_t) override;
    bool PortExists(const std::string&, uint32_t) const override { return false; }
    void RemovePort(const std::string&, uint32_t) override {}
    void RemoveEndedPorts(const std::string&) override {}
    bool PostMessage(const std::string&, uint32_t, const TCopyMessage&, int) override {
        return false;
    }
    bool SendMessage(const std::string&, uint32_t, const TCopyMessage&, TCopyMessage&, int,
                     TMessagePort*, const std::function<void()>&) override {
        return false;
    }

    uint32_t ProcessId = 4242;
    // Running processes and their start times; this copy runs from the start.
    std::map<uint32_t, uint64_t> Running{{4242, 1}};
    // Every block opened, by name.
    std::map<std::string, std::shared_ptr<std::vector<uint8_t>>> Blocks;
};
