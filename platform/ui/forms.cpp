#include "platform/ui/forms.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/ui/application.h"
#include "platform/ui/std_controls.h"

namespace orv {

namespace {

// The enabled, showing default (or cancel) button anywhere on the control.
TButton* FindButton(TWinControl* control, bool wantDefault) {
    for (int i = 0; i < control->ControlCount(); ++i) {
        TControl* c = control->Controls(i);
        if (!c->Showing() || !c->Enabled()) continue;
        if (auto* b = dynamic_cast<TButton*>(c); b && (wantDefault ? b->Default() : b->Cancel())) return b;
        if (auto* w = dynamic_cast<TWinControl*>(c))
            if (TButton* b = FindButton(w, wantDefault)) return b;
    }
    return nullptr;
}

}  // namespace

class TFormWidget : public QWidget {
public:
    explicit TFormWidget(TForm* form) : QWidget(nullptr, Qt::Window), form_(form) {}

protected:
    void showEvent(QShowEvent* event) override {
        // Before the window is mapped: the window manager reads its
        // transient parent then.
        if (form_->starter_ && windowHandle()) windowHandle()->setTransientParent(form_->starter_.get());
        QWidget::showEvent(event);
        if (!event->spontaneous()) Guard(form_, [this] { form_->WidgetShown(); });
    }
    // The window manager tells of its frame only after the window is mapped
    // (or leaves the maximised state), through a move or resize of its own.
    void moveEvent(QMoveEvent* event) override {
        QWidget::moveEvent(event);
        if (event->spontaneous()) Guard(form_, [this] { form_->FrameMayHaveChanged(); });
    }
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (event->spontaneous()) Guard(form_, [this] { form_->FrameMayHaveChanged(); });
    }
    void closeEvent(QCloseEvent* event) override {
        bool close = true;
        Guard(form_, [&] { close = form_->HandleCloseEvent(); });
        if (close)
            event->accept();
        else
            event->ignore();
    }
    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        if ((enter || key == Qt::Key_Escape) && event->modifiers() == Qt::NoModifier) {
            if (TButton* b = FindButton(form_, enter)) {
                Guard(b, [b] { b->Click(); });
                return;
            }
        }
        QWidget::keyPressEvent(event);
    }
    void changeEvent(QEvent* event) override {
        QWidget::changeEvent(event);
        if (event->type() == QEvent::ActivationChange && isActiveWindow() && form_->OnActivate)
            Guard(form_, [&] { form_->OnActivate(form_); });
    }

private:
    TForm* form_;
};

TForm::TForm(TComponent* owner, std::string name) : TWinControl(owner, std::move(name), nullptr) {
    AttachWidget(new TFormWidget(this));
    // A window is hidden until shown.
    TControl::SetVisible(false);
    SetColor(clBtnFace);
    if (Application() && !Application()->MainForm()) Application()->SetMainForm(this);
}

TForm::~TForm() {
    if (modalLoop_) modalLoop_->quit();
    if (starter_ && Widget() && Widget()->windowHandle()) Widget()->windowHandle()->setTransientParent(nullptr);
    if (Application()) Application()->FormDestroyed(this);
}

void TForm::ApplyColor() {
    QWidget* w = Widget();
    if (!w) return;
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, ToQColor(Color()));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

void TForm::SetCaption(const std::string& caption) {
    // The title bar shows it: nothing inside the window repaints.
    StoreCaption(caption);
    Widget()->setWindowTitle(QString::fromStdString(caption));
}

int TForm::Left() const { return Widget()->isVisible() ? Widget()->frameGeometry().x() : frameLeft_; }
int TForm::Top() const { return Widget()->isVisible() ? Widget()->frameGeometry().y() : frameTop_; }
int TForm::Width() const {
    if (Widget()->isVisible()) return Widget()->frameGeometry().width();
    return boundsSet_ ? frameWidth_ : ClientWidth() + frameExtraW_;
}
int TForm::Height() const {
    if (Widget()->isVisible()) return Widget()->frameGeometry().height();
    return boundsSet_ ? frameHeight_ : ClientHeight() + frameExtraH_;
}

void TForm::SetBounds(int left, int top, int width, int height) {
    frameLeft_ = left;
    frameTop_ = top;
    frameWidth_ = width;
    frameHeight_ = height;
    boundsSet_ = true;
    keepClient_ = false;
    ApplyFrameBounds();
}

void TForm::SetClientSize(int width, int height) {
    MeasureFrame();
    SetBounds(Left(), Top(), width + frameExtraW_, height + frameExtraH_);
    keepClient_ = true;
}

void TForm::ApplyFrameBounds() {
    QWidget* w = Widget();
    const int cw = std::max(0, frameWidth_ - frameExtraW_);
    const int ch = std::max(0, frameHeight_ - frameExtraH_);
    // The smallest size first: it is an outer size too, and must not keep the
    // client area from shrinking by the frame.
    ApplyMinSize();
    // A top-level move places the frame; resize sets the client area.
    w->move(frameLeft_, frameTop_);
    w->resize(cw, ch);
    if (!w->isVisible()) WidgetResized(cw, ch);
}

