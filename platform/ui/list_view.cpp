#include "platform/ui/list_view.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QIcon>
#include <QItemSelectionModel>
#include <QListView>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <stdexcept>

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


// --- texts that do not fit ---------------------------------------------------

namespace {

// Grapheme boundaries of text, from 0 to its length.
std::vector<int> Boundaries(const QString& text) {
    std::vector<int> at{0};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (int pos = finder.toNextBoundary(); pos > 0; pos = finder.toNextBoundary()) at.push_back(pos);
    if (at.back() != text.size()) at.push_back(static_cast<int>(text.size()));
    return at;
}

// text broken anywhere (between graphemes) into lines of at most width, each
// line at least one grapheme; stops after limit + 1 lines.
std::vector<QString> Wrap(const QString& text, const QFontMetrics& metrics, int width, int limit) {
    const std::vector<int> at = Boundaries(text);
    const int last = static_cast<int>(at.size()) - 1;
    const auto piece = [&](int from, int to) { return text.mid(at[from], at[to] - at[from]); };
    std::vector<QString> lines;
    for (int from = 0; from < last && static_cast<int>(lines.size()) <= limit;) {
        int lo = from + 1, hi = last;
        while (lo < hi) {
            const int mid = (lo + hi + 1) / 2;
            if (metrics.horizontalAdvance(piece(from, mid)) <= width) lo = mid;
            else hi = mid - 1;
        }
        lines.push_back(piece(from, lo));
        from = lo;
    }
    return lines;
}

}  // namespace

TFittedText FitText(const QString& text, const QFontMetrics& metrics, int width, int lines) {
    lines = std::max(lines, 1);
    const auto fits = [&](const QString& s) {
        return lines == 1 ? metrics.horizontalAdvance(s) <= width
                          : static_cast<int>(Wrap(s, metrics, width, lines).size()) <= lines;
    };
    const auto laidOut = [&](const QString& s) {
        if (lines == 1) return s;
        QString joined;
        for (const QString& line : Wrap(s, metrics, width, lines))
            joined += (joined.isEmpty() ? QString() : QString(QChar::LineSeparator)) + line;
        return joined;
    };
    if (width <= 0 || metrics.horizontalAdvance(text) <= width || fits(text)) return {laidOut(text), false};

    // The end of a path keeps the whole file name when it fits, else the
    // larger part of the room, so it still shows which file it is.
    const QString ellipsis(QChar(0x2026));
    const std::vector<int> at = Boundaries(text);
    const int last = static_cast<int>(at.size()) - 1;
    const qsizetype slash = text.startsWith(QLatin1Char('/')) ? text.lastIndexOf(QLatin1Char('/'), text.size() - 2) : -1;
    const int room = lines * width - metrics.horizontalAdvance(ellipsis);
    const int nameWidth = slash < 0 ? 0 : metrics.horizontalAdvance(text.mid(slash));
    const int tailRoom = nameWidth < room ? std::max(room / 2, nameWidth) : room * 3 / 4;
    int tail = 0;
    for (int hi = last; tail < hi;) {
        const int mid = (tail + hi) / 2;
        if (metrics.horizontalAdvance(text.mid(at[mid])) <= tailRoom) hi = mid;
        else tail = mid + 1;
    }
    while (tail < last && !fits(ellipsis + text.mid(at[tail]))) ++tail;
    // The start takes what room is left.
    int lo = 0, hi = tail;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (fits(text.left(at[mid]) + ellipsis + text.mid(at[tail]))) lo = mid;
        else hi = mid - 1;
    }
    return {laidOut(text.left(at[lo]) + ellipsis + text.mid(at[tail])), true};
}

// --- table model ------------------------------------------------------------

