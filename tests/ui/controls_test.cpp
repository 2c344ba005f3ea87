#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <memory>
#include <stdexcept>

#include "platform/ui/forms.h"
#include <QAbstractItemView>
#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>

#include "platform/ui/list_view.h"
#include "platform/ui/menus.h"
#include "platform/ui/page_control.h"
#include "platform/ui/scripted_dialogs.h"
#include "platform/ui/std_controls.h"
#include "qt_app.h"

namespace orv {
namespace {

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override { test::App(); }
};

TEST_F(ControlsTest, RadioGroupRunsClickOnlyForANewChoice) {
    TForm form;
    TRadioGroup group(&form, "Radio_Syori", &form);
    group.SetItems({"a", "b", "c"});
    std::vector<int> clicks;
    group.OnClick = [&](TObject* sender) {
        EXPECT_EQ(sender, &group);
        clicks.push_back(group.ItemIndex());
    };
    group.SetItemIndex(1);  // from code, to an item: runs the handler
    group.SetItemIndex(1);  // the same item again: nothing
    group.SetItemIndex(-1); // clearing: no handler
    EXPECT_EQ(group.ItemIndex(), -1);
    group.UserClicked(2);   // the user picks another item
    group.UserClicked(2);   // the user clicks the chosen item again
    EXPECT_EQ(clicks, (std::vector<int>{1, 2}));

    // The buttons show the choice; -1 unchecks all of them.
    auto buttons = group.Widget()->findChildren<QRadioButton*>();
    ASSERT_EQ(buttons.size(), 3);
    EXPECT_TRUE(buttons[2]->isChecked());
    group.SetItemIndex(-1);
    for (auto* b : buttons) EXPECT_FALSE(b->isChecked());
    // A real click on a button goes the same way.
    buttons[0]->click();
    buttons[0]->click();
    EXPECT_EQ(clicks, (std::vector<int>{1, 2, 0}));
    EXPECT_TRUE(buttons[0]->isChecked());
}

TEST_F(ControlsTest, HandlerExceptionFromUserInputGoesToTheErrorBox) {
    auto dialogs = std::make_shared<TScriptedDialogs>();
    auto previous = SetDialogService(dialogs);
    TForm form;
    TCheckBox box(&form, "Check_prev", &form);
    box.OnClick = [](TObject*) { throw std::runtime_error("boom"); };
    // From code the exception reaches the caller...
    EXPECT_THROW(box.SetChecked(true), std::runtime_error);
    // ...from the user it is shown and swallowed.
    static_cast<QCheckBox*>(box.Widget())->click();
    EXPECT_EQ(dialogs->Texts(TScriptedDialogs::Kind::Error), std::vector<std::string>{"boom"});
    SetDialogService(previous);
}

TEST_F(ControlsTest, EditChangeEventFiresForCodeAndUser) {
    TForm form;
    TLabeledEdit edit(&form, "LabeledEdit1", &form);
    int changes = 0;
    edit.OnChange = [&](TObject*) { ++changes; };
    edit.SetText("C:/x");
    edit.SetText("C:/x");  // unchanged text: no event
    static_cast<QLineEdit*>(edit.Widget())->setText("typed");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(edit.Text(), "typed");
}

TEST_F(ControlsTest, ListViewChangeEventsTellTextImageAndState) {
    TForm form;
    TListView list(&form, "FListView_L", &form);
    list.SetMultiSelect(true);
    std::vector<std::pair<int, TItemChange>> events;
    list.OnChange = [&](TObject*, TListItem* item, TItemChange change) { events.emplace_back(item->Index(), change); };
    TListItem* a = list.Add("a.jpg", 0);
    TListItem* b = list.Add("b.jpg", 0);
    events.clear();
    a->SetCaption("a2.jpg");
    a->SetImageIndex(3);
    a->SetImageIndex(3);  // same value: no event
    b->SetSelected(true);
    a->SetSelected(true);
    EXPECT_EQ(list.SelCount(), 2);
    EXPECT_EQ(list.Selected(), a);
    using C = TItemChange;
    EXPECT_EQ(events, (std::vector<std::pair<int, TItemChange>>{{0, C::ctText}, {0, C::ctImage}, {1, C::ctState}, {0, C::ctState}}));

    EXPECT_EQ(list.IndexOfCaption("a2.jpg"), 0);
    EXPECT_EQ(list.IndexOfCaption("a.jpg"), -1);
    EXPECT_EQ(list.IndexOfCaption("B.JPG"), -1);  // exact, case included
    list.Add("b.jpg");
    EXPECT_EQ(list.IndexOfCaption("b.jpg"), 1);   // the first of two
    list.Delete(2);
    // Deleting renumbers; selection of the others stays.
    list.Delete(0);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Item(0)->Caption(), "b.jpg");
    EXPECT_EQ(list.Item(0)->Index(), 0);
    EXPECT_TRUE(list.Item(0)->Selected());
    EXPECT_EQ(list.IndexOfCaption("b.jpg"), 0);
    EXPECT_EQ(list.IndexOfCaption("a2.jpg"), -1);
    b->SetSubItem(2, "x");
    EXPECT_EQ(b->SubItems(), (std::vector<std::string>{"", "", "x"}));

