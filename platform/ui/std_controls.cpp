#include "platform/ui/std_controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>

#include "platform/ui/application.h"
#include "platform/ui/forms.h"

namespace orv {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

void SetBaseColor(QWidget* w, TColor color, QPalette::ColorRole role) {
    QPalette pal = w->palette();
    pal.setColor(role, ToQColor(color));
    w->setPalette(pal);
}

}  // namespace

// --- label ------------------------------------------------------------------

TLabel::TLabel(TComponent* owner, std::string name, TWinControl* parent) : TControl(owner, std::move(name), parent) {
    auto* label = new QLabel();
    label->setTextFormat(Qt::PlainText);
    AttachWidget(label);
    TControl::SetColor(clBtnFace);
    SetTransparent(true);
}

void TLabel::SetCaption(const std::string& caption) {
    TControl::SetCaption(caption);
    // The windows break lines with CR alone.
    std::string text = caption;
    std::replace(text.begin(), text.end(), '\r', '\n');
    static_cast<QLabel*>(Widget())->setText(Q(text));
    FitText();
}

void TLabel::SetAutoSize(bool v) {
    autoSize_ = v;
    FitText();
}

void TLabel::FitText() {
    if (!autoSize_) return;
    const QSize s = Widget()->sizeHint();
    SetBounds(Left(), Top(), s.width(), s.height());
}

void TLabel::SetFont(const TFont& font) {
    TControl::SetFont(font);
    SetBaseColor(Widget(), font.Color, QPalette::WindowText);
    FitText();
}

void TLabel::SetAlignment(TAlignment a) {
    alignment_ = a;
    UpdateAlignment();
}

void TLabel::SetLayout(TTextLayout l) {
    layout_ = l;
    UpdateAlignment();
}

void TLabel::UpdateAlignment() {
    Qt::Alignment al = alignment_ == TAlignment::taCenter         ? Qt::AlignHCenter
                       : alignment_ == TAlignment::taRightJustify ? Qt::AlignRight
                                                                  : Qt::AlignLeft;
    al |= layout_ == TTextLayout::tlCenter ? Qt::AlignVCenter : layout_ == TTextLayout::tlBottom ? Qt::AlignBottom
                                                                                                : Qt::AlignTop;
    static_cast<QLabel*>(Widget())->setAlignment(al);
}

void TLabel::SetTransparent(bool v) {
    Widget()->setAutoFillBackground(!v);
}

void TLabel::ApplyColor() { SetBaseColor(Widget(), Color(), QPalette::Window); }

// --- image ------------------------------------------------------------------

TImage::TImage(TComponent* owner, std::string name, TWinControl* parent)
    : TGraphicControl(owner, std::move(name), parent) {}

void TImage::SetPicture(const TBitmap& bitmap) {
    picture_.Assign(bitmap);
    Invalidate();
}

void TImage::TakePicture(TBitmap& bitmap) {
    picture_.MoveAssign(bitmap);
    Invalidate();
}

void TImage::ClearPicture() {
    picture_.Clear();
    Invalidate();
}

TRect TImage::DestRect() const {
    const int cw = ClientWidth(), ch = ClientHeight();
    int w = picture_.Width(), h = picture_.Height();
    if (w <= 0 || h <= 0) return {};
    if (stretch_ || (proportional_ && (w > cw || h > ch))) {
        if (proportional_) {
            // Fit inside keeping the aspect ratio (64-bit: large pictures).
            const long long sw = static_cast<long long>(cw) * h, sh = static_cast<long long>(ch) * w;
            if (sw < sh) {
                h = static_cast<int>(static_cast<long long>(cw) * h / w);
                w = cw;
            } else {
                w = static_cast<int>(static_cast<long long>(ch) * w / h);
                h = ch;
            }
        } else {
            w = cw;
            h = ch;
        }
    }
    int x = 0, y = 0;
    if (center_) {
        x = (cw - w) / 2;
        y = (ch - h) / 2;
    }
    return TRect{x, y, x + w, y + h};
}