// The views' window on the list's rows. It knows how many rows it has told
// the views about; rows appended since then reach them in one insertion.
class TListModel : public QAbstractTableModel {
public:
    TListModel(TListView* list, QObject* parent) : QAbstractTableModel(parent), list_(list) {}

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : rows_; }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : columns_; }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid()) return Qt::NoItemFlags;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!list_ || !index.isValid() || index.row() >= list_->Count()) return {};
        if (role == Qt::DisplayRole) {
            const std::string_view text = list_->CellText(index.row(), index.column());
            return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        }
        if (role == Qt::DecorationRole && index.column() == 0 && !list_->OwnerData()) {
            const QIcon icon = list_->IconFor(list_->rows_[static_cast<std::size_t>(index.row())].imageIndex);
            if (!icon.isNull()) return icon;
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (!list_ || orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        if (section < 0 || section >= static_cast<int>(list_->columns_.size())) return {};
        return QString::fromStdString(list_->columns_[static_cast<std::size_t>(section)].Caption);
    }

    int Rows() const { return rows_; }
    void Announce(int rows) {
        if (rows <= rows_) return;
        beginInsertRows(QModelIndex(), rows_, rows - 1);
        rows_ = rows;
        endInsertRows();
    }
    void Remove(int first, int last) {
        beginRemoveRows(QModelIndex(), first, last);
        rows_ -= last - first + 1;
        endRemoveRows();
    }
    void Reset(int rows, int columns) {
        beginResetModel();
        rows_ = rows;
        columns_ = columns;
        endResetModel();
    }
    void Changed(int first, int last, int role) {
        last = std::min(last, rows_ - 1);
        if (first > last) return;
        emit dataChanged(index(first, 0), index(last, columns_ - 1), {role});
    }
    void HeaderChanged() { emit headerDataChanged(Qt::Horizontal, 0, columns_ - 1); }
    int Columns() const { return columns_; }
    // The list is going: answer nothing from now on.
    void Detach() {
        Reset(0, columns_);
        list_ = nullptr;
    }

private:
    TListView* list_;
    int rows_ = 0;
    int columns_ = 1;
};

// --- items ------------------------------------------------------------------

std::string TListItem::Caption() const { return owner_->ItemCaption(index_); }

void TListItem::SetCaption(const std::string& caption) {
    if (owner_->OwnerData()) return;
    auto& row = owner_->rows_[static_cast<std::size_t>(index_)];
    if (caption == row.caption) return;
    row.caption = caption;
    owner_->captionsStale_ = true;
    owner_->RowChanged(index_, TItemChange::ctText);
}

int TListItem::ImageIndex() const { return owner_->ItemImageIndex(index_); }

void TListItem::SetImageIndex(int index) {
    if (owner_->OwnerData()) return;
    auto& row = owner_->rows_[static_cast<std::size_t>(index_)];
    if (index == row.imageIndex) return;
    row.imageIndex = index;
    owner_->RowChanged(index_, TItemChange::ctImage);
}

bool TListItem::Selected() const { return owner_->ItemSelected(index_); }

void TListItem::SetSelected(bool selected) { owner_->SetRowSelected(index_, selected); }

std::vector<std::string> TListItem::SubItems() const {
    if (!owner_->OwnerData()) return owner_->rows_[static_cast<std::size_t>(index_)].subItems;
    std::vector<std::string> texts;
    for (int c = 1; c < static_cast<int>(owner_->columns_.size()); ++c)
        texts.emplace_back(owner_->CellText(index_, c));
    return texts;
}

void TListItem::SetSubItem(int i, const std::string& text) {
    if (i < 0 || owner_->OwnerData()) return;
    auto& subItems = owner_->rows_[static_cast<std::size_t>(index_)].subItems;
    if (static_cast<std::size_t>(i) >= subItems.size()) subItems.resize(static_cast<std::size_t>(i) + 1);
    if (subItems[static_cast<std::size_t>(i)] == text) return;
    subItems[static_cast<std::size_t>(i)] = text;
    owner_->RowChanged(index_, TItemChange::ctText);
}

// --- view -------------------------------------------------------------------

// The views paint each text cut to its place (FitText) and show the whole
// text as a tool tip where it was cut.
class TFitDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The option of the item as painted, its text cut to fit.
    TFittedText Shown(const QStyleOptionViewItem& option, const QModelIndex& index) const {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        return Fit(opt);
    }

    // An icon takes its whole grid cell: the view measures one item for all
    // (its last), and a short text there would leave every other one a
    // sliver of room.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const auto* view = qobject_cast<const QListView*>(option.widget);
        if (view && view->viewMode() == QListView::IconMode && view->gridSize().isValid()) return view->gridSize();
        return QStyledItemDelegate::sizeHint(option, index);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        opt.text = Fit(opt).Text;
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (!event || !view || event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        if (Fit(opt).Elided)
            QToolTip::showText(event->globalPos(), opt.text, view->viewport(), view->visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }

private:
    // The room the style gives the text: its rectangle less the margins the
    // style keeps at both sides, and as many lines as it holds when the view
    // wraps text.
    static TFittedText Fit(const QStyleOptionViewItem& opt) {
        if (opt.text.isEmpty()) return {opt.text, false};
        const QWidget* widget = opt.widget;
        const QStyle* style = widget ? widget->style() : QApplication::style();
        const QRect rect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QFontMetrics metrics(opt.font);
        const bool wraps = opt.features & QStyleOptionViewItem::WrapText;
        const int lines = wraps ? rect.height() / std::max(1, metrics.lineSpacing()) : 1;
        return FitText(opt.text, metrics, rect.width() - 2 * margin, lines);
    }
};