    // Clicks and double clicks on the view reach the handlers.
    int clicks = 0, doubles = 0;
    list.OnClick = [&](TObject*) { ++clicks; };
    list.OnDblClick = [&](TObject*) { ++doubles; };
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(list.HandleWidget(), &release);
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(list.HandleWidget(), &twice);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubles, 1);
    // On a disabled window none does.
    form.SetEnabled(false);
    QCoreApplication::sendEvent(list.HandleWidget(), &release);
    QCoreApplication::sendEvent(list.HandleWidget(), &twice);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubles, 1);
}

TEST_F(ControlsTest, ListViewRowsReachTheViewsTogetherAndOwnerDataStaysWithItsOwner) {
    TForm form;
    TListView list(&form, "FListView_L", &form);
    list.SetMultiSelect(true);
    list.SetViewStyle(TViewStyle::vsReport);
    auto* view = qobject_cast<QAbstractItemView*>(list.HandleWidget()->parentWidget());
    ASSERT_NE(view, nullptr);
    // Rows added in an update reach the view at its end, in one insertion.
    int insertions = 0;
    QObject::connect(view->model(), &QAbstractItemModel::rowsInserted, [&] { ++insertions; });
    list.BeginUpdate();
    for (int i = 0; i < 1000; ++i) list.Append("/p/" + std::to_string(i) + ".jpg");
    EXPECT_EQ(view->model()->rowCount(), 0);
    list.EndUpdate();
    EXPECT_EQ(view->model()->rowCount(), 1000);
    EXPECT_EQ(insertions, 1);
    EXPECT_EQ(list.IndexOfCaption("/p/999.jpg"), 999);
    // Selected runs go in one pass; handles of the rows left follow them.
    for (int i : {3, 4, 5, 500, 998}) list.Item(i)->SetSelected(true);
    list.Item(998)->SetSelected(false);
    TListItem* kept = list.Item(700);
    list.DeleteSelected();
    EXPECT_EQ(list.Count(), 996);
    EXPECT_EQ(view->model()->rowCount(), 996);
    EXPECT_EQ(kept->Index(), 696);
    EXPECT_EQ(kept->Caption(), "/p/700.jpg");
    EXPECT_EQ(list.SelCount(), 0);
    EXPECT_EQ(list.IndexOfCaption("/p/999.jpg"), 995);
    EXPECT_EQ(list.IndexOfCaption("/p/4.jpg"), -1);

    // Owner data: the texts come from the owner whenever they are read.
    std::vector<std::string> rows = {"a", "b", "c"};
    list.AddColumn("name", 100);
    list.AddColumn("upper", 100);
    list.SetOwnerData([&](int row, int column) -> std::string_view {
        static std::string upper;
        if (column == 0) return rows[static_cast<std::size_t>(row)];
        upper = rows[static_cast<std::size_t>(row)] + "!";
        return upper;
    });
    EXPECT_EQ(list.Count(), 0);
    list.ResetItems(3);
    EXPECT_EQ(list.Item(1)->SubItems(), std::vector<std::string>{"b!"});
    list.Item(2)->SetSelected(true);
    rows.push_back("d");
    list.SetItemCount(4);  // grows at the end: the selection stays
    EXPECT_EQ(list.ItemIndex(), 2);
    rows[3] = "e";
    list.UpdateItems(3, 3);
    list.Item(3)->SetCaption("ignored");  // the owner holds the texts
    EXPECT_EQ(list.Item(3)->Caption(), "e");
    list.Item(3)->SetSelected(true);  // the view hears of the row now
    EXPECT_EQ(view->model()->index(3, 1).data().toString().toStdString(), "e!");
    EXPECT_EQ(list.SelCount(), 2);
    list.SetItemCount(2);
    EXPECT_EQ(view->model()->rowCount(), 2);
    EXPECT_EQ(list.ItemIndex(), -1);
}

