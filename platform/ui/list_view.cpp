#include "platform/ui/list_view.h"

#include <QEvent>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QListView>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTreeView>

#include "platform/ui/application.h"
#include "platform/ui/canvas.h"
#include "platform/ui/menus.h"

namespace orv {

// --- image list -------------------------------------------------------------

TImageList::TImageList(TComponent* owner, std::string name, int width, int height)
    : TComponent(owner, std::move(name)), width_(width), height_(height) {}

int TImageList::Add(const TBitmap& bitmap) {
    TBitmap copy;
    const TBitmap* src = &bitmap;
    if (bitmap.PixelFormat() != TPixelFormat::pfDevice && bitmap.PixelFormat() != TPixelFormat::pf32bit &&
        bitmap.PixelFormat() != TPixelFormat::pf24bit) {
        copy.Assign(bitmap);
        copy.SetPixelFormat(TPixelFormat::pfDevice);
        src = &copy;
    }
    const QImage image = WrapBitmap(*src).copy();
    return AddImage(QPixmap::fromImage(image));
}

int TImageList::AddImage(const QPixmap& pixmap) {
    if (pixmap.isNull() || (pixmap.width() == width_ && pixmap.height() == height_))
        images_.push_back(pixmap);
    else
        images_.push_back(pixmap.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return Count() - 1;
}

int TImageList::AddIcon(const QIcon& icon) { return AddImage(icon.pixmap(width_, height_)); }

// --- items ------------------------------------------------------------------

void TListItem::SetCaption(const std::string& caption) {
    if (caption == caption_) return;
    owner_->UnindexCaption(this);
    caption_ = caption;
    owner_->IndexCaption(this);
    owner_->ItemChanged(this, TItemChange::ctText);
}

void TListItem::SetImageIndex(int index) {
    if (index == imageIndex_) return;
    imageIndex_ = index;
    owner_->ItemChanged(this, TItemChange::ctImage);
}

bool TListItem::Selected() const { return owner_->RowSelected(index_); }

void TListItem::SetSelected(bool selected) { owner_->SetRowSelected(index_, selected); }

void TListItem::AddSubItem(const std::string& text) {
    subItems_.push_back(text);
    owner_->ItemChanged(this, TItemChange::ctText);
}

void TListItem::SetSubItem(int i, const std::string& text) {
    if (i < 0) return;
    if (static_cast<std::size_t>(i) >= subItems_.size()) subItems_.resize(static_cast<std::size_t>(i) + 1);
    if (subItems_[static_cast<std::size_t>(i)] == text) return;
    subItems_[static_cast<std::size_t>(i)] = text;
    owner_->ItemChanged(this, TItemChange::ctText);
}

// --- view -------------------------------------------------------------------

namespace {

// Clicks on a view's viewport become the list view's Click and DblClick.
class TViewClickFilter : public QObject {
public:
    explicit TViewClickFilter(TListView* view) : view_(view) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            Guard(view_, [this] { view_->Click(); });
        else if (event->type() == QEvent::MouseButtonDblClick)
            Guard(view_, [this] { view_->DblClick(); });
        return false;
    }

private:
    TListView* view_;
};

}  // namespace

TListView::TListView(TComponent* owner, std::string name, TWinControl* parent)
    : TWinControl(owner, std::move(name), parent) {
    stack_ = new QStackedWidget();
    model_ = new QStandardItemModel(stack_);
    iconView_ = new QListView();
    reportView_ = new QTreeView();
    iconView_->setModel(model_);
    reportView_->setModel(model_);
    reportView_->setSelectionModel(iconView_->selectionModel());
    reportView_->setRootIsDecorated(false);
    reportView_->setUniformRowHeights(true);
    reportView_->setAllColumnsShowFocus(true);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(iconView_), static_cast<QAbstractItemView*>(reportView_)}) {
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setSelectionMode(QAbstractItemView::SingleSelection);
        v->setDragDropMode(QAbstractItemView::NoDragDrop);
        auto* filter = new TViewClickFilter(this);
        filter->setParent(v->viewport());
        v->viewport()->installEventFilter(filter);
    }
    stack_->addWidget(iconView_);
    stack_->addWidget(reportView_);
    AttachWidget(stack_);
    TControl::SetColor(clWindow);
    SetViewStyle(TViewStyle::vsIcon);
    QObject::connect(iconView_->selectionModel(), &QItemSelectionModel::selectionChanged, Context(),
                     [this](const QItemSelection&, const QItemSelection&) {
                         if (syncing_) return;
                         std::vector<int> changed;
                         for (int row = 0; row < Count(); ++row)
                             if (RowSelected(row) != selectedCache_[static_cast<std::size_t>(row)])
                                 changed.push_back(row);
                         Guard(this, [&] { SelectionChanged(changed); });
                     });
}

TListView::~TListView() {
    // No selection events while the model goes.
    syncing_ = true;
}

QWidget* TListView::HandleWidget() const {
    if (!stack_) return nullptr;
    return viewStyle_ == TViewStyle::vsReport ? reportView_->viewport() : iconView_->viewport();
}

