// Components: a name, an owner that lists them, and free notifications so a
// component can forget another one that goes away before it.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/ui_types.h"

namespace orv {

enum class TOperation { opInsert, opRemove };

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner = nullptr, std::string name = {});
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    std::string ClassName() const override { return "TComponent"; }

    const std::string& Name() const { return name_; }
    TComponent* Owner() const { return owner_; }
    long long Tag() const { return tag_; }
    void SetTag(long long tag) { tag_ = tag; }

    // Components this one owns, in creation order (not owning pointers: the
    // window class holds its components as members).
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }
    TComponent* FindComponent(const std::string& name) const;

    // Asks this component to call other->Notification(this, opRemove) when it
    // is destroyed.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

    // Called once the owning window has created every component.
    virtual void Loaded() {}

protected:
    virtual void Notification(TComponent* component, TOperation operation);
    // Runs the removal notifications early (before a subclass's destructor
    // tears down what listeners may still ask about); the base destructor
    // runs them otherwise.
    void NotifyRemoval();

private:
    std::string name_;
    TComponent* owner_ = nullptr;
    long long tag_ = 0;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> notified_;  // components that asked for a free notification
    bool removalNotified_ = false;
};

}  // namespace orv
