#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/Component.h"

namespace {

std::vector<std::string> gEvents;

class TProbeComponent : public TComponent {
public:
    TProbeComponent(TComponent* owner, const std::string& name) : TComponent(owner) {
        SetName(name);
    }
    ~TProbeComponent() override { gEvents.push_back("free " + Name()); }
    TComponent* Watched = nullptr;

protected:
    void Loaded() override {
        TComponent::Loaded();
        gEvents.push_back("loaded " + Name());
    }
    void Notification(TComponent* c, TOperation op) override {
        TComponent::Notification(c, op);
        if (op == TOperation::opRemove && c == Watched) {
            Watched = nullptr;
            gEvents.push_back(Name() + " forgets " + c->Name());
        }
    }
};

TEST(Component, OwnerFreesChildrenNewestFirst) {
    gEvents.clear();
    {
        TProbeComponent owner(nullptr, "owner");
        new TProbeComponent(&owner, "a");
        new TProbeComponent(&owner, "b");
        EXPECT_EQ(owner.ComponentCount(), 2);
        EXPECT_EQ(owner.FindComponent("B")->Name(), "b");
        EXPECT_EQ(owner.FindComponent("c"), nullptr);
    }
    EXPECT_EQ(gEvents, (std::vector<std::string>{"free owner", "free b", "free a"}));
}

TEST(Component, FreeingAChildRemovesItFromItsOwner) {
    TProbeComponent owner(nullptr, "owner");
    auto* a = new TProbeComponent(&owner, "a");
    delete a;
    EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(Component, DestructionIsNotifiedToWatchersEitherWay) {
    gEvents.clear();
    TProbeComponent watcher(nullptr, "watcher");
    {
        TProbeComponent target(nullptr, "target");
        watcher.Watched = &target;
        target.FreeNotification(&watcher);
    }
    EXPECT_EQ(watcher.Watched, nullptr);
    EXPECT_NE(std::find(gEvents.begin(), gEvents.end(), "watcher forgets target"), gEvents.end());

    // The watcher going first must not leave the target with a dangling reference.
    TProbeComponent target(nullptr, "target2");
    {
        TProbeComponent shortLived(nullptr, "short");
        target.FreeNotification(&shortLived);
    }
    SUCCEED();  // target2's destructor runs under the sanitizers without touching "short"
}

TEST(Component, LoadingEndsWithLoadedOnOwnerThenChildren) {
    gEvents.clear();
    TProbeComponent owner(nullptr, "owner");
    owner.BeginLoading();
    auto* a = new TProbeComponent(&owner, "a");
    EXPECT_TRUE(a->IsLoading());
    new TProbeComponent(&owner, "b");
    owner.EndLoading();
    EXPECT_FALSE(a->IsLoading());
    EXPECT_FALSE(owner.IsLoading());
    EXPECT_EQ(gEvents, (std::vector<std::string>{"loaded owner", "loaded a", "loaded b"}));
}

}  // namespace
