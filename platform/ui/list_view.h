// Image lists and the list view: icon, small-icon, list and report views
// over one model; columns with widths; items with caption, sub-items, image
// index and selection. Change events tell text, image and state apart.
#pragma once

#include <QPixmap>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/ui/control.h"

class QStandardItemModel;
class QStackedWidget;
class QListView;
class QTreeView;
class QIcon;

namespace orv {

class TImageList : public TComponent {
public:
    TImageList(TComponent* owner, std::string name, int width = 16, int height = 16);
    std::string ClassName() const override { return "TImageList"; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Count() const { return static_cast<int>(images_.size()); }
    // Adds a picture scaled to the list's size; returns its index.
    int Add(const TBitmap& bitmap);
    int AddImage(const QPixmap& pixmap);
    int AddIcon(const QIcon& icon);
    void Clear() { images_.clear(); }
    const QPixmap& Image(int index) const { return images_.at(static_cast<std::size_t>(index)); }
    bool Valid(int index) const { return index >= 0 && index < Count(); }

private:
    int width_, height_;
    std::vector<QPixmap> images_;
};

class TListView;

class TListItem {
public:
    TListView* Owner() const { return owner_; }
    int Index() const { return index_; }
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);
    bool Selected() const;
    void SetSelected(bool selected);
    // Sub-items (columns 1...). Change them through SetSubItem/AddSubItem.
    const std::vector<std::string>& SubItems() const { return subItems_; }
    void AddSubItem(const std::string& text);
    // Sets sub-item i, adding empty ones before it when needed.
    void SetSubItem(int i, const std::string& text);
    void* Data = nullptr;

private:
    friend class TListView;
    TListItem(TListView* owner, int index) : owner_(owner), index_(index) {}
    TListView* owner_;
    int index_;
    std::string caption_;
    int imageIndex_ = -1;
    std::vector<std::string> subItems_;
};

enum class TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum class TItemChange { ctText, ctImage, ctState };

using TLVChangeEvent = std::function<void(TObject* sender, TListItem* item, TItemChange change)>;

struct TListColumn {
    std::string Caption;
    int Width = 50;
    bool AutoSize = false;
};

class TListView : public TWinControl {
public:
    TListView(TComponent* owner, std::string name, TWinControl* parent);
    ~TListView() override;
    std::string ClassName() const override { return "TListView"; }

    // --- items
    int Count() const { return static_cast<int>(items_.size()); }
    TListItem* Item(int index) const { return items_.at(static_cast<std::size_t>(index)).get(); }
    TListItem* Add();
    // Adds an item with caption and image index in one step (one change event).
    TListItem* Add(const std::string& caption, int imageIndex = -1);
    void Delete(int index);
    void Clear();
    // Index of the first item whose caption equals text exactly, or -1
    // (a hash lookup, not a scan).
    int IndexOfCaption(const std::string& text) const;
    // Stops view updates while many items change (nested calls count).
    void BeginUpdate();
    void EndUpdate();

    // --- selection
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool v);
    int SelCount() const;
    // The first selected item, or null.
    TListItem* Selected() const;
    int ItemIndex() const;
    void SetItemIndex(int index);
    void ClearSelection();

    // --- look
    TViewStyle ViewStyle() const { return viewStyle_; }
    void SetViewStyle(TViewStyle style);
    std::vector<TListColumn>& Columns() { return columns_; }
    void AddColumn(const std::string& caption, int width, bool autoSize = false);
    int ColumnWidth(int index) const;
    void SetColumnWidth(int index, int width);
    void SetLargeImages(TImageList* images);
    void SetSmallImages(TImageList* images);
    void SetGridLines(bool v);
    void SetRowSelect(bool v);
    void SetReadOnly(bool v) { readOnly_ = v; }

    QWidget* HandleWidget() const override;
    void SetPopupMenu(TPopupMenu* menu) override;

    TLVChangeEvent OnChange;

    // Internal: an item tells its view about a change.
    void ItemChanged(TListItem* item, TItemChange change);

protected:
    bool WantsMouseEvents() const override { return false; }

private:
    friend class TListItem;
    void SyncRow(int row);
    void UpdateHeader();
    void SelectionChanged(const std::vector<int>& rows);
    QIcon IconFor(int imageIndex) const;
    bool RowSelected(int row) const;
    void SetRowSelected(int row, bool selected);

    void IndexCaption(TListItem* item);
    void UnindexCaption(TListItem* item);

    std::vector<std::unique_ptr<TListItem>> items_;
    std::unordered_multimap<std::string, TListItem*> byCaption_;
    std::vector<TListColumn> columns_;
    std::vector<bool> selectedCache_;  // last known selection, for state events
    TImageList* largeImages_ = nullptr;
    TImageList* smallImages_ = nullptr;
    TViewStyle viewStyle_ = TViewStyle::vsIcon;
    bool multiSelect_ = false;
    bool readOnly_ = true;
    int updateDepth_ = 0;
    bool syncing_ = false;
    QStandardItemModel* model_ = nullptr;  // owned by the widget
    QStackedWidget* stack_ = nullptr;
    QListView* iconView_ = nullptr;
    QTreeView* reportView_ = nullptr;
};

}  // namespace orv