void TImage::Paint(TCanvas& canvas) {
    if (picture_.Empty()) return;
    const TRect d = DestRect();
    if (d.IsEmpty()) return;
    TBitmap source;
    const TBitmap* src = &picture_;
    if (picture_.PixelFormat() != TPixelFormat::pfDevice && picture_.PixelFormat() != TPixelFormat::pf32bit &&
        picture_.PixelFormat() != TPixelFormat::pf24bit) {
        source.Assign(picture_);
        source.SetPixelFormat(TPixelFormat::pfDevice);
        src = &source;
    }
    QImage image = WrapBitmap(*src);
    if (transparent_) {
        // The bottom-left pixel's colour is the see-through one.
        image = image.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = image.pixel(0, image.height() - 1);
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if (row[x] == key) row[x] = 0;
        }
    }
    QImage target = WrapBitmap(canvas.Bitmap());
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRect(d.Left, d.Top, d.Width(), d.Height()), image);
}

// --- check box --------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* owner, std::string name, TWinControl* parent)
    : TWinControl(owner, std::move(name), parent) {
    auto* box = new QCheckBox();
    AttachWidget(box);
    QObject::connect(box, &QCheckBox::toggled, Context(), [this](bool) {
        if (!updating_) Guard(this, [this] { Click(); });
    });
}

void TCheckBox::SetCaption(const std::string& caption) {
    TControl::SetCaption(caption);
    static_cast<QCheckBox*>(Widget())->setText(Q(caption));
}

bool TCheckBox::Checked() const { return static_cast<QCheckBox*>(Widget())->isChecked(); }

void TCheckBox::SetChecked(bool checked) {
    if (checked == Checked()) return;
    updating_ = true;
    static_cast<QCheckBox*>(Widget())->setChecked(checked);
    updating_ = false;
    Click();
}

// --- radio group ------------------------------------------------------------

TRadioGroup::TRadioGroup(TComponent* owner, std::string name, TWinControl* parent)
    : TWinControl(owner, std::move(name), parent) {
    auto* box = new QGroupBox();
    auto* group = new QButtonGroup(box);
    // Exclusivity is ours: -1 must be able to clear every button.
    group->setExclusive(false);
    group->setObjectName("items");
    new QGridLayout(box);
    AttachWidget(box);
    QObject::connect(group, &QButtonGroup::idClicked, Context(),
                     [this](int id) { Guard(this, [&] { UserClicked(id); }); });
}

void TRadioGroup::SetCaption(const std::string& caption) {
    TControl::SetCaption(caption);
    static_cast<QGroupBox*>(Widget())->setTitle(Q(caption));
}

void TRadioGroup::SetItems(const std::vector<std::string>& items) {
    items_ = items;
    if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
    Rebuild();
}

void TRadioGroup::SetColumns(int columns) {
    columns_ = std::max(1, columns);
    Rebuild();
}

void TRadioGroup::Rebuild() {
    auto* box = static_cast<QGroupBox*>(Widget());
    auto* group = box->findChild<QButtonGroup*>("items");
    auto* layout = static_cast<QGridLayout*>(box->layout());
    for (QAbstractButton* b : group->buttons()) {
        group->removeButton(b);
        delete b;
    }
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setVerticalSpacing(0);
    const int rows = (static_cast<int>(items_.size()) + columns_ - 1) / columns_;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        auto* b = new QRadioButton(Q(items_[i]), box);
        group->addButton(b, static_cast<int>(i));
        const int idx = static_cast<int>(i);
        layout->addWidget(b, rows ? idx % rows : 0, rows ? idx / rows : 0);
    }
    ShowChoice();
}

void TRadioGroup::ShowChoice() {
    auto* group = Widget()->findChild<QButtonGroup*>("items");
    for (QAbstractButton* b : group->buttons()) b->setChecked(group->id(b) == itemIndex_);
}

void TRadioGroup::SetItemIndex(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
    if (index == itemIndex_) return;
    itemIndex_ = index;
    ShowChoice();
    if (index >= 0) Click();
}

void TRadioGroup::UserClicked(int index) {
    if (index == itemIndex_) {
        ShowChoice();  // the button stays checked; nothing runs
        return;
    }
    SetItemIndex(index);
}

