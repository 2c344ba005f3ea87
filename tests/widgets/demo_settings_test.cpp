// A settings page and a pair window built from the standard controls: radio
// groups, check boxes, a labelled edit in a group box, tabs and tool bars.
// Checks the layout; with ORV_DEMO_SECONDS set it stays on screen.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/forms.h"
#include "platform/ui/list_view.h"
#include "platform/ui/page_control.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/tool_bar.h"
#include "ui/qt_app.h"
#include "widgets/visual_panel3d.h"

namespace orv {
namespace {

TEST(DemoWindow, SettingsPageAndToolBars) {
    test::App();
    TForm form(nullptr, "OV_MainForm");
    form.SetCaption("Orvalis - 設定");
    form.SetBounds(20, 20, 900, 600);
    TPageControl pages(&form, "PageControl2", &form);
    pages.SetAlign(TAlign::alClient);
    TTabSheet settings(&form, "TabSheet1", &pages), pair(&form, "TabSheet6", &pages);
    settings.SetCaption("設定");
    pair.SetCaption("ペア");

    TRadioGroup mode(&form, "Radio_Mode", &settings);
    mode.SetCaption("サイズ指定");
    mode.SetItems({"同じ縦横サイズの画像だけ比較する", "縦横サイズに関わらず全部比較する"});
    mode.SetBounds(10, 10, 380, 70);
    TRadioGroup syori(&form, "Radio_Syori", &settings);
    syori.SetCaption("同一画像発見時の処理方法");
    syori.SetItems({"自動的に処理する", "何もしない（ログのみ）", "その都度自分で処理する", "全終了後に処理する"});
    syori.SetBounds(10, 90, 380, 120);
    syori.SetItemIndex(0);
    TGroupBox group(&form, "Group_Auto", &settings);
    group.SetCaption("自動処理の設定");
    group.SetBounds(400, 10, 470, 330);
    TRadioGroup seltgt(&form, "Radio_Seltgt", &group);
    seltgt.SetCaption("どちらのファイルを");
    seltgt.SetItems({"比較元の画像を", "比較対象の画像を", "ファイルサイズの大きな画像を", "ファイルサイズの小さな画像を",
                     "日付の古い画像を", "日付の新しい画像を", "縦横サイズの大きい画像を", "縦横サイズの小さい画像を"});
    seltgt.SetColumns(2);
    seltgt.SetBounds(10, 25, 450, 130);
    TRadioGroup doAction(&form, "Radio_Do", &group);
    doAction.SetCaption("どうする");
    doAction.SetItems({"ごみ箱に捨てる", "完全に消去する", "指定フォルダに移動する"});
    doAction.SetBounds(10, 165, 220, 95);
    doAction.SetItemIndex(2);
    TLabeledEdit folder(&form, "LabeledEdit1", &group);
    folder.SetLabelCaption("フォルダ");
    folder.SetBounds(10, 290, 400, 22);
    folder.SetText("/home/user/OV_TMP/");
    TButton browse(&form, "P3B_San", &group);
    browse.SetCaption("...");
    browse.SetBounds(415, 290, 36, 22);
    TCheckBox sub(&form, "Check_subFolder", &settings);
    sub.SetCaption("比較リストにフォルダがあるとき検索対象に階層下のフォルダも含める");
    sub.SetBounds(10, 220, 380, 20);
    sub.SetChecked(true);

    TVisualPanel3D left(&form, "VisualPanel3D2", &pair);
    left.SetAlign(TAlign::alClient);
    left.DrawLine = false;
    TImageList images(&form, "ImageList1", 24, 24);
    TBitmap tools;
    tools.LoadFromFile(ORV_APPDIR_BUILT "/BMP/tools.bmp");
    for (int i = 0; i < 5; ++i) {
        TBitmap cell;
        cell.SetSize(24, 24);
        BitBlt(cell, 0, 0, 24, 24, tools, 24 * i, 0, TRasterOp::SrcCopy);
        images.Add(cell);
    }
    TToolBar bar(&form, "ToolBar_L", &left);
    bar.SetWidth(30);
    bar.SetAlign(TAlign::alRight);
    bar.SetVertical(true);
    bar.SetImages(&images);
    bar.SetButtonSize(28, 28);
    TToolButton nex(&form, "TBL_NEX", &bar), res(&form, "TBL_RES", &bar), del(&form, "TBL_DEL", &bar),
        move(&form, "TBL_MOVE", &bar);
    nex.SetImageIndex(0);
    res.SetImageIndex(2);
    del.SetImageIndex(3);
    move.SetImageIndex(4);
    TLabel label(&form, "Label_L", &left);
    label.SetAutoSize(false);
    label.SetAlign(TAlign::alTop);
    label.SetHeight(70);
    label.SetCaption(" /home/user/写真/a.jpg\r 縦横サイズ：640x480\r ファイルサイズ： 123,456\r ファイル日付：2026/12/08 10:00:00");

    EXPECT_EQ(settings.ControlCount(), 4);
    EXPECT_EQ(group.ControlCount(), 5);  // the edit's label sits beside it
    EXPECT_EQ(bar.Left(), left.ClientWidth() - 5 - 30);
    EXPECT_EQ(label.Top(), 5);

    form.Show();
    if (const char* seconds = std::getenv("ORV_DEMO_SECONDS")) {
        SleepProcessing(1000 * std::atoi(seconds) / 2);
        pages.SetActivePageIndex(1);
        SleepProcessing(1000 * std::atoi(seconds) / 2);
    } else {
        test::App().ProcessMessages();
    }
    form.Close();
}

}  // namespace
}  // namespace orv