TEST_F(ControlsTest, ListViewReplacesItsInputWidgetWithTheReportView) {
    TForm form;
    TListView list(&form, "FListView_L", &form);
    struct Listener : IHandleListener {
        std::vector<std::string> log;
        void HandleDestroying(TWinControl*) override { log.push_back("destroying"); }
        void HandleCreated(TWinControl*) override { log.push_back("created"); }
    } listener;
    list.AddHandleListener(&listener);
    QWidget* iconHandle = list.HandleWidget();
    list.SetViewStyle(TViewStyle::vsReport);
    EXPECT_NE(list.HandleWidget(), iconHandle);
    list.SetViewStyle(TViewStyle::vsReport);  // same style: nothing
    EXPECT_EQ(listener.log, (std::vector<std::string>{"destroying", "created"}));
    list.RemoveHandleListener(&listener);
}

// A path too long for its place loses its middle, not its file name, and
// shows whole as a tool tip; a text that fits stays as it is.
TEST_F(ControlsTest, ListViewCutsLongTextsInTheMiddleAndShowsThemWholeAsToolTips) {
    TForm form;
    form.SetBounds(0, 0, 500, 300);
    TListView list(&form, "FListView_L", &form);
    list.SetAlign(TAlign::alClient);
    list.AddColumn("比較元ファイル", 100);
    TImageList icons(&form, "ImageList_L", 32, 32);
    QPixmap icon(32, 32);
    icon.fill(Qt::gray);
    icons.AddImage(icon);
    list.SetLargeImages(&icons);
    const std::string path = "/home/user/pictures/ホリデー 2024/北海道の旅行/一日目/夕焼け.jpg";
    list.BeginUpdate();
    list.Add(path, 0);
    list.Add("a.jpg", 0);
    list.EndUpdate();
    form.Show();
    for (TViewStyle style : {TViewStyle::vsIcon, TViewStyle::vsReport}) {
        list.SetViewStyle(style);
        QCoreApplication::processEvents();
        std::string shown = list.ShownText(0);
        std::erase(shown, '\n');
        EXPECT_TRUE(shown.starts_with("/h") && shown.find("…") != std::string::npos && shown.ends_with("/夕焼け.jpg"))
            << shown;
        EXPECT_EQ(list.ShownText(1), "a.jpg");

        QWidget* viewport = list.HandleWidget();
        const auto* view = static_cast<QAbstractItemView*>(viewport->parentWidget());
        const QPoint at = view->visualRect(view->model()->index(0, 0)).center();
        QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QCoreApplication::sendEvent(viewport, &help);
        EXPECT_EQ(QToolTip::text().toStdString(), path);
        QToolTip::hideText();
    }
}

TEST_F(ControlsTest, ChildrenAreListedInOrderAndForgottenWhenDestroyed) {
    TForm form;
    TPanel panel(&form, "Pan_P1B", &form);
    TLabel first(&form, "L1", &panel);
    auto second = std::make_unique<TPanel>(&form, "P2", &panel);
    TLabel third(&form, "L3", &panel);
    ASSERT_EQ(panel.ControlCount(), 3);
    EXPECT_EQ(panel.Controls(1)->ClassName(), "TPanel");
    EXPECT_EQ(form.FindComponent("L3"), &third);
    second.reset();
    ASSERT_EQ(panel.ControlCount(), 2);
    EXPECT_EQ(panel.Controls(1), &third);
    EXPECT_EQ(form.FindComponent("P2"), nullptr);
}