void TForm::SetMinSize(int width, int height) {
    minWidth_ = width;
    minHeight_ = height;
    ApplyMinSize();
}

void TForm::ApplyMinSize() {
    if (minWidth_ || minHeight_)
        Widget()->setMinimumSize(std::max(0, minWidth_ - frameExtraW_), std::max(0, minHeight_ - frameExtraH_));
}

void TForm::MeasureFrame() {
    QWidget* w = Widget();
    if (!w->isVisible()) return;
    frameExtraW_ = std::max(0, w->frameGeometry().width() - w->width());
    frameExtraH_ = std::max(0, w->frameGeometry().height() - w->height());
}

void TForm::FrameMayHaveChanged() {
    QWidget* w = Widget();
    if (!w->isVisible() || WindowState() != TWindowState::wsNormal) return;
    const int oldW = frameExtraW_, oldH = frameExtraH_;
    MeasureFrame();
    if (normalPending_) {
        // First normal state of a window shown maximised: the placement it
        // was given, now that the frame of the normal state is known.
        normalPending_ = false;
        SettleNormalPlacement(3, 0);
        return;
    }
    if (oldW == frameExtraW_ && oldH == frameExtraH_) return;
    // The outer size stays what it was (the one asked for, before the frame
    // was known): the client area gives the frame what it takes.
    const int outerW = w->width() + oldW, outerH = w->height() + oldH;
    ApplyMinSize();
    if (keepClient_) return;  // a size asked for as the client area's stays so
    w->resize(std::max(0, outerW - frameExtraW_), std::max(0, outerH - frameExtraH_));
}

void TForm::SettleNormalPlacement(int checksLeft, int delayMs) {
    // After the window manager's own change has been handled, and again a
    // little later: it reports the frame of the normal state only after a
    // while, and the placement is the outer frame.
    QTimer::singleShot(delayMs, Context(), [this, checksLeft] {
        Guard(this, [this, checksLeft] {
            QWidget* w = Widget();
            if (!w->isVisible() || WindowState() != TWindowState::wsNormal) return;
            MeasureFrame();
            if (w->frameGeometry() != QRect(frameLeft_, frameTop_, frameWidth_, frameHeight_)) ApplyFrameBounds();
            if (checksLeft > 1) SettleNormalPlacement(checksLeft - 1, 100);
        });
    });
}

void TForm::WidgetShown() {
    if (!shownOnce_) {
        shownOnce_ = true;
        normalPending_ = boundsSet_ && WindowState() != TWindowState::wsNormal;
        // A frame that is known already (a window shown before) is given
        // back at once; one still unknown arrives with the window manager's
        // first move or resize.
        FrameMayHaveChanged();
    }
    if (OnShow) OnShow(this);
}

void TForm::RestorePlacement(int left, int top, int width, int height) {
    // In 64 bits: the stored numbers may be anything.
    const long long right = static_cast<long long>(left) + std::max(width, 1);
    const long long bottom = static_cast<long long>(top) + std::max(height, 1);
    // The screen under the middle of the placement, else one it touches,
    // else the primary one.
    const QPoint middle(static_cast<int>(std::clamp<long long>((left + right) / 2, INT_MIN, INT_MAX)),
                        static_cast<int>(std::clamp<long long>((top + bottom) / 2, INT_MIN, INT_MAX)));
    const QScreen* screen = QGuiApplication::screenAt(middle);
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRect g = s->geometry();
        if (!screen && g.left() < right && left <= g.right() && g.top() < bottom && top <= g.bottom()) screen = s;
    }
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        width = std::clamp(width, 1, std::max(area.width(), 1));
        height = std::clamp(height, 1, std::max(area.height(), 1));
        left = std::clamp(left, area.left(), area.left() + area.width() - width);
        top = std::clamp(top, area.top(), area.top() + area.height() - height);
    }
    SetBounds(left, top, width, height);
}

TWindowState TForm::WindowState() const {
    const Qt::WindowStates s = Widget()->windowState();
    if (s & Qt::WindowMaximized) return TWindowState::wsMaximized;
    if (s & Qt::WindowMinimized) return TWindowState::wsMinimized;
    return TWindowState::wsNormal;
}

void TForm::SetWindowState(TWindowState state) {
    QWidget* w = Widget();
    switch (state) {
        case TWindowState::wsNormal: w->setWindowState(Qt::WindowNoState); break;
        case TWindowState::wsMinimized: w->setWindowState(Qt::WindowMinimized); break;
        case TWindowState::wsMaximized: w->setWindowState(Qt::WindowMaximized); break;
    }
}