// --- edit -------------------------------------------------------------------

TEdit::TEdit(TComponent* owner, std::string name, TWinControl* parent) : TWinControl(owner, std::move(name), parent) {
    auto* edit = new QLineEdit();
    AttachWidget(edit);
    TControl::SetColor(clWindow);
    // textChanged fires for the user's typing and for code alike.
    QObject::connect(edit, &QLineEdit::textChanged, Context(), [this](const QString&) {
        Guard(this, [this] {
            if (OnChange) OnChange(this);
        });
    });
}

TEdit::~TEdit() = default;

std::string TEdit::Text() const { return static_cast<QLineEdit*>(Widget())->text().toStdString(); }

void TEdit::SetText(const std::string& text) {
    auto* edit = static_cast<QLineEdit*>(Widget());
    const QString q = Q(text);
    if (q == edit->text()) return;
    // Called from code, the handler's exceptions reach the caller.
    QSignalBlocker block(edit);
    edit->setText(q);
    if (OnChange) OnChange(this);
}

void TEdit::ApplyColor() { SetBaseColor(Widget(), Color(), QPalette::Base); }

void TEdit::SetBounds(int left, int top, int width, int height) {
    TWinControl::SetBounds(left, top, width, height);
    BoundsChanged();
}

void TEdit::SetVisible(bool visible) { TWinControl::SetVisible(visible); }

TLabeledEdit::TLabeledEdit(TComponent* owner, std::string name, TWinControl* parent)
    : TEdit(owner, std::move(name), parent), label_(this, "SubLabel", parent) {}

void TLabeledEdit::SetLabelCaption(const std::string& caption) {
    label_.SetCaption(caption);
    BoundsChanged();
}

void TLabeledEdit::SetLabelPosition(TLabelPosition p) {
    position_ = p;
    BoundsChanged();
}

void TLabeledEdit::SetVisible(bool visible) {
    TEdit::SetVisible(visible);
    label_.SetVisible(visible);
}

void TLabeledEdit::BoundsChanged() {
    if (position_ == TLabelPosition::lpAbove)
        label_.SetBounds(Left(), Top() - label_.Height() - 3, label_.Width(), label_.Height());
    else
        label_.SetBounds(Left() - label_.Width() - 3, Top() + (Height() - label_.Height()) / 2, label_.Width(),
                         label_.Height());
}

// --- memo -------------------------------------------------------------------

TMemo::TMemo(TComponent* owner, std::string name, TWinControl* parent) : TWinControl(owner, std::move(name), parent) {
    auto* edit = new QPlainTextEdit();
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    AttachWidget(edit);
    TControl::SetColor(clWindow);
}

void TMemo::Add(const std::string& line) { static_cast<QPlainTextEdit*>(Widget())->appendPlainText(Q(line)); }

void TMemo::Clear() { static_cast<QPlainTextEdit*>(Widget())->clear(); }

int TMemo::LineCount() const {
    auto* edit = static_cast<QPlainTextEdit*>(Widget());
    if (edit->document()->isEmpty()) return 0;
    return edit->document()->blockCount();
}

std::vector<std::string> TMemo::Lines() const {
    std::vector<std::string> lines;
    auto* edit = static_cast<QPlainTextEdit*>(Widget());
    if (edit->document()->isEmpty()) return lines;
    for (QTextBlock b = edit->document()->begin(); b.isValid(); b = b.next()) lines.push_back(b.text().toStdString());
    return lines;
}

std::string TMemo::Text() const { return static_cast<QPlainTextEdit*>(Widget())->toPlainText().toStdString(); }

void TMemo::SetText(const std::string& text) { static_cast<QPlainTextEdit*>(Widget())->setPlainText(Q(text)); }

void TMemo::SetReadOnly(bool v) { static_cast<QPlainTextEdit*>(Widget())->setReadOnly(v); }

void TMemo::SetWordWrap(bool v) {
    static_cast<QPlainTextEdit*>(Widget())->setLineWrapMode(v ? QPlainTextEdit::WidgetWidth
                                                              : QPlainTextEdit::NoWrap);
}

