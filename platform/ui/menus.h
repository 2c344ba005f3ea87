// Popup menus with items, separators, check marks and radio items.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/component.h"

class QMenu;
class QAction;

namespace orv {

class TPopupMenu;

class TMenuItem : public TComponent {
public:
    // A caption "-" makes a separator.
    TMenuItem(TComponent* owner, std::string name, TPopupMenu* menu, const std::string& caption);
    ~TMenuItem() override;
    std::string ClassName() const override { return "TMenuItem"; }
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    bool Checked() const { return checked_; }
    // A checked radio item unchecks the other radio items of its group.
    void SetChecked(bool checked);
    void SetRadioItem(bool v);
    void SetGroupIndex(int g) { groupIndex_ = g; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    // Runs OnClick as a click by the user does.
    void Click();

    TNotifyEvent OnClick;
    QAction* Action() const { return action_; }

private:
    friend class TPopupMenu;
    TPopupMenu* menu_;
    QAction* action_ = nullptr;  // owned by the menu's QMenu
    std::string caption_;
    bool checked_ = false;
    bool radioItem_ = false;
    int groupIndex_ = 0;
    bool enabled_ = true;
    bool visible_ = true;
};

class TPopupMenu : public TComponent {
public:
    TPopupMenu(TComponent* owner, std::string name);
    ~TPopupMenu() override;
    std::string ClassName() const override { return "TPopupMenu"; }
    TMenuItem* Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    // Opens the menu at a screen position and returns at once; a chosen
    // item's OnClick runs later from the message loop.
    void Popup(int x, int y);
    // Opens it at the mouse cursor.
    void PopupAtCursor();
    QMenu* Menu() const { return menu_.get(); }

private:
    friend class TMenuItem;
    std::unique_ptr<QMenu> menu_;
    std::vector<TMenuItem*> items_;
};

}  // namespace orv