namespace {

// How long appended rows wait for more before the views hear of them.
constexpr int kAnnounceDelayMs = 100;

// Clicks on a view's viewport become the list view's Click and DblClick
// (none on a disabled window).
class TViewClickFilter : public QObject {
public:
    explicit TViewClickFilter(TListView* view) : view_(view) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!TakesInput(qobject_cast<QWidget*>(watched))) return false;
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

// Selection events of the views are not the user's while the list itself
// changes the model.
struct TQuiet {
    explicit TQuiet(bool& flag) : flag_(flag) { flag_ = true; }
    ~TQuiet() { flag_ = false; }
    TQuiet(const TQuiet&) = delete;
    TQuiet& operator=(const TQuiet&) = delete;
    bool& flag_;
};

// The views with the option they paint an item with, for ShownText.
template <class View>
class TOptionView : public View {
public:
    QStyleOptionViewItem ItemOption(const QModelIndex& index) const {
        QStyleOptionViewItem option;
        this->initViewItemOption(&option);
        option.rect = this->visualRect(index);
        return option;
    }
};
using TIconView = TOptionView<QListView>;
using TReportView = TOptionView<QTableView>;

// A new font gives the report view's rows their height.
class TRowHeightFilter : public QObject {
public:
    explicit TRowHeightFilter(QTableView* view) : QObject(view), view_(view) { Apply(); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FontChange) Apply();
        return false;
    }

private:
    void Apply() { view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4); }
    QTableView* view_;
};

}  // namespace

TListView::TListView(TComponent* owner, std::string name, TWinControl* parent)
    : TWinControl(owner, std::move(name), parent) {
    stack_ = new QStackedWidget();
    model_ = new TListModel(this, stack_);
    announceTimer_ = new QTimer(stack_);
    announceTimer_->setSingleShot(true);
    announceTimer_->setInterval(kAnnounceDelayMs);
    QObject::connect(announceTimer_, &QTimer::timeout, Context(), [this] { Announce(); });
    iconView_ = new TIconView();
    reportView_ = new TReportView();
    delegate_ = new TFitDelegate(stack_);
    iconView_->setModel(model_);
    reportView_->setModel(model_);
    reportView_->setSelectionModel(iconView_->selectionModel());
    // Every row has the height of one line: the view never measures rows.
    QHeaderView* rowsHeader = reportView_->verticalHeader();
    rowsHeader->hide();
    rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowsHeader->setMinimumSectionSize(1);
    reportView_->installEventFilter(new TRowHeightFilter(reportView_));
    reportView_->horizontalHeader()->setHighlightSections(false);
    reportView_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    reportView_->setShowGrid(false);
    reportView_->setWordWrap(false);
    reportView_->setCornerButtonEnabled(false);
    reportView_->setTabKeyNavigation(false);
    reportView_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(iconView_), static_cast<QAbstractItemView*>(reportView_)}) {
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setSelectionMode(QAbstractItemView::SingleSelection);
        v->setDragDropMode(QAbstractItemView::NoDragDrop);
        v->setItemDelegate(delegate_);
        v->setTextElideMode(Qt::ElideMiddle);
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
                     [this](const QItemSelection& selected, const QItemSelection& deselected) {
                         if (syncing_) return;
                         Guard(this, [&] { SelectionChanged(selected, deselected); });
                     });
}

TListView::~TListView() {
    // No selection events while the model goes, and no reads of rows that
    // are about to go.
    syncing_ = true;
    model_->Detach();
}

QWidget* TListView::HandleWidget() const {
    if (!stack_) return nullptr;
    return viewStyle_ == TViewStyle::vsReport ? reportView_->viewport() : iconView_->viewport();
}

