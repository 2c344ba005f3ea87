// The standard controls the windows use: label, image, check box, radio
// group, edit and labelled edit, memo, button, progress gauge, timer.
#pragma once

#include <QPointer>
#include <string>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/ui/control.h"
#include "platform/ui/custom_control.h"

class QTimer;

namespace orv {

class TLabel : public TControl {
public:
    TLabel(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TLabel"; }
    void SetCaption(const std::string& caption) override;
    void SetAutoSize(bool v);
    void SetAlignment(TAlignment a);
    void SetLayout(TTextLayout l);
    void SetTransparent(bool v);
    void SetFont(const TFont& font) override;

protected:
    void ApplyColor() override;

private:
    bool autoSize_ = true;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    TTextLayout layout_ = TTextLayout::tlTop;
    void UpdateAlignment();
    void FitText();
};

// Shows its Picture (a bitmap): at its own size at the top left, centred,
// stretched to fill, or stretched keeping proportions (Stretch and
// Proportional, centred with Center).
class TImage : public TGraphicControl {
public:
    TImage(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TImage"; }

    // The shown bitmap; change it, then call Changed (or Invalidate).
    TBitmap& Picture() { return picture_; }
    const TBitmap& Picture() const { return picture_; }
    void SetPicture(const TBitmap& bitmap);
    // Shows `bitmap`, taking over its image without a copy (it is left empty).
    void TakePicture(TBitmap& bitmap);
    void ClearPicture();
    void Changed() { Invalidate(); }

    bool Stretch() const { return stretch_; }
    void SetStretch(bool v) { stretch_ = v; Invalidate(); }
    bool Center() const { return center_; }
    void SetCenter(bool v) { center_ = v; Invalidate(); }
    bool Proportional() const { return proportional_; }
    void SetProportional(bool v) { proportional_ = v; Invalidate(); }
    // The colour of the picture's bottom-left pixel shows what lies behind.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v) { transparent_ = v; Invalidate(); }

    // Where the picture lands in the control (left, top, right, bottom).
    TRect DestRect() const;

protected:
    void Paint(TCanvas& canvas) override;

private:
    TBitmap picture_;
    bool stretch_ = false;
    bool center_ = false;
    bool proportional_ = false;
    bool transparent_ = false;
};

class TCheckBox : public TWinControl {
public:
    TCheckBox(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TCheckBox"; }
    void SetCaption(const std::string& caption) override;
    bool Checked() const;
    // Changing the state runs OnClick, also from code.
    void SetChecked(bool checked);

protected:
    bool WantsMouseEvents() const override { return false; }

private:
    bool updating_ = false;
};

// Radio group: setting ItemIndex from code to another item runs the click
// handler as a click by the user does; -1 clears the choice without it; a
// click by the user on the item already chosen runs nothing.
class TRadioGroup : public TWinControl {
public:
    TRadioGroup(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TRadioGroup"; }
    void SetCaption(const std::string& caption) override;

    const std::vector<std::string>& Items() const { return items_; }
    void SetItems(const std::vector<std::string>& items);
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);
    void SetColumns(int columns);

    // The user clicked item index (what a click on that button does).
    void UserClicked(int index);

protected:
    bool WantsMouseEvents() const override { return false; }

private:
    void Rebuild();
    void ShowChoice();
    std::vector<std::string> items_;
    int itemIndex_ = -1;
    int columns_ = 1;
};

class TEdit : public TWinControl {
public:
    TEdit(TComponent* owner, std::string name, TWinControl* parent);
    ~TEdit() override;
    std::string ClassName() const override { return "TEdit"; }
    std::string Text() const;
    // Runs OnChange when the text differs (as a change by the user does).
    void SetText(const std::string& text);
    void SetBounds(int left, int top, int width, int height) override;
    void SetVisible(bool visible) override;

    TNotifyEvent OnChange;

protected:
    void ApplyColor() override;
    bool WantsMouseEvents() const override { return false; }
    virtual void BoundsChanged() {}
};

enum class TLabelPosition { lpAbove, lpLeft };

// An edit with its own label beside or above it (a sibling on the same parent).
class TLabeledEdit : public TEdit {
public:
    TLabeledEdit(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TLabeledEdit"; }
    void SetLabelCaption(const std::string& caption);
    void SetLabelPosition(TLabelPosition p);
    void SetVisible(bool visible) override;

protected:
    void BoundsChanged() override;

private:
    TLabel label_;
    TLabelPosition position_ = TLabelPosition::lpAbove;
};

class TMemo : public TWinControl {
public:
    TMemo(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TMemo"; }
    void Add(const std::string& line);
    void Clear();
    int LineCount() const;
    std::vector<std::string> Lines() const;
    std::string Text() const;
    void SetText(const std::string& text);
    void SetReadOnly(bool v);
    void SetWordWrap(bool v);

protected:
    void ApplyColor() override;
    bool WantsMouseEvents() const override { return false; }
};

class TButton : public TWinControl {
public:
    TButton(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TButton"; }
    void SetCaption(const std::string& caption) override;
    // A modal result that the button gives its form when clicked.
    int ModalResult = 0;
    // Enter in the form clicks the default button, Escape the cancel one.
    void SetDefault(bool v);
    bool Default() const { return default_; }
    void SetCancel(bool v) { cancel_ = v; }
    bool Cancel() const { return cancel_; }
    // Clicks the button as the user would (runs OnClick and the modal result).
    void Click() override;

protected:
    bool WantsMouseEvents() const override { return false; }

private:
    bool default_ = false;
    bool cancel_ = false;
};

// Horizontal progress gauge painted in software: a frame, the part done
// filled, the percentage centred. It paints
// again only when the percentage or the filled width changes.
class TGauge : public TCustomControl {
public:
    TGauge(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TGauge"; }
    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    int Progress() const { return progress_; }
    void SetMaxValue(int v);
    void SetProgress(int v);
    // (Progress - MinValue) * 100 / (MaxValue - MinValue), truncated and
    // kept within 0..100; 0 when the range is empty.
    int PercentDone() const;

protected:
    void Paint(TCanvas& canvas) override;

private:
    // The part of whole done, truncated (the filled pixels of an inner
    // width, or the percentage out of 100); 0 for an empty range.
    int DoneOutOf(int whole) const;
    void Changed();
    int min_ = 0, max_ = 100, progress_ = 0;
    int shownPercent_ = -1, shownFill_ = -1;
};

// Repeating timer; a handler that disables it makes it one-shot.
class TTimer : public TComponent {
public:
    TTimer(TComponent* owner, std::string name);
    ~TTimer() override;
    std::string ClassName() const override { return "TTimer"; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v);
    void SetInterval(int ms);
    TNotifyEvent OnTimer;

private:
    void Restart();
    std::unique_ptr<QTimer> timer_;
    bool enabled_ = true;
    int interval_ = 1000;
};

}  // namespace orv
