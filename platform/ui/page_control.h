// Page control: pages with optional tabs. With every tab hidden only code
// changes the page (the wizard's step buttons do).
#pragma once

#include <vector>

#include "platform/ui/control.h"

class QStackedWidget;
class QTabBar;

namespace orv {

class TPageControl;

class TTabSheet : public TWinControl {
public:
    TTabSheet(TComponent* owner, std::string name, TPageControl* pageControl);
    ~TTabSheet() override;
    std::string ClassName() const override { return "TTabSheet"; }
    int PageIndex() const;
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool v);
    void SetCaption(const std::string& caption) override;
    // A visible page belongs to its control; only the active one is shown.
    void SetVisible(bool visible) override;

private:
    friend class TPageControl;
    TPageControl* pageControl_;
    bool tabVisible_ = true;
};

class TPageControl : public TWinControl {
public:
    TPageControl(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TPageControl"; }
    int PageCount() const { return static_cast<int>(pages_.size()); }
    TTabSheet* Pages(int index) const { return pages_.at(static_cast<std::size_t>(index)); }
    int ActivePageIndex() const { return active_; }
    void SetActivePageIndex(int index);
    TTabSheet* ActivePage() const { return active_ >= 0 ? pages_[static_cast<std::size_t>(active_)] : nullptr; }

    QWidget* ContainerWidget() const override;
    TNotifyEvent OnChange;

private:
    friend class TTabSheet;
    void AddPage(TTabSheet* page);
    void RemovePage(TTabSheet* page);
    void UpdateTabs();
    void Layout();
    void ShowActivePageOnly();
    std::vector<TTabSheet*> pages_;
    int active_ = -1;
    QTabBar* tabs_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    bool updating_ = false;

public:
    void Resize() override;
    ~TPageControl() override;
};

}  // namespace orv
