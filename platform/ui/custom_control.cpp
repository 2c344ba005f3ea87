#include "platform/ui/custom_control.h"

#include <QGroupBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <algorithm>
#include <vector>

#include "platform/ui/application.h"

namespace orv {

// The widget of a painted control: each paint event renders the face and
// copies it to the screen.
class TPaintWidget : public QWidget {
public:
    TPaintWidget(TCustomControl* windowed, TGraphicControl* graphic) : windowed_(windowed), graphic_(graphic) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    // A press belongs to this control alone; it does not travel on to the
    // parent as an ignored event would.
    void mousePressEvent(QMouseEvent* e) override { e->accept(); }
    void mouseReleaseEvent(QMouseEvent* e) override { e->accept(); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { e->accept(); }

    // A font taken over from the parent, or a new enabled state of a face
    // that shows it, changes the face without a call to Invalidate.
    void changeEvent(QEvent* e) override {
        const auto type = e->type();
        if (type == QEvent::FontChange || type == QEvent::PaletteChange ||
            (type == QEvent::EnabledChange && PaintedFace()->LookFollowsEnabled()))
            FaceOutdated();
        QWidget::changeEvent(e);
    }
    // A control may paint nothing while hidden: shown again, it renders anew.
    void showEvent(QShowEvent* e) override {
        FaceOutdated();
        QWidget::showEvent(e);
    }

    // The face is rendered again only when out of date; the event's region
    // alone is copied to the screen.
    void paintEvent(QPaintEvent* event) override {
        TPaintedFace* face = PaintedFace();
        Guard(windowed_ ? static_cast<TObject*>(windowed_) : graphic_, [&] {
            if (windowed_) {
                windowed_->UpdateFace();
            } else if (graphic_->faceReady_) {
                // A face drawn just now by ShowFaceNow is shown as it is.
                graphic_->faceReady_ = false;
            } else {
                graphic_->UpdateFace();
            }
        });
        const QImage image = WrapBitmap(std::as_const(face->Face()));
        if (image.isNull()) return;
        QPainter painter(this);
        for (const QRect& r : event->region()) painter.drawImage(r.topLeft(), image, r);
    }

private:
    TPaintedFace* PaintedFace() const { return windowed_ ? static_cast<TPaintedFace*>(windowed_) : graphic_; }
    void FaceOutdated() { PaintedFace()->MarkFaceOutdated(); }

    TCustomControl* windowed_;
    TGraphicControl* graphic_;
};

namespace {

void PrepareFace(TBitmap& face, int width, int height) {
    if (face.PixelFormat() != TPixelFormat::pfDevice) face.SetPixelFormat(TPixelFormat::pfDevice);
    if (face.Width() != width || face.Height() != height) face.SetSize(width, height);
}

}  // namespace

TCustomControl::TCustomControl(TComponent* owner, std::string name, TWinControl* parent)
    : TWinControl(owner, std::move(name), parent) {
    AttachWidget(new TPaintWidget(this, nullptr));
}

void TCustomControl::PaintFace() {
    FaceRendered();
    PrepareFace(face_, ClientWidth(), ClientHeight());
    if (face_.Empty()) return;
    TCanvas canvas(face_);
    canvas.Font = Font();
    Paint(canvas);
}

void TCustomControl::LookChanged() {
    MarkFaceOutdated();
    for (int i = 0; i < ControlCount(); ++i) {
        auto* child = dynamic_cast<TGraphicControl*>(Controls(i));
        if (child && child->Widget()) child->Widget()->update();
    }
}

void TCustomControl::UpdateFace() {
    if (!FaceCurrentAt(ClientWidth(), ClientHeight()) || FaceStale()) PaintFace();
}

TGraphicControl::TGraphicControl(TComponent* owner, std::string name, TWinControl* parent)
    : TControl(owner, std::move(name), parent) {
    AttachWidget(new TPaintWidget(nullptr, this));
}

TGraphicControl::TBackdrop TGraphicControl::CurrentBackdrop() const {
    TBackdrop b;
    b.color = ColorToRGB(Parent() ? Parent()->Color() : Color());
    b.left = Left();
    b.top = Top();
    if (auto* painted = dynamic_cast<TCustomControl*>(Parent())) {
        // The parent's face first comes up to date: it is what lies behind.
        painted->UpdateFace();
        b.parentFace = painted;
        b.parentRevision = painted->FaceRevision();
    }
    return b;
}

void TGraphicControl::PaintBackground() {
    PrepareFace(face_, ClientWidth(), ClientHeight());
    backdrop_ = CurrentBackdrop();
    if (face_.Empty()) return;
    auto* painted = dynamic_cast<TCustomControl*>(Parent());
    const int w = face_.Width(), h = face_.Height();
    // Only what the parent's face does not cover takes the parent's colour.
    const TRect whole{0, 0, w, h};
    TRect covered{};
    if (painted) {
        const TBitmap& back = painted->Face();
        covered = IntersectRect(whole, TRect{-Left(), -Top(), back.Width() - Left(), back.Height() - Top()});
    }
    if (covered != whole) face_.FillRect(whole, backdrop_.color);
    if (painted) BitBlt(face_, 0, 0, w, h, painted->Face(), Left(), Top(), TRasterOp::SrcCopy);
}

void TGraphicControl::UpdateFace() {
    if (!FaceCurrent() || !(backdrop_ == CurrentBackdrop())) PaintFace();
}

void TGraphicControl::PaintFace() {
    FaceRendered();
    PaintBackground();
    if (face_.Empty()) return;
    TCanvas canvas(face_);
    canvas.Font = Font();
    Paint(canvas);
}

namespace {

int g_showTogetherDepth = 0;
int g_showAtNextPaintDepth = 0;

std::vector<QPointer<QWidget>>& WaitingToShow() {
    static std::vector<QPointer<QWidget>> widgets;
    return widgets;
}

}  // namespace

TShowFacesTogether::TShowFacesTogether() { ++g_showTogetherDepth; }

TShowFacesTogether::~TShowFacesTogether() {
    if (--g_showTogetherDepth > 0) return;
    std::vector<QPointer<QWidget>> widgets;
    widgets.swap(WaitingToShow());
    try {
        // One repaint per window, of the places of the controls that waited.
        std::vector<std::pair<QWidget*, QRegion>> windows;
        for (const QPointer<QWidget>& w : widgets) {
            if (!w || !w->isVisible()) continue;
            // A window's repaint redraws only the children marked out of
            // date: without this the switched control keeps its old look on
            // screen until something else repaints it.
            w->update();
            QWidget* top = w->window();
            const QRegion place(QRect(w->mapTo(top, QPoint(0, 0)), w->size()));
            auto it = std::find_if(windows.begin(), windows.end(), [top](const auto& e) { return e.first == top; });
            if (it == windows.end()) windows.emplace_back(top, place);
            else it->second += place;
        }
        for (auto& [top, region] : windows) top->repaint(region);
    } catch (...) {
        // They show at the next paint.
    }
}

TShowFacesAtNextPaint::TShowFacesAtNextPaint() { ++g_showAtNextPaintDepth; }

TShowFacesAtNextPaint::~TShowFacesAtNextPaint() { --g_showAtNextPaintDepth; }

bool TShowFacesAtNextPaint::Active() { return g_showAtNextPaintDepth > 0; }

void TGraphicControl::ShowFaceNow() {
    if (!Widget() || !Widget()->isVisible()) return;
    if (g_showAtNextPaintDepth > 0) {
        Widget()->update();
        return;
    }
    if (g_showTogetherDepth > 0 && FaceCurrent()) {
        WaitingToShow().emplace_back(Widget());
        return;
    }
    faceReady_ = true;
    Widget()->repaint();
    faceReady_ = false;
}

TPanel::TPanel(TComponent* owner, std::string name, TWinControl* parent)
    : TCustomControl(owner, std::move(name), parent) {}

void TPanel::AdjustClientRect(TRect& rect) const {
    int w = 0;
    if (bevelOuter_ != TBevel::bvNone) ++w;
    if (bevelInner_ != TBevel::bvNone) ++w;
    rect.Left += w;
    rect.Top += w;
    rect.Right -= w;
    rect.Bottom -= w;
}

void TPanel::Paint(TCanvas& canvas) {
    const int w = ClientWidth(), h = ClientHeight();
    canvas.BrushStyle = TBrushStyle::bsSolid;
    canvas.BrushColor = Color();
    canvas.FillRect(TRect{0, 0, w, h});
    TRect r{0, 0, w, h};
    for (TBevel bevel : {bevelOuter_, bevelInner_}) {
        if (bevel == TBevel::bvNone) continue;
        const TColor light = clBtnHighlight, dark = clBtnShadow;
        const TColor topLeft = bevel == TBevel::bvRaised ? light : dark;
        const TColor bottomRight = bevel == TBevel::bvRaised ? dark : light;
        canvas.BrushColor = topLeft;
        canvas.FillRect(TRect{r.Left, r.Top, r.Right, r.Top + 1});
        canvas.FillRect(TRect{r.Left, r.Top, r.Left + 1, r.Bottom});
        canvas.BrushColor = bottomRight;
        canvas.FillRect(TRect{r.Left, r.Bottom - 1, r.Right, r.Bottom});
        canvas.FillRect(TRect{r.Right - 1, r.Top, r.Right, r.Bottom});
        r = TRect{r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    }
    if (Caption().empty()) return;
    canvas.BrushStyle = TBrushStyle::bsClear;
    const int tw = canvas.TextWidth(Caption()), th = canvas.TextHeight(Caption());
    int x = (w - tw) / 2;
    if (alignment_ == TAlignment::taLeftJustify) x = r.Left + 2;
    if (alignment_ == TAlignment::taRightJustify) x = r.Right - 2 - tw;
    canvas.TextOut(x, (h - th) / 2, Caption());
}

TGroupBox::TGroupBox(TComponent* owner, std::string name, TWinControl* parent)
    : TWinControl(owner, std::move(name), parent) {
    AttachWidget(new QGroupBox());
}

void TGroupBox::SetCaption(const std::string& caption) {
    TControl::SetCaption(caption);
    static_cast<QGroupBox*>(Widget())->setTitle(QString::fromStdString(caption));
}

void TGroupBox::AdjustClientRect(TRect& rect) const {
    rect.Top += QFontMetrics(Widget()->font()).height() + 2;
    rect.Left += 2;
    rect.Right -= 2;
    rect.Bottom -= 2;
}

}  // namespace orv
