#include "platform/ui/control.h"

#include <QEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <algorithm>

#include "platform/ui/application.h"
#include "platform/ui/menus.h"

namespace orv {

bool TakesInput(const QWidget* widget) { return widget && widget->isEnabled(); }

// Turns the widget's events into the control's virtual calls, each inside
// the exception guard. It never consumes an event.
class TControlEventBridge : public QObject {
public:
    explicit TControlEventBridge(TControl* control) : control_(control) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != control_->Widget()) return false;
        switch (event->type()) {
            case QEvent::Resize: {
                const QSize s = static_cast<QResizeEvent*>(event)->size();
                Guard(control_, [&] { control_->WidgetResized(s.width(), s.height()); });
                break;
            }
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick: {
                // A control of a disabled window takes no press, as Qt's
                // own widgets take none.
                if (!control_->WantsMouseEvents() || !TakesInput(control_->Widget())) break;
                auto* me = static_cast<QMouseEvent*>(event);
                const TMouseButton button = me->button() == Qt::RightButton    ? TMouseButton::mbRight
                                            : me->button() == Qt::MiddleButton ? TMouseButton::mbMiddle
                                                                               : TMouseButton::mbLeft;
                TShiftState shift = 0;
                const auto mods = me->modifiers();
                if (mods & Qt::ShiftModifier) shift |= ssShift;
                if (mods & Qt::ControlModifier) shift |= ssCtrl;
                if (mods & Qt::AltModifier) shift |= ssAlt;
                if (me->buttons() & Qt::LeftButton) shift |= ssLeft;
                if (me->buttons() & Qt::RightButton) shift |= ssRight;
                if (me->buttons() & Qt::MiddleButton) shift |= ssMiddle;
                const QPoint p = me->position().toPoint();
                if (event->type() == QEvent::MouseButtonRelease) {
                    Guard(control_, [&] { control_->MouseUp(button, shift, p.x(), p.y()); });
                } else if (event->type() == QEvent::MouseButtonDblClick) {
                    // The second press of a double click is a press as well.
                    Guard(control_, [&] { control_->MouseDown(button, shift | ssDouble, p.x(), p.y()); });
                    Guard(control_, [&] { control_->DblClick(); });
                } else {
                    Guard(control_, [&] { control_->MouseDown(button, shift, p.x(), p.y()); });
                }
                break;
            }
            default: break;
        }
        return false;
    }

private:
    TControl* control_;
};

TControl::TControl(TComponent* owner, std::string name, TWinControl* parent)
    : TComponent(owner, std::move(name)), context_(std::make_unique<QObject>()), parent_(parent) {}

TControl::~TControl() {
    // Listeners first, while the control is still whole enough to answer.
    NotifyRemoval();
    context_.reset();
    if (widget_ && bridge_) widget_->removeEventFilter(bridge_.get());
    if (parent_) std::erase(parent_->controls_, this);
    parent_ = nullptr;
    delete widget_.data();
}

void TControl::AttachWidget(QWidget* widget) {
    widget_ = widget;
    bridge_ = std::make_unique<TControlEventBridge>(this);
    widget->installEventFilter(bridge_.get());
    const QSize s = widget->size();
    width_ = s.width();
    height_ = s.height();
    TWinControl* p = parent_;
    parent_ = nullptr;
    SetParent(p);
    ApplyColor();
    ApplyFont();
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == parent_ && (!parent || !widget_ || widget_->parentWidget() == parent->ContainerWidget())) return;
    if (parent_) std::erase(parent_->controls_, this);
    parent_ = parent;
    if (!widget_) return;
    if (parent_) {
        parent_->controls_.push_back(this);
        widget_->setParent(parent_->ContainerWidget());
        PlaceWidget();
        widget_->setVisible(visible_);
        if (align_ != TAlign::alNone) parent_->Realign();
    } else {
        widget_->setParent(nullptr);
    }
}