TEST_F(ControlsTest, AlignedChildrenShareTheClientArea) {
    TForm form;
    form.SetBounds(0, 0, 400, 300);
    TPanel bottom(&form, "bottom", &form);
    bottom.SetHeight(50);
    bottom.SetAlign(TAlign::alBottom);
    TPanel left(&form, "left", &form);
    left.SetWidth(100);
    left.SetAlign(TAlign::alLeft);
    TPanel rest(&form, "rest", &form);
    rest.SetAlign(TAlign::alClient);
    EXPECT_EQ(bottom.Top(), 250);
    EXPECT_EQ(bottom.Width(), 400);
    EXPECT_EQ(left.Height(), 250);
    EXPECT_EQ(rest.Left(), 100);
    EXPECT_EQ(rest.Width(), 300);
    form.SetBounds(0, 0, 500, 300);
    EXPECT_EQ(rest.Width(), 400);
}

TEST_F(ControlsTest, FormPlacementRoundTripsWithoutGrowing) {
    TForm form;
    form.SetBounds(30, 40, 640, 480);
    form.Show();
    test::App().ProcessMessages();
    const int l = form.Left(), t = form.Top(), w = form.Width(), h = form.Height();
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_EQ(form.ClientWidth(), 640 - form.FrameExtraWidth());
    form.Close();
    TForm again;
    again.SetBounds(l, t, w, h);
    again.Show();
    test::App().ProcessMessages();
    EXPECT_EQ(again.Width(), w);
    EXPECT_EQ(again.Height(), h);
    again.Close();
}

TEST_F(ControlsTest, ModalFormReturnsTheButtonsResult) {
    TForm dialog;
    TButton ok(&dialog, "BitBtn1", &dialog);
    ok.ModalResult = mrOk;
    QTimer::singleShot(0, [&] { ok.Click(); });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    bool allow = false;
    dialog.OnCloseQuery = [&](TObject*, bool& canClose) { canClose = allow; };
    QTimer::singleShot(0, [&] {
        dialog.Close();  // refused: the form stays
        EXPECT_TRUE(dialog.Widget()->isVisible());
        allow = true;
        dialog.Close();
    });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);

    // Enter clicks the default button, Escape the cancel button; a disabled
    // default button is passed over.
    TButton cancel(&dialog, "BitBtn2", &dialog);
    cancel.ModalResult = mrCancel;
    cancel.SetCancel(true);
    ok.SetDefault(true);
    auto press = [&](int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog.Widget(), &event);
    };
    QTimer::singleShot(0, [&] { press(Qt::Key_Return); });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    QTimer::singleShot(0, [&] { press(Qt::Key_Escape); });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    ok.SetEnabled(false);
    QTimer::singleShot(0, [&] {
        press(Qt::Key_Return);
        EXPECT_TRUE(dialog.Widget()->isVisible());
        dialog.Close();
    });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
}

TEST_F(ControlsTest, PageControlWithHiddenTabs) {
    TForm form;
    TPageControl pages(&form, "pageControl1", &form);
    TTabSheet p0(&form, "TabSheet1", &pages), p1(&form, "TabSheet2", &pages), p2(&form, "TabSheet3", &pages);
    p0.SetTabVisible(false);
    p1.SetTabVisible(false);
    EXPECT_EQ(pages.ActivePageIndex(), 0);
    pages.SetActivePageIndex(1);
    EXPECT_EQ(pages.ActivePage(), &p1);
    EXPECT_EQ(p1.PageIndex(), 1);
    // Only the active page is shown; the others are not painted beneath it.
    for (TTabSheet* p : {&p0, &p1, &p2}) p->SetVisible(true);
    form.Show();
    EXPECT_TRUE(p1.Widget()->isVisible());
    EXPECT_FALSE(p0.Widget()->isVisible() || p2.Widget()->isVisible());
    TPanel onPage(&form, "Pan_P1B", &p1);
    EXPECT_EQ(p1.ControlCount(), 1);
}

