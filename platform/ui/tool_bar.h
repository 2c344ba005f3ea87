// Tool bars with image buttons (images from an image list).
#pragma once

#include <vector>

#include "platform/ui/control.h"

class QToolButton;

namespace orv {

class TImageList;
class TToolBar;

class TToolButton : public TControl {
public:
    TToolButton(TComponent* owner, std::string name, TToolBar* toolBar);
    std::string ClassName() const override { return "TToolButton"; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);
    void SetEnabled(bool enabled) override;

protected:
    bool WantsMouseEvents() const override { return false; }

private:
    friend class TToolBar;
    void UpdateImage();
    TToolBar* toolBar_;
    int imageIndex_ = -1;
};

class TToolBar : public TWinControl {
public:
    TToolBar(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TToolBar"; }
    void SetImages(TImageList* images);
    void SetButtonSize(int width, int height);
    // Buttons stack top to bottom (for a bar aligned left or right).
    void SetVertical(bool v);
    TToolButton* Buttons(int i) const { return buttons_.at(static_cast<std::size_t>(i)); }
    void Resize() override;

private:
    friend class TToolButton;
    void LayoutButtons();
    std::vector<TToolButton*> buttons_;
    TImageList* images_ = nullptr;
    int buttonW_ = 23, buttonH_ = 22;
    bool vertical_ = false;
};

}  // namespace orv
