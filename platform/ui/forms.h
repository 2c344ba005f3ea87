// Forms: top-level windows. Left/Top/Width/Height are the outer frame, the
// client size is the widget's own, and the two are kept apart so a saved and
// restored placement does not grow by the frame on every start.
#pragma once

#include <functional>
#include <memory>

#include "platform/ui/application.h"
#include "platform/ui/control.h"

class QEventLoop;
class QWindow;

namespace orv {

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

// Results of a modal window.
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;

enum class TBorderStyle { bsSizeable, bsSingle, bsNone, bsDialog };

// Where a form appears when it is shown. poDefault: a form shown modally
// opens over the window that opened it, any other where its bounds say.
enum class TPosition { poDefault, poDesigned, poScreenCenter };

// The environment variable through which a program names its window to the
// programs it starts while it waits for them (see TForm::LendToChildPrograms).
inline constexpr const char* kStartingWindowVariable = "ORV_STARTING_WINDOW";

// The buttons of a sizeable window's title bar (combine with |).
using TBorderIcons = unsigned;
constexpr TBorderIcons biSystemMenu = 1;  // the window menu and the close button
constexpr TBorderIcons biMinimize = 2;
constexpr TBorderIcons biMaximize = 4;

using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;
using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;

class TFormWidget;

class TForm : public TWinControl {
public:
    explicit TForm(TComponent* owner = nullptr, std::string name = {});
    ~TForm() override;
    std::string ClassName() const override { return "TForm"; }

    void SetCaption(const std::string& caption) override;

    // Outer frame.
    int Left() const override;
    int Top() const override;
    int Width() const override;
    int Height() const override;
    void SetBounds(int left, int top, int width, int height) override;
    void SetClientSize(int width, int height);
    // Smallest outer size the user can drag the window to.
    void SetMinSize(int width, int height);
    // Sets the outer frame from a stored placement, which is not trusted: it
    // is made no larger than the available area of its screen (the primary
    // screen when it lies on none) and moved onto that area, so the window
    // can be reached and costs no more than a screen.
    void RestorePlacement(int left, int top, int width, int height);

    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);
    void SetBorderStyle(TBorderStyle style);
    // For a sizeable window: which title-bar buttons it offers.
    void SetBorderIcons(TBorderIcons icons);
    void SetStayOnTop(bool onTop);
    // Centres the form on the screen; its position is then given.
    void CenterOnScreen();
    TPosition Position() const { return position_; }
    void SetPosition(TPosition position) { position_ = position; }

    // While on, programs this one starts learn its window through their
    // environment, so their windows can stay above it (StayAboveStarter).
    void LendToChildPrograms(bool on);
    // For a program started by one that lends its window: the form becomes
    // a transient of that window, which the window manager keeps it above
    // (it comes to the front whenever that window does). Answers whether
    // there was such a window; without one nothing changes.
    bool StayAboveStarter();

    void SetVisible(bool visible) override;
    // Asks the close query; closes when it agrees.
    void Close();
    // Shows the form modally and returns its modal result (mrCancel when it
    // was closed without one).
    TModalResult ShowModal();
    TModalResult ModalResult() const { return modalResult_; }
    // Setting a result other than mrNone closes a modal form.
    void SetModalResult(TModalResult result);
    bool Modal() const { return modalLoop_ != nullptr; }

    // (A window class runs its own destroy handler from its destructor.)
    TNotifyEvent OnShow;
    TNotifyEvent OnActivate;
    TCloseQueryEvent OnCloseQuery;
    TCloseEvent OnClose;

    // The frame's extra width and height around the client area as last seen.
    int FrameExtraWidth() const { return frameExtraW_; }
    int FrameExtraHeight() const { return frameExtraH_; }

protected:
    void ApplyColor() override;
    // Runs the close query and the close event; answers whether to close.
    virtual bool CloseQuery();

private:
    friend class TFormWidget;
    void WidgetShown();
    void MeasureFrame();
    // Measures the frame again; when it changed, the window keeps its outer
    // size (or its client size, when that was what was asked for).
    void FrameMayHaveChanged();
    // Puts a window that left the maximised state for the first time where
    // its placement says, checking a few times while the frame settles.
    void SettleNormalPlacement(int checksLeft, int delayMs);
    void ApplyFrameBounds();
    void ApplyMinSize();
    bool HandleCloseEvent();
    // Places a modal form that has no position of its own over its opener.
    void PlaceForShowing();

    int frameLeft_ = 0, frameTop_ = 0, frameWidth_ = 0, frameHeight_ = 0;
    int frameExtraW_ = 0, frameExtraH_ = 0;
    int minWidth_ = 0, minHeight_ = 0;
    bool boundsSet_ = false;
    bool keepClient_ = false;  // the size was asked for as the client area's
    bool normalPending_ = false;  // shown maximised: the placement awaits the normal state
    bool shownOnce_ = false;
    TModalResult modalResult_ = mrNone;
    QEventLoop* modalLoop_ = nullptr;
    TPosition position_ = TPosition::poDefault;
    // The starting program's window (StayAboveStarter); a foreign window.
    std::unique_ptr<QWindow> starter_;
};

}  // namespace orv