void TControl::PlaceWidget() {
    if (!widget_) return;
    placing_ = true;
    widget_->setGeometry(left_, top_, std::max(0, width_), std::max(0, height_));
    placing_ = false;
}

void TControl::SetBounds(int left, int top, int width, int height) {
    const bool sized = width != width_ || height != height_;
    left_ = left;
    top_ = top;
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    if (parent_) {
        anchorRight_ = parent_->ClientWidth() - (left_ + width_);
        anchorBottom_ = parent_->ClientHeight() - (top_ + height_);
    }
    PlaceWidget();
    if (sized) {
        // A widget that is not shown gets no resize event; the control still
        // lays out its children and tells its handler.
        if (!widget_ || !widget_->isVisible()) Resize();
    }
    if (parent_ && align_ != TAlign::alNone) parent_->Realign();
}

void TControl::WidgetResized(int width, int height) {
    if (!placing_) {
        const QRect g = widget_->geometry();
        left_ = g.x();
        top_ = g.y();
    }
    width_ = width;
    height_ = height;
    Resize();
}

void TControl::Resize() {
    if (OnResize) OnResize(this);
}

void TControl::SetAlign(TAlign align) {
    align_ = align;
    if (parent_) parent_->Realign();
}

void TControl::SetAnchors(TAnchors anchors) {
    anchors_ = anchors;
    if (parent_) {
        anchorRight_ = parent_->ClientWidth() - (left_ + width_);
        anchorBottom_ = parent_->ClientHeight() - (top_ + height_);
    }
}

void TControl::SetVisible(bool visible) {
    visible_ = visible;
    if (widget_ && (parent_ || !visible)) widget_->setVisible(visible);
    if (parent_ && align_ != TAlign::alNone) parent_->Realign();
}

bool TControl::Showing() const {
    for (const TControl* c = this; c; c = c->parent_)
        if (!c->visible_) return false;
    return true;
}

bool TControl::EnabledInWindow() const {
    for (const TControl* c = this; c; c = c->parent_)
        if (!c->enabled_) return false;
    return true;
}

void TControl::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (widget_) widget_->setEnabled(enabled);
}

void TControl::SetHint(const std::string& hint) {
    hint_ = hint;
    if (widget_) widget_->setToolTip(QString::fromStdString(hint_));
}

void TControl::SetColor(TColor color) {
    color_ = color;
    ApplyColor();
    Invalidate();
}

const TFont& TControl::Font() const {
    if (parentFont_ && parent_) return parent_->Font();
    return font_;
}

void TControl::SetFont(const TFont& font) {
    font_ = font;
    parentFont_ = false;
    ApplyFont();
    Invalidate();
}

void TControl::SetCaption(const std::string& caption) {
    caption_ = caption;
    Invalidate();
}

void TControl::ApplyColor() {}

void TControl::ApplyFont() {
    // Without a font of its own the widget inherits its parent's through Qt.
    if (widget_ && !parentFont_) widget_->setFont(ToQFont(font_));
}

void TControl::SetPopupMenu(TPopupMenu* menu) {
    popupMenu_ = menu;
    if (!widget_) return;
    widget_->setContextMenuPolicy(menu ? Qt::CustomContextMenu : Qt::DefaultContextMenu);
    QObject::disconnect(widget_, &QWidget::customContextMenuRequested, Context(), nullptr);
    if (menu)
        QObject::connect(widget_, &QWidget::customContextMenuRequested, Context(), [this](const QPoint& p) {
            Guard(this, [&] {
                if (popupMenu_ && widget_) {
                    const QPoint g = widget_->mapToGlobal(p);
                    popupMenu_->Popup(g.x(), g.y());
                }
            });
        });
}

void TControl::SetCursor(TCursor cursor) {
    if (!widget_) return;
    switch (cursor) {
        case TCursor::crDefault: widget_->unsetCursor(); break;
        case TCursor::crHandPoint: widget_->setCursor(Qt::PointingHandCursor); break;
        case TCursor::crHourGlass: widget_->setCursor(Qt::WaitCursor); break;
        case TCursor::crIBeam: widget_->setCursor(Qt::IBeamCursor); break;
    }
}

