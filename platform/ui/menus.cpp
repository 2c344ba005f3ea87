#include "platform/ui/menus.h"

#include <QAction>
#include <QMenu>
#include <algorithm>

#include "platform/ui/application.h"

namespace orv {

TMenuItem::TMenuItem(TComponent* owner, std::string name, TPopupMenu* menu, const std::string& caption)
    : TComponent(owner, std::move(name)), menu_(menu), caption_(caption) {
    if (caption == "-") {
        action_ = menu_->menu_->addSeparator();
    } else {
        action_ = menu_->menu_->addAction(QString::fromStdString(caption));
        QObject::connect(action_, &QAction::triggered, action_, [this] { Guard(this, [this] { Click(); }); });
    }
    menu_->items_.push_back(this);
}

TMenuItem::~TMenuItem() {
    if (!menu_) return;
    std::erase(menu_->items_, this);
    menu_->menu_->removeAction(action_);
    delete action_;
}

void TMenuItem::SetCaption(const std::string& caption) {
    caption_ = caption;
    action_->setText(QString::fromStdString(caption));
}

void TMenuItem::SetChecked(bool checked) {
    checked_ = checked;
    action_->setCheckable(checked_ || radioItem_);
    action_->setChecked(checked_);
    if (checked && radioItem_) {
        for (TMenuItem* other : menu_->items_) {
            if (other == this || !other->radioItem_ || other->groupIndex_ != groupIndex_) continue;
            other->checked_ = false;
            other->action_->setChecked(false);
        }
    }
}

void TMenuItem::SetRadioItem(bool v) {
    radioItem_ = v;
    action_->setCheckable(checked_ || radioItem_);
}

void TMenuItem::SetEnabled(bool v) {
    enabled_ = v;
    action_->setEnabled(v);
}

void TMenuItem::SetVisible(bool v) {
    visible_ = v;
    action_->setVisible(v);
}

void TMenuItem::Click() {
    // Qt toggles a checkable action on its own; the item's state is ours.
    action_->setChecked(checked_);
    if (OnClick) OnClick(this);
}

TPopupMenu::TPopupMenu(TComponent* owner, std::string name)
    : TComponent(owner, std::move(name)), menu_(std::make_unique<QMenu>()) {}

TPopupMenu::~TPopupMenu() {
    for (TMenuItem* item : items_) item->menu_ = nullptr;
}

void TPopupMenu::Popup(int x, int y) { menu_->popup(QPoint(x, y)); }

void TPopupMenu::PopupAtCursor() {
    const TPoint p = MouseCursorPos();
    Popup(p.X, p.Y);
}

}  // namespace orv
