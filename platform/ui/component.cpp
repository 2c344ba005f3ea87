#include "platform/ui/component.h"

#include <algorithm>

namespace orv {

TComponent::TComponent(TComponent* owner, std::string name) : name_(std::move(name)), owner_(owner) {
    if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
    NotifyRemoval();
    // Owned components outlive their owner only when they are declared as
    // separate objects; they then forget it.
    for (TComponent* c : components_) c->owner_ = nullptr;
    if (owner_) std::erase(owner_->components_, this);
}

void TComponent::NotifyRemoval() {
    if (removalNotified_) return;
    removalNotified_ = true;
    // A listener may unregister others while being told; work on a copy and
    // skip the ones that left meanwhile.
    const std::vector<TComponent*> listeners = notified_;
    for (TComponent* l : listeners) {
        if (std::find(notified_.begin(), notified_.end(), l) == notified_.end()) continue;
        std::erase(l->notified_, this);
        l->Notification(this, TOperation::opRemove);
    }
    for (TComponent* l : notified_) std::erase(l->notified_, this);
    notified_.clear();
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (TComponent* c : components_)
        if (c->name_ == name) return c;
    return nullptr;
}

void TComponent::FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    if (std::find(notified_.begin(), notified_.end(), other) == notified_.end()) notified_.push_back(other);
    // Both ends know each other, so whichever goes first tells the other.
    if (std::find(other->notified_.begin(), other->notified_.end(), this) == other->notified_.end())
        other->notified_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    if (!other) return;
    std::erase(notified_, other);
    std::erase(other->notified_, this);
}

void TComponent::Notification(TComponent*, TOperation) {}

}  // namespace orv
