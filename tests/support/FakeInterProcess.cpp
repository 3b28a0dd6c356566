#include "support/FakeInterProcess.h"

namespace {

class TFakeBlock : public TSharedBlock {
public:
    explicit TFakeBlock(std::shared_ptr<std::vector<uint8_t>> bytes) : FBytes(std::move(bytes)) {}
    uint8_t* Data() const override { return FBytes->data(); }
    size_t Size() const override { return FBytes->size(); }

private:
    std::shared_ptr<std::vector<uint8_t>> FBytes;
};

// Never waited on in one process: the lock is always free or held by the waiter itself.
class TFakeEvent : public TNamedEvent {
public:
    bool Set() override { return true; }
    bool Wait(int) override { return true; }
};

}  // namespace

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

std::unique_ptr<TNamedEvent> TFakeInterProcess::OpenEvent(const std::string&, bool& existed, int&) {
    existed = false;
    return std::make_unique<TFakeEvent>();
}

uint64_t TFakeInterProcess::StartTime(uint32_t id) const {
    const auto it = Running.find(id);
    return it == Running.end() ? 0 : it->second;
}