int TListView::Count() const { return OwnerData() ? ownerCount_ : static_cast<int>(rows_.size()); }

std::string_view TListView::CellText(int row, int column) const {
    if (row < 0 || row >= Count() || column < 0) return {};
    if (OwnerData()) return cellText_(row, column);
    const TRow& r = rows_[static_cast<std::size_t>(row)];
    if (column == 0) return r.caption;
    const std::size_t sub = static_cast<std::size_t>(column - 1);
    return sub < r.subItems.size() ? std::string_view(r.subItems[sub]) : std::string_view();
}

std::string TListView::ShownText(int row, int column) const {
    if (row < 0 || row >= model_->Rows() || column < 0 || column >= model_->Columns()) return {};
    const QModelIndex index = model_->index(row, column);
    const QStyleOptionViewItem option = viewStyle_ == TViewStyle::vsReport
                                            ? static_cast<const TReportView*>(reportView_)->ItemOption(index)
                                            : static_cast<const TIconView*>(iconView_)->ItemOption(index);
    return delegate_->Shown(option, index).Text.replace(QChar::LineSeparator, QLatin1Char('\n')).toStdString();
}

std::string TListView::ItemCaption(int index) const { return std::string(CellText(index, 0)); }

int TListView::ItemImageIndex(int index) const {
    if (OwnerData() || index < 0 || index >= Count()) return -1;
    return rows_[static_cast<std::size_t>(index)].imageIndex;
}

bool TListView::ItemSelected(int index) const {
    return index >= 0 && index < Count() && selected_[static_cast<std::size_t>(index)] != 0;
}

TListItem* TListView::Item(int index) const {
    if (index < 0 || index >= Count()) throw std::out_of_range("List index out of bounds");
    auto& handle = handles_[static_cast<std::size_t>(index)];
    if (!handle) handle.reset(new TListItem(const_cast<TListView*>(this), index));
    return handle.get();
}

QIcon TListView::IconFor(int imageIndex) const {
    const TImageList* list = viewStyle_ == TViewStyle::vsIcon ? largeImages_ : smallImages_;
    if (!list || !list->Valid(imageIndex)) return {};
    // Image lists only grow, so an icon once made stays right.
    const std::size_t i = static_cast<std::size_t>(imageIndex);
    if (icons_.size() <= i) icons_.resize(static_cast<std::size_t>(list->Count()));
    if (icons_[i].isNull()) icons_[i] = QIcon(list->Image(imageIndex));
    return icons_[i];
}

void TListView::RowChanged(int row, TItemChange change) {
    model_->Changed(row, row, change == TItemChange::ctImage ? Qt::DecorationRole : Qt::DisplayRole);
    if (OnChange) OnChange(this, Item(row), change);
}


// --- adding and removing

int TListView::Append(const std::string& caption, int imageIndex) {
    if (OwnerData()) return -1;
    rows_.push_back(TRow{caption, {}, imageIndex});
    const int row = Count() - 1;
    if (!captionsStale_) IndexCaption(row);
    RowsAppended();
    return row;
}

TListItem* TListView::Add() {
    const int row = Append(std::string());
    return row < 0 ? nullptr : Item(row);
}

TListItem* TListView::Add(const std::string& caption, int imageIndex) {
    const int row = Append(caption, imageIndex);
    if (row < 0) return nullptr;
    TListItem* item = Item(row);
    if (OnChange) OnChange(this, item, TItemChange::ctText);
    return item;
}

void TListView::RowsAppended() {
    selected_.resize(static_cast<std::size_t>(Count()), 0);
    handles_.resize(static_cast<std::size_t>(Count()));
    if (updateDepth_ == 0 && !announceTimer_->isActive()) announceTimer_->start();
}

void TListView::Announce() {
    announceTimer_->stop();
    if (model_->Rows() >= Count()) return;
    const TQuiet quiet(syncing_);
    model_->Announce(Count());
}

// Rows first to last (already gone from the list) leave the views.
void TListView::RowsRemoved(int first, int last) {
    selected_.erase(selected_.begin() + first, selected_.begin() + last + 1);
    handles_.erase(handles_.begin() + first, handles_.begin() + last + 1);
    Renumber(first);
    const TQuiet quiet(syncing_);
    const int known = model_->Rows();
    if (first < known) model_->Remove(first, std::min(last, known - 1));
}