QIcon TListView::IconFor(int imageIndex) const {
    const TImageList* list = viewStyle_ == TViewStyle::vsIcon ? largeImages_ : smallImages_;
    if (!list || !list->Valid(imageIndex)) return {};
    return QIcon(list->Image(imageIndex));
}

void TListView::SyncRow(int row) {
    const TListItem* item = items_[static_cast<std::size_t>(row)].get();
    const int columns = std::max(1, static_cast<int>(columns_.size()));
    if (model_->columnCount() < columns) model_->setColumnCount(columns);
    auto* cell = model_->item(row, 0);
    if (!cell) {
        cell = new QStandardItem();
        model_->setItem(row, 0, cell);
    }
    cell->setText(QString::fromStdString(item->caption_));
    cell->setIcon(IconFor(item->imageIndex_));
    for (int c = 1; c < model_->columnCount(); ++c) {
        const std::size_t si = static_cast<std::size_t>(c - 1);
        const QString text = si < item->subItems_.size() ? QString::fromStdString(item->subItems_[si]) : QString();
        auto* sub = model_->item(row, c);
        if (!sub) {
            if (text.isEmpty()) continue;
            sub = new QStandardItem();
            model_->setItem(row, c, sub);
        }
        sub->setText(text);
    }
}

TListItem* TListView::Add() {
    const int row = Count();
    items_.push_back(std::unique_ptr<TListItem>(new TListItem(this, row)));
    IndexCaption(items_.back().get());
    selectedCache_.push_back(false);
    syncing_ = true;
    model_->insertRow(row);
    SyncRow(row);
    syncing_ = false;
    return items_.back().get();
}

TListItem* TListView::Add(const std::string& caption, int imageIndex) {
    TListItem* item = Add();
    UnindexCaption(item);
    item->caption_ = caption;
    IndexCaption(item);
    item->imageIndex_ = imageIndex;
    SyncRow(item->index_);
    if (OnChange) OnChange(this, item, TItemChange::ctText);
    return item;
}

void TListView::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    syncing_ = true;
    model_->removeRow(index);
    syncing_ = false;
    UnindexCaption(items_[static_cast<std::size_t>(index)].get());
    items_.erase(items_.begin() + index);
    selectedCache_.erase(selectedCache_.begin() + index);
    for (int i = index; i < Count(); ++i) items_[static_cast<std::size_t>(i)]->index_ = i;
}

void TListView::Clear() {
    syncing_ = true;
    model_->removeRows(0, model_->rowCount());
    syncing_ = false;
    items_.clear();
    byCaption_.clear();
    selectedCache_.clear();
}

void TListView::IndexCaption(TListItem* item) { byCaption_.emplace(item->caption_, item); }

void TListView::UnindexCaption(TListItem* item) {
    auto [first, last] = byCaption_.equal_range(item->caption_);
    for (auto it = first; it != last; ++it)
        if (it->second == item) {
            byCaption_.erase(it);
            return;
        }
}

int TListView::IndexOfCaption(const std::string& text) const {
    int best = -1;
    auto [first, last] = byCaption_.equal_range(text);
    for (auto it = first; it != last; ++it)
        if (best < 0 || it->second->Index() < best) best = it->second->Index();
    return best;
}

void TListView::BeginUpdate() {
    if (updateDepth_++ == 0) stack_->setUpdatesEnabled(false);
}

void TListView::EndUpdate() {
    if (updateDepth_ > 0 && --updateDepth_ == 0) stack_->setUpdatesEnabled(true);
}

void TListView::ItemChanged(TListItem* item, TItemChange change) {
    syncing_ = true;
    SyncRow(item->index_);
    syncing_ = false;
    if (OnChange) OnChange(this, item, change);
}

bool TListView::RowSelected(int row) const {
    if (row < 0 || row >= Count()) return false;
    return iconView_->selectionModel()->isRowSelected(row, QModelIndex());
}

