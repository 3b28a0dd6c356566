#include "support/FakeInterProcess.h"

namespace {

class TFakeBlock : public TSharedBlock {
public:
    explicit TFakeBlock(std::shared_ptr<std::vector<uint8_t>> bytes) : FBytes(std::move(bytes)) {}
    uint8_t* Data() const override { return FBytes->data(); }
    size_t Size() const override { return FBytes->size(); }
    bool Current() const override { return true; }

private:
    std::shared_ptr<std::vector<uint8_t>> FBytes;
};

// One process, one thread: the lock is always free when it is taken.
class TFakeLock : public TNamedLock {
public:
    TTake TryTake() override { return TTake::tTaken; }
    TTake Take(int) override { return TTake::tTaken; }
    void Give() override {}
    bool Current() const override { return true; }
};

// A port nothing ever reaches: it tells of arrivals itself, and never has one.
class TFakePort : public TMessagePort {
public:
    int Descriptor() const override { return -1; }
    TReceive Receive(TCopyMessage&) override { return TReceive::rNone; }
    void Reply(const TCopyMessage&) override {}
};

}  // namespace

std::unique_ptr<TMessagePort> TFakeInterProcess::OpenPort(const std::string&, uint32_t) {
    return std::make_unique<TFakePort>();
}

std::unique_ptr<TSharedBlock> TFakeInterProcess::OpenSharedBlock(const std::string& name,
                                                                 size_t size, bool& existed, int&) {
    auto& bytes = Blocks[name];
    existed = bytes != nullptr;
    if (!bytes) {
        bytes = std::make_shared<std::vector<uint8_t>>(size);
    }
    if (bytes->size() < size) {
        bytes->resize(size);
    }
    return std::make_unique<TFakeBlock>(bytes);
}

std::unique_ptr<TNamedLock> TFakeInterProcess::OpenLock(const std::string&, bool& existed, int&) {
    existed = false;
    return std::make_unique<TFakeLock>();
}

uint64_t TFakeInterProcess::StartTime(uint32_t id) const {
    const auto it = Running.find(id);
    return it == Running.end() ? 0 : it->second;
}
