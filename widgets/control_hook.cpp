#include "widgets/control_hook.h"

#include <QEvent>

#include "platform/base/errors.h"
#include "platform/ui/application.h"
#include "platform/ui/forms.h"

namespace orv {

class TControlHook::Filter : public QObject {
public:
    explicit Filter(TControlHook* hook) : hook_(hook) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        bool handled = false;
        Guard(hook_, [&] { handled = hook_->HookProc(watched, event); });
        return handled;
    }

private:
    TControlHook* hook_;
};

TControlHook::TControlHook(TComponent* owner, std::string name)
    : TComponent(owner, std::move(name)), filter_(std::make_unique<Filter>(this)) {}

TControlHook::~TControlHook() {
    SetHook(false);
    if (control_) RemoveFreeNotification(control_);
}

void TControlHook::SetTarget(THookTarget target) {
    SetHook(false);
    target_ = target;
    SetHook(true);
}

void TControlHook::SetControl(TWinControl* control) {
    SetHook(false);
    if (control_ && control_ != hookedControl_) RemoveFreeNotification(control_);
    control_ = control;
    // Told when it goes, so no dangling reference stays behind.
    if (control_) FreeNotification(control_);
    SetHook(true);
}

void TControlHook::Loaded() {
    TComponent::Loaded();
    SetControl(control_);
}

TForm* TControlHook::FindOwnerForm(TComponent* component) {
    for (TComponent* c = component; c; c = c->Owner()) {
        if (auto* form = dynamic_cast<TForm*>(c)) return form;
        if (auto* control = dynamic_cast<TControl*>(c)) {
            for (TControl* p = control; p; p = p->Parent())
                if (auto* form = dynamic_cast<TForm*>(p)) return form;
            return nullptr;
        }
    }
    return nullptr;
}

TWinControl* TControlHook::HookTarget() {
    if (target_ == THookTarget::htControl) return control_;
    return FindOwnerForm(control_ ? static_cast<TComponent*>(control_) : this);
}

void TControlHook::SetHook(bool hook) {
    if (!hook) {
        if (!hookedControl_) return;
        DetachFilter();
        hookedControl_->RemoveHandleListener(this);
        if (hookedControl_ != control_) RemoveFreeNotification(hookedControl_);
        hookedHandle_ = nullptr;
        hookedControl_ = nullptr;
        pending_ = false;
        return;
    }
    TWinControl* t = HookTarget();
    if (!t || !t->HandleAllocated()) {
        if (target_ == THookTarget::htForm) throw Exception("フック先を特定できません。");
        return;
    }
    hookedHandle_ = t->HandleWidget();
    hookedControl_ = t;
    pending_ = false;
    FreeNotification(t);
    t->AddHandleListener(this);
    AttachFilter(t->HandleWidget());
    // The widget is known from now on (a drop target registers it).
    HandleChanged(2);
}

void TControlHook::AttachFilter(QWidget* widget) {
    DetachFilter();
    if (!widget) return;
    widget->installEventFilter(filter_.get());
    filteredWidget_ = widget;
}

void TControlHook::DetachFilter() {
    if (filteredWidget_) filteredWidget_->removeEventFilter(filter_.get());
    filteredWidget_ = nullptr;
}

void TControlHook::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove) return;
    if (component == hookedControl_) {
        HandleChanged(1);
        DetachFilter();
        hookedControl_->RemoveHandleListener(this);
        hookedControl_ = nullptr;
        pending_ = false;
    }
    if (component == control_) control_ = nullptr;
}

void TControlHook::HandleDestroying(TWinControl* control) {
    if (control != hookedControl_) return;
    DetachFilter();
    HandleChanged(1);
}

void TControlHook::HandleCreated(TWinControl* control) {
    if (control != hookedControl_) return;
    pending_ = true;
    AttachFilter(control->HandleWidget());
    // The new widget exists at once here; no need to wait for its first event.
    if (control->HandleAllocated()) HandleChanged(2);
}

void TControlHook::HandleChanged(int kind) {
    if (kind == 1) {
        hookedHandle_ = nullptr;
    } else if (hookedControl_) {
        hookedHandle_ = hookedControl_->HandleWidget();
        pending_ = false;
    }
}

bool TControlHook::HookProc(QObject* watched, QEvent* event) {
    if (watched != filteredWidget_.data()) return false;
    if (pending_ && hookedControl_ && hookedControl_->HandleAllocated()) HandleChanged(2);
    return WndProc(event);
}

bool TControlHook::WndProc(QEvent*) { return false; }

}  // namespace orv
