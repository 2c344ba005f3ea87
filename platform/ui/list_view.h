// Image lists and the list view: icon, small-icon, list and report views
// over one model; columns with widths; items with caption, sub-items, image
// index and selection. Change events tell text, image and state apart.
#pragma once

#include <QFontMetrics>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/ui/control.h"

class QItemSelection;
class QStackedWidget;
class QListView;
class QTableView;
class QTimer;

namespace orv {

// A text cut to fit a place of width pixels and at most lines lines: what
// does not fit goes from the middle, marked by an ellipsis, and the end of a
// path keeps its file name where there is room for it. Lines are separated
// by QChar::LineSeparator.
struct TFittedText {
    QString Text;
    bool Elided = false;
};
TFittedText FitText(const QString& text, const QFontMetrics& metrics, int width, int lines = 1);

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
    void Clear() { images_.clear(); }
    const QPixmap& Image(int index) const { return images_.at(static_cast<std::size_t>(index)); }
    bool Valid(int index) const { return index >= 0 && index < Count(); }

private:
    int width_, height_;
    std::vector<QPixmap> images_;
};

class TListView;
class TListModel;
class TFitDelegate;

// A handle on one row of a list view: made when asked for and kept until
// its row goes, so a list of many rows holds handles only where code used
// them. Texts are read from the view's rows each time.
class TListItem {
public:
    TListView* Owner() const { return owner_; }
    int Index() const { return index_; }
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    int ImageIndex() const;
    void SetImageIndex(int index);
    bool Selected() const;
    void SetSelected(bool selected);
    // Sub-items (columns 1...). Change them through SetSubItem.
    std::vector<std::string> SubItems() const;
    // Sets sub-item i, adding empty ones before it when needed.
    void SetSubItem(int i, const std::string& text);
    void* Data = nullptr;

private:
    friend class TListView;
    TListItem(TListView* owner, int index) : owner_(owner), index_(index) {}
    TListView* owner_;
    int index_;
};

enum class TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum class TItemChange { ctText, ctImage, ctState };

using TLVChangeEvent = std::function<void(TObject* sender, TListItem* item, TItemChange change)>;
// The text of a cell of an owner-data list view (column 0 is the caption).
// The text must stay valid until the owner's rows change.
using TLVCellTextEvent = std::function<std::string_view(int row, int column)>;

struct TListColumn {
    std::string Caption;
    int Width = 50;
    bool AutoSize = false;
};

// Rows are held compactly (or, with owner data, not at all) and the views
// read them through a table model as they paint, so a list of a million rows
// costs its texts and a few bytes per row. Rows appended outside
// BeginUpdate/EndUpdate reach the views together, a moment later, so a list
// that grows row by row does not lay out the whole view for every row.
class TListView : public TWinControl {
public:
    TListView(TComponent* owner, std::string name, TWinControl* parent);
    ~TListView() override;
    std::string ClassName() const override { return "TListView"; }

    // --- items
    int Count() const;
    // The handle of row index (made on first use).
    TListItem* Item(int index) const;
    TListItem* Add();
    // Adds an item with caption and image index in one step (one change event).
    TListItem* Add(const std::string& caption, int imageIndex = -1);
    // The same without making a handle; returns the row's index.
    int Append(const std::string& caption, int imageIndex = -1);
    void Delete(int index);
    // Deletes every selected row in one pass.
    void DeleteSelected();
    void Clear();
    // Index of the first item whose caption equals text exactly, or -1
    // (a hash lookup, not a scan).
    int IndexOfCaption(const std::string& text) const;
    // Holds back the views while many rows are added (nested calls count).
    void BeginUpdate();
    void EndUpdate();
    // Row reads that make no handle.
    std::string ItemCaption(int index) const;
    // A cell's text as the showing view paints it in its place now (lines
    // separated by '\n'); texts that do not fit show whole as a tool tip.
    std::string ShownText(int row, int column = 0) const;
    int ItemImageIndex(int index) const;
    bool ItemSelected(int index) const;

    // --- owner data: the rows live with the owner, who names their number
    // and answers their texts; the view keeps only their selection.
    void SetOwnerData(TLVCellTextEvent cellText);
    bool OwnerData() const { return static_cast<bool>(cellText_); }
    // Rows added at or removed from the end.
    void SetItemCount(int count);
    // Every row replaced (the selection goes).
    void ResetItems(int count);
    // The texts of rows first to last changed.
    void UpdateItems(int first, int last);

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

protected:
    bool WantsMouseEvents() const override { return false; }

private:
    friend class TListItem;
    friend class TListModel;
    struct TRow {
        std::string caption;
        std::vector<std::string> subItems;
        int imageIndex = -1;
    };

    std::string_view CellText(int row, int column) const;
    QIcon IconFor(int imageIndex) const;
    void RowChanged(int row, TItemChange change);
    void SetRowSelected(int row, bool selected);
    void SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void RowsAppended();
    // Tells the views about rows appended since they last heard.
    void Announce();
    void RowsRemoved(int first, int last);
    void Renumber(int from);
    void UpdateHeader();
    void IndexCaption(int row);
    void ReindexCaptions() const;

    std::vector<TRow> rows_;
    int ownerCount_ = 0;
    TLVCellTextEvent cellText_;
    std::vector<std::uint8_t> selected_;
    mutable std::vector<std::unique_ptr<TListItem>> handles_;
    // caption hash -> row; rebuilt when rows were deleted
    mutable std::unordered_multimap<std::size_t, int> byCaption_;
    mutable bool captionsStale_ = false;
    std::vector<TListColumn> columns_;
    mutable std::vector<QIcon> icons_;  // of the image list in use, by index
    TImageList* largeImages_ = nullptr;
    TImageList* smallImages_ = nullptr;
    TViewStyle viewStyle_ = TViewStyle::vsIcon;
    bool multiSelect_ = false;
    bool readOnly_ = true;
    int updateDepth_ = 0;
    bool syncing_ = false;
    TListModel* model_ = nullptr;  // owned by the widget
    TFitDelegate* delegate_ = nullptr;  // owned by the widget
    QTimer* announceTimer_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QListView* iconView_ = nullptr;
    QTableView* reportView_ = nullptr;
};

}  // namespace orv