void TListView::SetRowSelected(int row, bool selected) {
    if (row < 0 || row >= Count() || RowSelected(row) == selected) return;
    auto* sel = iconView_->selectionModel();
    if (selected && !multiSelect_) {
        sel->select(model_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        sel->select(model_->index(row, 0),
                    (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) | QItemSelectionModel::Rows);
    }
    if (selected) sel->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
}

void TListView::SelectionChanged(const std::vector<int>& rows) {
    for (int row : rows) selectedCache_[static_cast<std::size_t>(row)] = RowSelected(row);
    for (int row : rows)
        if (OnChange && row < Count()) OnChange(this, Item(row), TItemChange::ctState);
}

void TListView::SetMultiSelect(bool v) {
    multiSelect_ = v;
    const auto mode = v ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    iconView_->setSelectionMode(mode);
    reportView_->setSelectionMode(mode);
}

int TListView::SelCount() const {
    int n = 0;
    for (int row = 0; row < Count(); ++row) n += RowSelected(row) ? 1 : 0;
    return n;
}

TListItem* TListView::Selected() const {
    for (int row = 0; row < Count(); ++row)
        if (RowSelected(row)) return Item(row);
    return nullptr;
}

int TListView::ItemIndex() const {
    const TListItem* item = Selected();
    return item ? item->Index() : -1;
}

void TListView::SetItemIndex(int index) {
    ClearSelection();
    if (index >= 0 && index < Count()) SetRowSelected(index, true);
}

void TListView::ClearSelection() { iconView_->selectionModel()->clearSelection(); }

void TListView::SetViewStyle(TViewStyle style) {
    const bool handleChanges = (style == TViewStyle::vsReport) != (viewStyle_ == TViewStyle::vsReport);
    if (handleChanges) NotifyHandleDestroying();
    viewStyle_ = style;
    switch (style) {
        case TViewStyle::vsIcon:
            iconView_->setViewMode(QListView::IconMode);
            iconView_->setIconSize(QSize(largeImages_ ? largeImages_->Width() : 32, largeImages_ ? largeImages_->Height() : 32));
            iconView_->setGridSize(QSize(96, 72));
            iconView_->setWordWrap(true);
            break;
        case TViewStyle::vsSmallIcon:
        case TViewStyle::vsList:
            iconView_->setViewMode(QListView::ListMode);
            iconView_->setFlow(style == TViewStyle::vsList ? QListView::TopToBottom : QListView::LeftToRight);
            iconView_->setWrapping(true);
            iconView_->setIconSize(QSize(16, 16));
            iconView_->setGridSize(QSize());
            break;
        case TViewStyle::vsReport: break;
    }
    iconView_->setResizeMode(QListView::Adjust);
    iconView_->setMovement(QListView::Static);
    stack_->setCurrentWidget(style == TViewStyle::vsReport ? static_cast<QWidget*>(reportView_) : iconView_);
    syncing_ = true;
    for (int row = 0; row < Count(); ++row) SyncRow(row);
    syncing_ = false;
    UpdateHeader();
    if (handleChanges) NotifyHandleCreated();
}

void TListView::AddColumn(const std::string& caption, int width, bool autoSize) {
    columns_.push_back({caption, width, autoSize});
    UpdateHeader();
}

void TListView::UpdateHeader() {
    const int columns = std::max(1, static_cast<int>(columns_.size()));
    if (model_->columnCount() != columns) model_->setColumnCount(columns);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        model_->setHeaderData(static_cast<int>(i), Qt::Horizontal, QString::fromStdString(columns_[i].Caption));
        if (columns_[i].AutoSize)
            reportView_->header()->setSectionResizeMode(static_cast<int>(i), QHeaderView::Stretch);
        else
            reportView_->setColumnWidth(static_cast<int>(i), columns_[i].Width);
    }
    reportView_->header()->setStretchLastSection(!columns_.empty() && columns_.back().AutoSize);
}

void TListView::SetPopupMenu(TPopupMenu* menu) {
    TWinControl::SetPopupMenu(menu);
    // The menu opens from whichever view is showing.
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(iconView_), static_cast<QAbstractItemView*>(reportView_)}) {
        v->setContextMenuPolicy(menu ? Qt::CustomContextMenu : Qt::DefaultContextMenu);
        QObject::disconnect(v, &QWidget::customContextMenuRequested, Context(), nullptr);
        if (!menu) continue;
        QObject::connect(v, &QWidget::customContextMenuRequested, Context(), [this, v](const QPoint& p) {
            Guard(this, [&] {
                if (TPopupMenu* m = PopupMenu()) {
                    const QPoint g = v->viewport()->mapToGlobal(p);
                    m->Popup(g.x(), g.y());
                }
            });
        });
    }
}

int TListView::ColumnWidth(int index) const {
    if (index < 0 || index >= static_cast<int>(columns_.size())) return 0;
    return reportView_->columnWidth(index);
}

void TListView::SetColumnWidth(int index, int width) {
    if (index < 0 || index >= static_cast<int>(columns_.size())) return;
    columns_[static_cast<std::size_t>(index)].Width = width;
    reportView_->setColumnWidth(index, width);
}

void TListView::SetLargeImages(TImageList* images) {
    largeImages_ = images;
    SetViewStyle(viewStyle_);
}

void TListView::SetSmallImages(TImageList* images) {
    smallImages_ = images;
    SetViewStyle(viewStyle_);
}

void TListView::SetGridLines(bool v) {
    // An item style sheet replaces the style's own drawing of selected items
    // (pale, white text): name the highlight colours for them as well.
    reportView_->setStyleSheet(v ? "QTreeView::item { border-right: 1px solid #d0d0d0; border-bottom: 1px solid #d0d0d0; }"
                                   " QTreeView::item:selected { background: palette(highlight);"
                                   " color: palette(highlighted-text); }"
                                 : "");
}

void TListView::SetRowSelect(bool v) {
    reportView_->setSelectionBehavior(v ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

}  // namespace orv