void TListView::Renumber(int from) {
    for (std::size_t i = static_cast<std::size_t>(from); i < handles_.size(); ++i)
        if (handles_[i]) handles_[i]->index_ = static_cast<int>(i);
}

void TListView::Delete(int index) {
    if (OwnerData() || index < 0 || index >= Count()) return;
    rows_.erase(rows_.begin() + index);
    captionsStale_ = true;
    RowsRemoved(index, index);
}

void TListView::DeleteSelected() {
    if (OwnerData()) return;
    // From the end, one run of selected rows at a time: each run leaves the
    // views in one step.
    for (int last = Count() - 1; last >= 0; --last) {
        if (!selected_[static_cast<std::size_t>(last)]) continue;
        int first = last;
        while (first > 0 && selected_[static_cast<std::size_t>(first - 1)]) --first;
        rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
        captionsStale_ = true;
        RowsRemoved(first, last);
        last = first;
    }
}

void TListView::Clear() {
    announceTimer_->stop();
    rows_.clear();
    rows_.shrink_to_fit();
    if (OwnerData()) ownerCount_ = 0;
    selected_.clear();
    handles_.clear();
    byCaption_.clear();
    captionsStale_ = false;
    const TQuiet quiet(syncing_);
    model_->Reset(0, model_->Columns());
}

void TListView::IndexCaption(int row) {
    byCaption_.emplace(std::hash<std::string>()(rows_[static_cast<std::size_t>(row)].caption), row);
}

void TListView::ReindexCaptions() const {
    byCaption_.clear();
    for (std::size_t row = 0; row < rows_.size(); ++row)
        byCaption_.emplace(std::hash<std::string>()(rows_[row].caption), static_cast<int>(row));
    captionsStale_ = false;
}

int TListView::IndexOfCaption(const std::string& text) const {
    if (OwnerData()) {
        for (int row = 0; row < Count(); ++row)
            if (CellText(row, 0) == text) return row;
        return -1;
    }
    if (captionsStale_) ReindexCaptions();
    int best = -1;
    auto [first, last] = byCaption_.equal_range(std::hash<std::string>()(text));
    for (auto it = first; it != last; ++it)
        if ((best < 0 || it->second < best) && rows_[static_cast<std::size_t>(it->second)].caption == text)
            best = it->second;
    return best;
}

void TListView::BeginUpdate() {
    if (updateDepth_++ == 0) stack_->setUpdatesEnabled(false);
}

void TListView::EndUpdate() {
    if (updateDepth_ > 0 && --updateDepth_ == 0) {
        Announce();
        stack_->setUpdatesEnabled(true);
    }
}

// --- owner data

void TListView::SetOwnerData(TLVCellTextEvent cellText) {
    Clear();
    cellText_ = std::move(cellText);
}

void TListView::SetItemCount(int count) {
    if (!OwnerData()) return;
    count = std::max(count, 0);
    if (count < ownerCount_) {
        const int old = ownerCount_;
        ownerCount_ = count;
        RowsRemoved(count, old - 1);
    } else if (count > ownerCount_) {
        ownerCount_ = count;
        RowsAppended();
    }
}

void TListView::ResetItems(int count) {
    if (!OwnerData()) return;
    announceTimer_->stop();
    ownerCount_ = std::max(count, 0);
    selected_.assign(static_cast<std::size_t>(ownerCount_), 0);
    handles_.clear();
    handles_.resize(static_cast<std::size_t>(ownerCount_));
    const TQuiet quiet(syncing_);
    model_->Reset(ownerCount_, model_->Columns());
}

void TListView::UpdateItems(int first, int last) { model_->Changed(std::max(first, 0), last, Qt::DisplayRole); }

// --- selection

void TListView::SetRowSelected(int row, bool selected) {
    if (row < 0 || row >= Count() || ItemSelected(row) == selected) return;
    Announce();
    auto* sel = iconView_->selectionModel();
    const QModelIndex index = model_->index(row, 0);
    if (selected && !multiSelect_) {
        sel->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        sel->select(index,
                    (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) | QItemSelectionModel::Rows);
    }
    if (selected) sel->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

// Only the rows the change names are looked at, so a selection in a long
// list costs what it changed.
void TListView::SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    const QItemSelectionModel* sel = iconView_->selectionModel();
    std::vector<int> changed;
    for (const QItemSelection* delta : {&selected, &deselected})
        for (const QItemSelectionRange& range : *delta)
            for (int row = range.top(); row <= range.bottom() && row < Count(); ++row) {
                const std::uint8_t now = sel->isSelected(model_->index(row, 0)) ? 1 : 0;
                if (selected_[static_cast<std::size_t>(row)] == now) continue;
                selected_[static_cast<std::size_t>(row)] = now;
                changed.push_back(row);
            }
    for (int row : changed)
        if (OnChange && row < Count()) OnChange(this, Item(row), TItemChange::ctState);
}

