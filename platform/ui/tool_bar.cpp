#include "platform/ui/tool_bar.h"

#include <QIcon>
#include <QToolButton>
#include <algorithm>

#include "platform/ui/application.h"
#include "platform/ui/list_view.h"

namespace orv {

TToolButton::TToolButton(TComponent* owner, std::string name, TToolBar* toolBar)
    : TControl(owner, std::move(name), toolBar), toolBar_(toolBar) {
    auto* button = new QToolButton();
    button->setAutoRaise(true);
    AttachWidget(button);
    QObject::connect(button, &QToolButton::clicked, Context(), [this] { Guard(this, [this] { Click(); }); });
    toolBar_->buttons_.push_back(this);
    toolBar_->LayoutButtons();
}

void TToolButton::SetImageIndex(int index) {
    imageIndex_ = index;
    UpdateImage();
}

void TToolButton::SetEnabled(bool enabled) { TControl::SetEnabled(enabled); }

void TToolButton::UpdateImage() {
    auto* button = static_cast<QToolButton*>(Widget());
    const TImageList* images = toolBar_->images_;
    if (images && images->Valid(imageIndex_)) {
        button->setIcon(QIcon(images->Image(imageIndex_)));
        button->setIconSize(QSize(images->Width(), images->Height()));
    } else {
        button->setIcon(QIcon());
    }
}

TToolBar::TToolBar(TComponent* owner, std::string name, TWinControl* parent)
    : TWinControl(owner, std::move(name), parent) {
    AttachWidget(new QWidget());
}

void TToolBar::SetImages(TImageList* images) {
    images_ = images;
    for (TToolButton* b : buttons_) b->UpdateImage();
}

void TToolBar::SetButtonSize(int width, int height) {
    buttonW_ = width;
    buttonH_ = height;
    LayoutButtons();
}

void TToolBar::SetVertical(bool v) {
    vertical_ = v;
    LayoutButtons();
}

void TToolBar::Resize() {
    LayoutButtons();
    TWinControl::Resize();
}

void TToolBar::LayoutButtons() {
    int pos = 2;
    for (TToolButton* b : buttons_) {
        if (!b->Visible()) continue;
        if (vertical_) {
            b->SetBounds(std::max(0, (ClientWidth() - buttonW_) / 2), pos, buttonW_, buttonH_);
            pos += buttonH_;
        } else {
            b->SetBounds(pos, std::max(0, (ClientHeight() - buttonH_) / 2), buttonW_, buttonH_);
            pos += buttonW_;
        }
    }
}

}  // namespace orv
