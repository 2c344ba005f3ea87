// A component that puts itself in front of a windowed control's input
// widget (or of the form that holds it) and sees its events first. It
// follows the control through the replacement of that widget (a list view
// switching between its icon and report views).
#pragma once

#include <QPointer>
#include <memory>

#include "platform/ui/control.h"

class QEvent;

namespace orv {

class TForm;

enum class THookTarget { htControl, htForm };

class TControlHook : public TComponent, protected IHandleListener {
public:
    explicit TControlHook(TComponent* owner = nullptr, std::string name = {});
    ~TControlHook() override;
    std::string ClassName() const override { return "TControlHook"; }

    THookTarget Target() const { return target_; }
    // Unhooks, stores, hooks again. With htForm a target that cannot be
    // found raises "フック先を特定できません。".
    void SetTarget(THookTarget target);
    TWinControl* Control() const { return control_; }
    void SetControl(TWinControl* control);

    TWinControl* HookedControl() const { return hookedControl_; }
    // The input widget as last seen: null after it went away, and while a
    // replacement is being made (HandlePending).
    QWidget* HookedHandle() const { return hookedHandle_.data(); }
    bool HandlePending() const { return pending_; }

    // Hooks again now that the window is complete.
    void Loaded() override;

    // The form a component belongs to: a form itself, a control's parent
    // form, otherwise its owner's.
    static TForm* FindOwnerForm(TComponent* component);

protected:
    void Notification(TComponent* component, TOperation operation) override;
    // kind 1: the widget went away; 2: a new one is known.
    virtual void HandleChanged(int kind);
    // Sees every event of the hooked widget first; true when it handled the
    // event (the control then never sees it).
    virtual bool WndProc(QEvent* event);

    void HandleDestroying(TWinControl* control) override;
    void HandleCreated(TWinControl* control) override;

private:
    class Filter;
    friend class Filter;
    TWinControl* HookTarget();
    void SetHook(bool hook);
    bool HookProc(QObject* watched, QEvent* event);
    void AttachFilter(QWidget* widget);
    void DetachFilter();

    THookTarget target_ = THookTarget::htControl;
    TWinControl* control_ = nullptr;
    TWinControl* hookedControl_ = nullptr;
    QPointer<QWidget> hookedHandle_;
    QPointer<QWidget> filteredWidget_;
    bool pending_ = false;
    std::unique_ptr<Filter> filter_;
};

}  // namespace orv