void TMemo::ApplyColor() { SetBaseColor(Widget(), Color(), QPalette::Base); }

// --- button -----------------------------------------------------------------

TButton::TButton(TComponent* owner, std::string name, TWinControl* parent)
    : TWinControl(owner, std::move(name), parent) {
    auto* button = new QPushButton();
    button->setAutoDefault(false);
    AttachWidget(button);
    QObject::connect(button, &QPushButton::clicked, Context(), [this] { Guard(this, [this] { Click(); }); });
}

void TButton::SetCaption(const std::string& caption) {
    TControl::SetCaption(caption);
    static_cast<QPushButton*>(Widget())->setText(Q(caption));
}

void TButton::SetDefault(bool v) {
    default_ = v;
    static_cast<QPushButton*>(Widget())->setDefault(v);
}

void TButton::Click() {
    if (ModalResult != 0) {
        // The form that holds the button takes its result.
        for (TWinControl* p = Parent(); p; p = p->Parent()) {
            if (auto* form = dynamic_cast<TForm*>(p)) {
                form->SetModalResult(ModalResult);
                break;
            }
        }
    }
    TControl::Click();
}

// --- gauge ------------------------------------------------------------------

namespace {
constexpr TColor kGaugeFill = RGBColor(48, 140, 198);
}  // namespace

TGauge::TGauge(TComponent* owner, std::string name, TWinControl* parent)
    : TCustomControl(owner, std::move(name), parent) {}

void TGauge::SetMaxValue(int v) {
    max_ = v;
    Changed();
}

void TGauge::SetProgress(int v) {
    progress_ = v;
    Changed();
}

int TGauge::PercentDone() const { return DoneOutOf(100); }

int TGauge::DoneOutOf(int whole) const {
    const std::int64_t total = std::int64_t{max_} - min_;
    if (total <= 0 || whole <= 0) return 0;
    const std::int64_t done = std::clamp<std::int64_t>(std::int64_t{progress_} - min_, 0, total);
    return static_cast<int>(done * whole / total);
}

// A long run moves the gauge far more often than it shows a new pixel or
// percentage; only those are painted.
void TGauge::Changed() {
    const int percent = PercentDone(), fill = DoneOutOf(ClientWidth() - 2);
    if (percent == shownPercent_ && fill == shownFill_) return;
    shownPercent_ = percent;
    shownFill_ = fill;
    Invalidate();
}

void TGauge::Paint(TCanvas& canvas) {
    const int w = ClientWidth(), h = ClientHeight();
    shownPercent_ = PercentDone();
    shownFill_ = DoneOutOf(w - 2);
    canvas.BrushStyle = TBrushStyle::bsSolid;
    canvas.BrushColor = clBtnShadow;
    canvas.FrameRect(TRect{0, 0, w, h});
    canvas.BrushColor = kGaugeFill;
    canvas.FillRect(TRect{1, 1, 1 + shownFill_, h - 1});
    canvas.BrushColor = clWindow;
    canvas.FillRect(TRect{1 + shownFill_, 1, w - 1, h - 1});
    const std::string text = std::to_string(shownPercent_) + "%";
    canvas.BrushStyle = TBrushStyle::bsClear;
    canvas.Font.Color = clWindowText;
    canvas.TextOut((w - canvas.TextWidth(text)) / 2, (h - canvas.TextHeight(text)) / 2, text);
}

// --- timer ------------------------------------------------------------------

TTimer::TTimer(TComponent* owner, std::string name) : TComponent(owner, std::move(name)), timer_(std::make_unique<QTimer>()) {
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] {
        Guard(this, [this] {
            if (OnTimer) OnTimer(this);
        });
    });
    Restart();
}

TTimer::~TTimer() { timer_->stop(); }

void TTimer::SetEnabled(bool v) {
    enabled_ = v;
    Restart();
}

void TTimer::SetInterval(int ms) {
    interval_ = ms;
    Restart();
}

void TTimer::Restart() {
    timer_->stop();
    if (enabled_ && interval_ > 0) timer_->start(interval_);
}

}  // namespace orv