TEST_F(ControlsTest, PopupMenuWithRadioItemsOpensFromTheListView) {
    TForm form;
    TPopupMenu menu(&form, "PopupMenu_L");
    TMenuItem list(&form, "PML_List", &menu, "リスト表示");
    TMenuItem icon(&form, "PML_Icon", &menu, "アイコン表示");
    TMenuItem sep(&form, "N1", &menu, "-");
    TMenuItem del(&form, "PML_Del", &menu, "リストから削除");
    for (TMenuItem* item : {&list, &icon}) item->SetRadioItem(true);
    icon.SetChecked(true);
    list.SetChecked(true);
    EXPECT_FALSE(icon.Checked());
    EXPECT_TRUE(list.Action()->isChecked());
    EXPECT_FALSE(icon.Action()->isChecked());
    int deletes = 0;
    del.OnClick = [&](TObject* sender) {
        EXPECT_EQ(sender, &del);
        ++deletes;
    };
    del.Action()->trigger();  // as the user picks it
    EXPECT_EQ(deletes, 1);
    EXPECT_TRUE(sep.Action()->isSeparator());

    TListView view(&form, "FListView_L", &form);
    view.SetBounds(0, 0, 100, 100);
    view.SetPopupMenu(&menu);
    form.Show();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), view.HandleWidget()->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(view.HandleWidget(), &event);
    EXPECT_TRUE(menu.Menu()->isVisible());
    menu.Menu()->hide();
    form.Close();
}

TEST_F(ControlsTest, ImagePlacesItsPicture) {
    TForm form;
    TPanel frame(&form, "P1Prev", &form);
    frame.SetBevelOuter(TPanel::TBevel::bvNone);
    frame.SetColor(RGBColor(1, 2, 3));
    frame.SetBounds(0, 0, 116, 116);
    TImage image(&form, "PVI_L", &frame);
    image.SetBounds(0, 0, 116, 116);
    TBitmap wide;
    wide.SetSize(200, 100);
    wide.FillRect(TRect{0, 0, 200, 100}, RGBColor(255, 0, 0));
    image.SetPicture(wide);
    image.SetCenter(true);
    image.SetProportional(true);
    // Larger than the frame: shrunk to fit, keeping its proportions.
    EXPECT_EQ(image.DestRect(), (TRect{0, 29, 116, 87}));
    image.PaintFace();
    EXPECT_EQ(image.Face().GetPixel(58, 10), RGBColor(1, 2, 3));  // the frame behind
    EXPECT_EQ(image.Face().GetPixel(58, 58), RGBColor(255, 0, 0));
    // Smaller, without stretch: its own size, centred; with stretch: enlarged.
    TBitmap small;
    small.SetSize(20, 10);
    image.SetPicture(small);
    EXPECT_EQ(image.DestRect(), (TRect{48, 53, 68, 63}));
    image.SetStretch(true);
    EXPECT_EQ(image.DestRect(), (TRect{0, 29, 116, 87}));

    // Transparent: the bottom-left pixel's colour shows the frame.
    TBitmap arrow;
    arrow.SetSize(116, 116);
    arrow.FillRect(TRect{0, 0, 116, 116}, RGBColor(240, 240, 240));
    arrow.FillRect(TRect{40, 40, 80, 80}, RGBColor(0, 0, 255));
    image.SetStretch(false);
    image.SetPicture(arrow);
    image.SetTransparent(true);
    image.PaintFace();
    EXPECT_EQ(image.Face().GetPixel(10, 10), RGBColor(1, 2, 3));
    EXPECT_EQ(image.Face().GetPixel(60, 60), RGBColor(0, 0, 255));
}

// A red panel on a form with an image on the panel.
class PanelWithImageTest : public ::testing::Test, protected test::WithApp {
protected:
    PanelWithImageTest() {
        form.SetBounds(0, 0, 200, 200);
        panel.SetBevelOuter(TPanel::TBevel::bvNone);
        panel.SetColor(RGBColor(255, 0, 0));
        panel.SetBounds(0, 0, 120, 120);
    }
    TForm form;
    TPanel panel{&form, "Panel", &form};
    TImage image{&form, "Image", &panel};
};

