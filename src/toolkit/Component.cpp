#include "toolkit/Component.h"

#include <strings.h>
#include <algorithm>

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner != nullptr) {
        AOwner->InsertComponent(this);
    }
}

TComponent::~TComponent() {
    FState |= csDestroying;
    // Tell everyone who keeps a reference, then give up the references this one keeps.
    while (!FFreeNotifies.empty()) {
        TComponent* other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        other->RemoveNotification(this);
        other->Notification(this, TOperation::opRemove);
    }
    DestroyComponents();
    if (FOwner != nullptr) {
        FOwner->RemoveComponent(this);
    }
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    if (name.empty()) {
        return nullptr;
    }
    for (TComponent* c : FComponents) {
        if (strcasecmp(c->FName.c_str(), name.c_str()) == 0) {
            return c;
        }
    }
    return nullptr;
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (AComponent == nullptr || AComponent == this) {
        return;
    }
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end()) {
        FFreeNotifies.push_back(AComponent);
    }
    // Both sides forget each other, whichever goes first.
    if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) ==
        AComponent->FFreeNotifies.end()) {
        AComponent->FFreeNotifies.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    RemoveNotification(AComponent);
    if (AComponent != nullptr) {
        AComponent->RemoveNotification(this);
    }
}

void TComponent::RemoveNotification(TComponent* AComponent) {
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent),
                        FFreeNotifies.end());
}

void TComponent::BeginLoading() {
    FState |= csLoading;
    for (TComponent* c : FComponents) {
        c->BeginLoading();
    }
}

void TComponent::EndLoading() {
    Loaded();
    // Copy: a Loaded() handler may create components.
    const std::vector<TComponent*> owned = FComponents;
    for (TComponent* c : owned) {
        if (c->IsLoading()) {
            c->EndLoading();
        }
    }
}

void TComponent::Loaded() {
    FState &= ~static_cast<unsigned>(csLoading);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove && AComponent != nullptr) {
        RemoveNotification(AComponent);
    }
    for (TComponent* c : FComponents) {
        if (c != AComponent) {
            c->Notification(AComponent, Operation);
        }
    }
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* c = FComponents.back();
        RemoveComponent(c);
        delete c;
    }
}

void TComponent::InsertComponent(TComponent* AComponent) {
    AComponent->FOwner = this;
    if (IsLoading()) {
        AComponent->FState |= csLoading;
    }
    FComponents.push_back(AComponent);
    Notification(AComponent, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    Notification(AComponent, TOperation::opRemove);
    FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), AComponent),
                      FComponents.end());
    AComponent->FOwner = nullptr;
}