void TControl::Invalidate() {
    LookChanged();
    if (widget_) widget_->update();
}

void TControl::Repaint() {
    LookChanged();
    if (widget_) widget_->repaint();
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

// ---------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* owner, std::string name, TWinControl* parent)
    : TControl(owner, std::move(name), parent) {}

TWinControl::~TWinControl() {
    // Listeners (hooks) still see a windowed control while they let go.
    NotifyRemoval();
    // Children that outlive this control lose their widgets with ours.
    for (TControl* c : controls_) c->parent_ = nullptr;
    controls_.clear();
}

void TWinControl::AddHandleListener(IHandleListener* listener) {
    if (std::find(handleListeners_.begin(), handleListeners_.end(), listener) == handleListeners_.end())
        handleListeners_.push_back(listener);
}

void TWinControl::RemoveHandleListener(IHandleListener* listener) { std::erase(handleListeners_, listener); }

void TWinControl::NotifyHandleDestroying() {
    const auto listeners = handleListeners_;
    for (IHandleListener* l : listeners) l->HandleDestroying(this);
}

void TWinControl::NotifyHandleCreated() {
    const auto listeners = handleListeners_;
    for (IHandleListener* l : listeners) l->HandleCreated(this);
}

TRect TWinControl::ClientRect() const {
    TRect r{0, 0, ClientWidth(), ClientHeight()};
    AdjustClientRect(r);
    return r;
}

void TWinControl::Resize() {
    Realign();
    TControl::Resize();
}

void TWinControl::Realign() {
    if (aligning_) return;
    aligning_ = true;
    TRect r = ClientRect();
    auto place = [](TControl* c, int l, int t, int w, int h) {
        c->left_ = l;
        c->top_ = t;
        const bool sized = w != c->width_ || h != c->height_;
        c->width_ = std::max(0, w);
        c->height_ = std::max(0, h);
        c->PlaceWidget();
        if (sized && (!c->widget_ || !c->widget_->isVisible())) c->Resize();
    };
    for (TAlign pass : {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient}) {
        for (TControl* c : controls_) {
            if (c->align_ != pass || !c->visible_) continue;
            switch (pass) {
                case TAlign::alTop:
                    place(c, r.Left, r.Top, r.Width(), c->height_);
                    r.Top += c->height_;
                    break;
                case TAlign::alBottom:
                    place(c, r.Left, r.Bottom - c->height_, r.Width(), c->height_);
                    r.Bottom -= c->height_;
                    break;
                case TAlign::alLeft:
                    place(c, r.Left, r.Top, c->width_, r.Height());
                    r.Left += c->width_;
                    break;
                case TAlign::alRight:
                    place(c, r.Right - c->width_, r.Top, c->width_, r.Height());
                    r.Right -= c->width_;
                    break;
                case TAlign::alClient: place(c, r.Left, r.Top, r.Width(), r.Height()); break;
                case TAlign::alNone: break;
            }
        }
    }
    // Anchored controls keep their distance to the right and bottom edges.
    for (TControl* c : controls_) {
        if (c->align_ != TAlign::alNone) continue;
        int l = c->left_, t = c->top_, w = c->width_, h = c->height_;
        if (c->anchors_ & akRight) {
            if (c->anchors_ & akLeft)
                w = ClientWidth() - c->anchorRight_ - l;
            else
                l = ClientWidth() - c->anchorRight_ - w;
        }
        if (c->anchors_ & akBottom) {
            if (c->anchors_ & akTop)
                h = ClientHeight() - c->anchorBottom_ - t;
            else
                t = ClientHeight() - c->anchorBottom_ - h;
        }
        if (l != c->left_ || t != c->top_ || w != c->width_ || h != c->height_) place(c, l, t, w, h);
    }
    aligning_ = false;
}

}  // namespace orv