// A panel its children cover completely gets no paint of its own, yet a
// see-through child must show the panel as it is now, not an older face.
TEST_F(PanelWithImageTest, SeeThroughChildShowsTheCoveredPanelsCurrentFace) {
    image.SetAlign(TAlign::alClient);
    form.Show();
    test::App().ProcessMessages();
    ASSERT_EQ(image.Face().Width(), 120);
    EXPECT_EQ(image.Face().GetPixel(5, 5), RGBColor(255, 0, 0));

    // Changed through the setters: the next paint of the child shows it.
    panel.SetColor(RGBColor(0, 0, 255));
    test::App().ProcessMessages();
    EXPECT_EQ(image.Face().GetPixel(5, 5), RGBColor(0, 0, 255));
    panel.SetCaption("Caption");
    test::App().ProcessMessages();
    bool text = false;
    for (int x = 0; x < 120 && !text; ++x) text = image.Face().GetPixel(x, 60) != RGBColor(0, 0, 255);
    EXPECT_TRUE(text);
    // Repaint shows a change at once, without the message loop.
    panel.SetColor(RGBColor(0, 255, 0));
    panel.Repaint();
    EXPECT_EQ(image.Face().GetPixel(5, 5), RGBColor(0, 255, 0));
    form.Close();
}

// A paint event renders a face again only when what it shows changed; else
// it copies the part it asks for from the face kept.
TEST_F(PanelWithImageTest, PaintEventsReuseFacesThatDidNotChange) {
    image.SetBounds(10, 10, 50, 50);
    form.Show();
    test::App().ProcessMessages();
    const std::uint64_t panelFace = panel.FaceRevision(), imageFace = image.FaceRevision();
    panel.Widget()->update(QRect(0, 0, 5, 5));
    image.Widget()->update();
    test::App().ProcessMessages();
    EXPECT_EQ(panel.FaceRevision(), panelFace);
    EXPECT_EQ(image.FaceRevision(), imageFace);

    // A new picture renders the child alone; a new face of the parent
    // behind it renders both.
    image.SetPicture(TBitmap());
    test::App().ProcessMessages();
    EXPECT_EQ(image.FaceRevision(), imageFace + 1);
    EXPECT_EQ(panel.FaceRevision(), panelFace);
    panel.SetColor(RGBColor(0, 0, 255));
    test::App().ProcessMessages();
    EXPECT_EQ(panel.FaceRevision(), panelFace + 1);
    EXPECT_EQ(image.Face().GetPixel(5, 5), RGBColor(0, 0, 255));
    form.Close();
}

// The gauge paints a new face only for a new percentage or filled width.
TEST_F(ControlsTest, GaugePaintsOnlyWhatShowsAnew) {
    TForm form;
    TGauge gauge(&form, "Gauge1", &form);
    gauge.SetBounds(0, 0, 102, 40);  // 100 pixels inside the frame
    gauge.SetMaxValue(1000);
    gauge.SetProgress(505);
    EXPECT_EQ(gauge.PercentDone(), 50);
    gauge.UpdateFace();
    const TColor fill = gauge.Face().GetPixel(50, 3);
    EXPECT_NE(fill, gauge.Face().GetPixel(51, 3));
    const std::uint64_t painted = gauge.FaceRevision();
    gauge.SetProgress(509);  // the same pixel and percentage
    gauge.UpdateFace();
    EXPECT_EQ(gauge.FaceRevision(), painted);
    gauge.SetProgress(510);
    gauge.UpdateFace();
    EXPECT_EQ(gauge.Face().GetPixel(51, 3), fill);
    gauge.SetMaxValue(0);  // an empty range shows nothing done
    EXPECT_EQ(gauge.PercentDone(), 0);
}

TEST_F(ControlsTest, OpenDialogTakesScriptedAnswers) {
    auto dialogs = std::make_shared<TScriptedDialogs>();
    auto previous = SetDialogService(dialogs);
    TOpenDialog open(nullptr, "OpenDialog1");
    open.Title = "ファイル選択";
    open.MultiSelect = true;
    dialogs->AnswerOpen(std::vector<std::string>{"/a/1.jpg", "/a/2.jpg"});
    ASSERT_TRUE(open.Execute());
    EXPECT_EQ(open.Files.size(), 2u);
    EXPECT_EQ(open.FileName, "/a/1.jpg");
    EXPECT_FALSE(open.Execute());  // nothing scripted: cancelled
    ASSERT_EQ(dialogs->Calls().size(), 2u);
    EXPECT_EQ(dialogs->Calls()[0].title, "ファイル選択");
    EXPECT_TRUE(dialogs->Calls()[0].file.MultiSelect);
    auto pairs = ParseDialogFilter("全て (*.JPG)|*.JPG;*.BMP|PNG|*.PNG");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].second, "*.JPG;*.BMP");
    SetDialogService(previous);
}

}  // namespace
}  // namespace orv
