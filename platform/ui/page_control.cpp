#include "platform/ui/page_control.h"

#include <QStackedWidget>
#include <QTabBar>
#include <algorithm>

#include "platform/ui/application.h"

namespace orv {

TTabSheet::TTabSheet(TComponent* owner, std::string name, TPageControl* pageControl)
    : TWinControl(owner, std::move(name), nullptr), pageControl_(pageControl) {
    AttachWidget(new QWidget());
    pageControl_->AddPage(this);
}

TTabSheet::~TTabSheet() {
    if (pageControl_) std::erase(pageControl_->pages_, this);
}

int TTabSheet::PageIndex() const {
    if (!pageControl_) return -1;
    const auto& pages = pageControl_->pages_;
    return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

void TTabSheet::SetTabVisible(bool v) {
    tabVisible_ = v;
    if (pageControl_) pageControl_->UpdateTabs();
}

void TTabSheet::SetCaption(const std::string& caption) {
    TControl::SetCaption(caption);
    if (pageControl_) pageControl_->UpdateTabs();
}

void TTabSheet::SetVisible(bool visible) {
    TControl::SetVisible(visible);
    if (pageControl_) pageControl_->ShowActivePageOnly();
}

TPageControl::TPageControl(TComponent* owner, std::string name, TWinControl* parent)
    : TWinControl(owner, std::move(name), parent) {
    auto* host = new QWidget();
    tabs_ = new QTabBar(host);
    stack_ = new QStackedWidget(host);
    AttachWidget(host);
    QObject::connect(tabs_, &QTabBar::currentChanged, Context(), [this](int tab) {
        if (updating_ || tab < 0) return;
        const int page = tabs_->tabData(tab).toInt();
        Guard(this, [&] {
            SetActivePageIndex(page);
            if (OnChange) OnChange(this);
        });
    });
}

TPageControl::~TPageControl() {
    for (TTabSheet* p : pages_) p->pageControl_ = nullptr;
}

QWidget* TPageControl::ContainerWidget() const { return stack_; }

void TPageControl::AddPage(TTabSheet* page) {
    pages_.push_back(page);
    // The page sits in the stack; its parent is this control.
    page->SetParent(this);
    stack_->addWidget(page->Widget());
    page->SetAlign(TAlign::alNone);
    if (active_ < 0) SetActivePageIndex(0);
    ShowActivePageOnly();
    UpdateTabs();
    Layout();
}

void TPageControl::SetActivePageIndex(int index) {
    if (index < 0 || index >= PageCount()) return;
    active_ = index;
    stack_->setCurrentWidget(pages_[static_cast<std::size_t>(index)]->Widget());
    ShowActivePageOnly();
    UpdateTabs();
}

void TPageControl::ShowActivePageOnly() {
    // Placing a page or making it visible shows its widget; a page left
    // shown under the active one would be painted beneath it at every repaint.
    for (std::size_t i = 0; i < pages_.size(); ++i)
        if (QWidget* w = pages_[i]->Widget()) w->setVisible(static_cast<int>(i) == active_ && pages_[i]->Visible());
}

void TPageControl::UpdateTabs() {
    updating_ = true;
    while (tabs_->count() > 0) tabs_->removeTab(0);
    int current = -1;
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (!pages_[i]->TabVisible()) continue;
        const int tab = tabs_->addTab(QString::fromStdString(pages_[i]->Caption()));
        tabs_->setTabData(tab, static_cast<int>(i));
        if (static_cast<int>(i) == active_) current = tab;
    }
    if (current >= 0) tabs_->setCurrentIndex(current);
    tabs_->setVisible(tabs_->count() > 0);
    updating_ = false;
    Layout();
}

void TPageControl::Layout() {
    const int tabH = tabs_->count() > 0 ? tabs_->sizeHint().height() : 0;
    tabs_->setGeometry(0, 0, ClientWidth(), tabH);
    stack_->setGeometry(0, tabH, ClientWidth(), std::max(0, ClientHeight() - tabH));
    for (TTabSheet* p : pages_) p->SetBounds(0, 0, ClientWidth(), std::max(0, ClientHeight() - tabH));
}

void TPageControl::Resize() {
    Layout();
    TWinControl::Resize();
}

}  // namespace orv