void TForm::SetBorderStyle(TBorderStyle style) {
    QWidget* w = Widget();
    Qt::WindowFlags flags = Qt::Window;
    switch (style) {
        case TBorderStyle::bsSizeable: break;
        case TBorderStyle::bsSingle:
        case TBorderStyle::bsDialog:
            flags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                    Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
            break;
        case TBorderStyle::bsNone: flags = Qt::Window | Qt::FramelessWindowHint; break;
    }
    if (w->windowFlags() & Qt::WindowStaysOnTopHint) flags |= Qt::WindowStaysOnTopHint;
    const bool visible = w->isVisible();
    w->setWindowFlags(flags);
    if (style == TBorderStyle::bsSingle || style == TBorderStyle::bsDialog) w->setFixedSize(w->size());
    if (visible) w->show();
}

void TForm::SetBorderIcons(TBorderIcons icons) {
    QWidget* w = Widget();
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (icons & biSystemMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (icons & biMinimize) flags |= Qt::WindowMinimizeButtonHint;
    if (icons & biMaximize) flags |= Qt::WindowMaximizeButtonHint;
    if (w->windowFlags() & Qt::WindowStaysOnTopHint) flags |= Qt::WindowStaysOnTopHint;
    const bool visible = w->isVisible();
    w->setWindowFlags(flags);
    if (visible) w->show();
}

void TForm::SetStayOnTop(bool onTop) {
    QWidget* w = Widget();
    const bool visible = w->isVisible();
    w->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (visible) w->show();
}

void TForm::CenterOnScreen() {
    position_ = TPosition::poScreenCenter;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect a = screen->availableGeometry();
    SetBounds(a.x() + (a.width() - Width()) / 2, a.y() + (a.height() - Height()) / 2, Width(), Height());
}

void TForm::PlaceForShowing() {
    if (position_ != TPosition::poDefault || Widget()->isVisible()) return;
    const QWidget* opener = OpenerWindow();
    if (!opener || opener == Widget()) return;
    const QRect frame = opener->frameGeometry();
    int left = frame.x() + (frame.width() - Width()) / 2;
    int top = frame.y() + (frame.height() - Height()) / 2;
    // Wholly on the opener's screen where it fits.
    if (const QScreen* screen = opener->screen()) {
        const QRect a = screen->availableGeometry();
        left = std::max(a.left(), std::min(left, a.left() + a.width() - Width()));
        top = std::max(a.top(), std::min(top, a.top() + a.height() - Height()));
    }
    SetBounds(left, top, Width(), Height());
}

void TForm::LendToChildPrograms(bool on) {
    // Only a window system with window ids the other program can name.
    if (!on) {
        ::unsetenv(kStartingWindowVariable);
        return;
    }
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
    ::setenv(kStartingWindowVariable, std::to_string(Widget()->winId()).c_str(), 1);
}

bool TForm::StayAboveStarter() {
    const char* text = std::getenv(kStartingWindowVariable);
    if (!text || !*text || QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    char* end = nullptr;
    const unsigned long long id = std::strtoull(text, &end, 10);
    if (*end || id == 0) return false;
    starter_.reset(QWindow::fromWinId(static_cast<WId>(id)));
    if (!starter_) return false;
    // The window manager keeps only transient windows (dialogs) above their
    // parent; the title-bar buttons stay what they were. Marked modal, the
    // form takes the focus whenever that window is activated.
    QWidget* w = Widget();
    const bool visible = w->isVisible();
    w->setWindowFlags((w->windowFlags() & ~Qt::WindowType_Mask) | Qt::Dialog);
    w->setWindowModality(Qt::WindowModal);
    if (visible) w->show();
    return true;
}

void TForm::SetVisible(bool visible) {
    TControl::SetVisible(visible);
    QWidget* w = Widget();
    if (visible) {
        if (WindowState() == TWindowState::wsMaximized)
            w->showMaximized();
        else
            w->show();
    } else {
        w->hide();
    }
}

void TForm::Close() { Widget()->close(); }

bool TForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

bool TForm::HandleCloseEvent() {
    if (!CloseQuery()) {
        if (modalLoop_) modalResult_ = mrNone;
        return false;
    }
    TCloseAction action = TCloseAction::caHide;
    if (OnClose) OnClose(this, action);
    if (action == TCloseAction::caNone) {
        if (modalLoop_) modalResult_ = mrNone;
        return false;
    }
    TControl::SetVisible(false);
    if (modalLoop_) {
        if (modalResult_ == mrNone) modalResult_ = mrCancel;
        modalLoop_->quit();
    } else if (Application() && Application()->MainForm() == this) {
        QCoreApplication::quit();
    }
    return true;
}

void TForm::SetModalResult(TModalResult result) {
    modalResult_ = result;
    if (result != mrNone && modalLoop_) Close();
}

TModalResult TForm::ShowModal() {
    QWidget* w = Widget();
    modalResult_ = mrNone;
    PlaceForShowing();
    w->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    modalLoop_ = &loop;
    SetVisible(true);
    if (modalResult_ == mrNone && w->isVisible()) loop.exec(QEventLoop::DialogExec);
    modalLoop_ = nullptr;
    if (w->isVisible()) w->hide();
    TControl::SetVisible(false);
    w->setWindowModality(Qt::NonModal);
    if (modalResult_ == mrNone) modalResult_ = mrCancel;
    return modalResult_;
}

}  // namespace orv
