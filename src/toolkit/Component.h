#pragma once
// The component model the window is built from: every component has an owner that frees it,
// a Name, a Tag for the owner's own use, a destruction notification for components that keep
// a reference to it, and a loading phase that ends in Loaded().

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/Classes.h"
#include "toolkit/Published.h"

enum class TOperation { opInsert, opRemove };

enum TComponentStateFlag : unsigned {
    csLoading = 1u << 0,
    csDestroying = 1u << 1,
    csDesigning = 1u << 2,
};

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    const std::string& Name() const { return FName; }
    void SetName(const std::string& value) { FName = value; }
    int32_t Tag() const { return FTag; }
    void SetTag(int32_t value) { FTag = value; }

    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int index) const { return FComponents.at(static_cast<size_t>(index)); }
    // Case-insensitive, as names are throughout the window.
    TComponent* FindComponent(const std::string& name) const;

    unsigned ComponentState() const { return FState; }
    bool IsLoading() const { return (FState & csLoading) != 0; }
    bool IsDestroying() const { return (FState & csDestroying) != 0; }
    bool IsDesigning() const { return (FState & csDesigning) != 0; }

    // AComponent will get Notification(this, opRemove) when this component is destroyed.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    // Marks this component and the ones it owns as being loaded; EndLoading() ends the phase
    // and runs Loaded() on this component, then on the owned ones in creation order.
    void BeginLoading();
    void EndLoading();

    std::string ClassName() const override { return "TComponent"; }

    // The properties stored settings may name.
    const TPublishedProperties& Published() const { return FPublished; }

protected:
    TPublishedProperties& Publish() { return FPublished; }
    virtual void Loaded();
    virtual void Notification(TComponent* AComponent, TOperation Operation);
    // Frees the owned components, the newest first, telling the others of each one. The base
    // destructor does this too, but by then overrides of Notification() no longer run, so a
    // class whose Notification() matters calls this from its own destructor.
    void DestroyComponents();

private:
    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);
    void RemoveNotification(TComponent* AComponent);

    TComponent* FOwner = nullptr;
    std::string FName;
    int32_t FTag = 0;
    unsigned FState = 0;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    TPublishedProperties FPublished;
};
