// Controls over Qt widgets. A control has an owner (who lists it), a parent
// (on which it sits; the parent keeps its children in order), bounds in its
// parent's client coordinates, and events that are run inside the
// application's exception guard when the user triggers them.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/component.h"

namespace orv {

class TWinControl;
class TControlEventBridge;
class TPopupMenu;

enum class TCursor { crDefault, crHandPoint, crHourGlass, crIBeam };

// Whether the user's input may reach the widget: it and every widget it sits
// on are enabled. Event filters see the events of disabled widgets too, so a
// filter that acts on input asks this first.
bool TakesInput(const QWidget* widget);

class TControl : public TComponent {
public:
    TControl(TComponent* owner, std::string name, TWinControl* parent);
    ~TControl() override;

    std::string ClassName() const override { return "TControl"; }

    // The widget that shows the control (never null once constructed).
    QWidget* Widget() const { return widget_.data(); }

    TWinControl* Parent() const { return parent_; }
    void SetParent(TWinControl* parent);

    // A form answers its outer frame here; every other control its widget.
    virtual int Left() const { return left_; }
    virtual int Top() const { return top_; }
    virtual int Width() const { return width_; }
    virtual int Height() const { return height_; }
    virtual void SetBounds(int left, int top, int width, int height);
    void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
    void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
    void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }
    // The widget's own size (a form's client area).
    int ClientWidth() const { return width_; }
    int ClientHeight() const { return height_; }

    void SetAlign(TAlign align);
    void SetAnchors(TAnchors anchors);

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible and every parent visible.
    bool Showing() const;
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);
    // Enabled and every parent enabled.
    bool EnabledInWindow() const;

    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);

    TColor Color() const { return color_; }
    virtual void SetColor(TColor color);
    // The parent's font until one is set.
    const TFont& Font() const;
    virtual void SetFont(const TFont& font);

    const std::string& Caption() const { return caption_; }
    virtual void SetCaption(const std::string& caption);

    // The menu that a right click (or the menu key) opens at the cursor.
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    virtual void SetPopupMenu(TPopupMenu* menu);
    void SetCursor(TCursor cursor);

    void Invalidate();
    // Paints at once, without waiting for the message loop.
    void Repaint();

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnResize;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;

    // What the user's input does; the bridge calls these inside the guard.
    virtual void Click();
    virtual void DblClick();
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    // The widget got a new size (user or layout).
    virtual void Resize();

protected:
    // Subclasses create their widget and hand it over here, once, from their
    // constructor; the control owns it unless Qt's parent deletes it first.
    void AttachWidget(QWidget* widget);
    // Invalidate and Repaint call this first: what the control shows has
    // changed, so a face kept from an earlier paint is out of date.
    virtual void LookChanged() {}
    virtual void ApplyColor();
    virtual void ApplyFont();
    // Whether the user's mouse presses reach MouseDown/MouseUp (off for
    // controls whose widget handles clicks itself).
    virtual bool WantsMouseEvents() const { return true; }
    // Receiver context for signal connections of subclasses: it goes before
    // the widget does, so no signal reaches a half-destroyed control. Qt
    // helpers (models, timers) should be children of the widget, not members.
    QObject* Context() const { return context_.get(); }

    // The widget has a new size: record it, lay out, tell the handler.
    void WidgetResized(int width, int height);
    // Stores the caption for a control that does not paint it itself.
    void StoreCaption(const std::string& caption) { caption_ = caption; }

private:
    friend class TWinControl;
    friend class TControlEventBridge;
    void PlaceWidget();

    std::unique_ptr<QObject> context_;
    QPointer<QWidget> widget_;
    std::unique_ptr<TControlEventBridge> bridge_;
    TWinControl* parent_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    int anchorRight_ = 0, anchorBottom_ = 0;  // distances kept for akRight/akBottom
    TAlign align_ = TAlign::alNone;
    TAnchors anchors_ = akLeft | akTop;
    bool visible_ = true;
    bool enabled_ = true;
    bool placing_ = false;
    bool parentFont_ = true;
    TPopupMenu* popupMenu_ = nullptr;
    std::string hint_;
    std::string caption_;
    TColor color_ = clBtnFace;
    TFont font_;
};

// Listens for the replacement of a windowed control's input widget (its
// "window"): told before the old one goes and after the new one exists.
class IHandleListener {
public:
    virtual ~IHandleListener() = default;
    virtual void HandleDestroying(TWinControl* control) = 0;
    virtual void HandleCreated(TWinControl* control) = 0;
};

class TWinControl : public TControl {
public:
    TWinControl(TComponent* owner, std::string name, TWinControl* parent);
    ~TWinControl() override;

    std::string ClassName() const override { return "TWinControl"; }

    // Children directly on this control, in the order they were placed.
    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(static_cast<std::size_t>(index)); }

    // The widget children are placed in.
    virtual QWidget* ContainerWidget() const { return Widget(); }
    // The widget that receives the user's input and drops (a list view's
    // viewport, for instance). It may be replaced while the control lives;
    // listeners hear about it.
    virtual QWidget* HandleWidget() const { return Widget(); }
    bool HandleAllocated() const { return HandleWidget() != nullptr; }
    void AddHandleListener(IHandleListener* listener);
    void RemoveHandleListener(IHandleListener* listener);

    // The area aligned children share, in client coordinates.
    virtual TRect ClientRect() const;
    virtual void AdjustClientRect(TRect& rect) const { (void)rect; }
    void Realign();

    void Resize() override;

protected:
    void NotifyHandleDestroying();
    void NotifyHandleCreated();

private:
    friend class TControl;
    std::vector<TControl*> controls_;
    std::vector<IHandleListener*> handleListeners_;
    bool aligning_ = false;
};

}  // namespace orv