void TListView::SetMultiSelect(bool v) {
    multiSelect_ = v;
    const auto mode = v ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    iconView_->setSelectionMode(mode);
    reportView_->setSelectionMode(mode);
}

int TListView::SelCount() const { return static_cast<int>(std::count(selected_.begin(), selected_.end(), 1)); }

TListItem* TListView::Selected() const {
    const int index = ItemIndex();
    return index < 0 ? nullptr : Item(index);
}

int TListView::ItemIndex() const {
    const auto it = std::find(selected_.begin(), selected_.end(), 1);
    return it == selected_.end() ? -1 : static_cast<int>(it - selected_.begin());
}

void TListView::SetItemIndex(int index) {
    ClearSelection();
    if (index >= 0 && index < Count()) SetRowSelected(index, true);
}

void TListView::ClearSelection() { iconView_->selectionModel()->clearSelection(); }

// --- look

void TListView::SetViewStyle(TViewStyle style) {
    const bool handleChanges = (style == TViewStyle::vsReport) != (viewStyle_ == TViewStyle::vsReport);
    if (handleChanges) NotifyHandleDestroying();
    viewStyle_ = style;
    icons_.clear();
    switch (style) {
        case TViewStyle::vsIcon:
            iconView_->setViewMode(QListView::IconMode);
            iconView_->setIconSize(QSize(largeImages_ ? largeImages_->Width() : 32, largeImages_ ? largeImages_->Height() : 32));
            iconView_->setGridSize(QSize(96, 72));
            iconView_->setWordWrap(true);
            // The grid gives every item its place: no item is measured.
            iconView_->setUniformItemSizes(true);
            break;
        case TViewStyle::vsSmallIcon:
        case TViewStyle::vsList:
            iconView_->setViewMode(QListView::ListMode);
            iconView_->setFlow(style == TViewStyle::vsList ? QListView::TopToBottom : QListView::LeftToRight);
            iconView_->setWrapping(true);
            iconView_->setIconSize(QSize(16, 16));
            iconView_->setGridSize(QSize());
            iconView_->setUniformItemSizes(false);
            break;
        case TViewStyle::vsReport: break;
    }
    iconView_->setResizeMode(QListView::Adjust);
    iconView_->setMovement(QListView::Static);
    iconView_->setLayoutMode(QListView::Batched);
    stack_->setCurrentWidget(style == TViewStyle::vsReport ? static_cast<QWidget*>(reportView_) : iconView_);
    model_->Changed(0, Count() - 1, Qt::DecorationRole);
    UpdateHeader();
    if (handleChanges) NotifyHandleCreated();
}

void TListView::AddColumn(const std::string& caption, int width, bool autoSize) {
    columns_.push_back({caption, width, autoSize});
    UpdateHeader();
}

void TListView::UpdateHeader() {
    const int columns = std::max(1, static_cast<int>(columns_.size()));
    if (model_->Columns() != columns) {
        Announce();
        {
            const TQuiet quiet(syncing_);
            model_->Reset(model_->Rows(), columns);
        }
        // The selection went with the reset.
        std::fill(selected_.begin(), selected_.end(), 0);
    }
    model_->HeaderChanged();
    QHeaderView* header = reportView_->horizontalHeader();
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const int section = static_cast<int>(i);
        if (columns_[i].AutoSize) {
            header->setSectionResizeMode(section, QHeaderView::Stretch);
        } else {
            header->setSectionResizeMode(section, QHeaderView::Interactive);
            reportView_->setColumnWidth(section, columns_[i].Width);
        }
    }
    header->setStretchLastSection(!columns_.empty() && columns_.back().AutoSize);
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

void TListView::SetGridLines(bool v) { reportView_->setShowGrid(v); }

void TListView::SetRowSelect(bool v) {
    reportView_->setSelectionBehavior(v ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

}  // namespace orv
