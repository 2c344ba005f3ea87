// A window put together from the shipped strips the way the main window
// uses them: gradient panels holding bitmap buttons, a list, a gauge, a
// memo and the animation. Checks the layout; with ORV_DEMO_SECONDS set it
// stays on screen that long (for a screenshot under a virtual display).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/animate.h"
#include "platform/ui/forms.h"
#include "platform/ui/list_view.h"
#include "platform/ui/shell.h"
#include "platform/ui/std_controls.h"
#include "ui/qt_app.h"
#include "widgets/vis_button.h"
#include "widgets/visual_panel3d.h"

namespace orv {
namespace {

const std::string kBmp = ORV_APPDIR_BUILT "/BMP/";

TEST(DemoWindow, PanelsAndButtonsFromTheShippedStrips) {
    test::App();
    TForm form(nullptr, "OV_MainForm");
    form.SetCaption("Orvalis - 新規プロジェクト.ovp");
    form.SetBounds(20, 20, 900, 600);
    TFont font;
    font.Name = "ＭＳ Ｐゴシック";
    font.Height = 12;
    form.SetFont(font);

    TVisualPanel3D top(&form, "Panel_TopButton", &form);
    top.SetHeight(60);
    top.SetAlign(TAlign::alTop);
    top.GradePanel = true;
    top.GradeWidth = 1;
    top.SetColor(RGBColor(200, 214, 232));

    std::vector<std::unique_ptr<TVisButton>> buttons;
    std::vector<std::unique_ptr<TImage>> arrows;
    auto button = [&](TWinControl* parent, const std::string& name, int left, int topY) {
        auto b = std::make_unique<TVisButton>(&form, name, parent);
        TBitmap strip;
        strip.LoadFromFile(kBmp + "Buttons/" + name + ".bmp");
        b->SetBitMap(strip);
        b->SetBounds(left, topY, 116, 40);
        b->SetSoundName(kBmp + "Click.wav");
        buttons.push_back(std::move(b));
        return buttons.back().get();
    };
    const char* steps[] = {"MB_Start", "MB_Source", "MB_Tgt", "MB_SET", "MB_Go"};
    TBitmap arrow;
    arrow.LoadFromFile(kBmp + "arrow.bmp");
    for (int i = 0; i < 5; ++i) {
        button(&top, steps[i], 10 + 160 * i, 10);
        if (i < 4) {
            arrows.push_back(std::make_unique<TImage>(&form, "Img_Ya" + std::to_string(i + 1), &top));
            arrows.back()->SetPicture(arrow);
            arrows.back()->SetTransparent(true);
            arrows.back()->SetBounds(130 + 160 * i, 10, 40, 40);
        }
    }
    TVisButton* opt = button(&top, "MB_Opt", 0, 10);
    TVisButton* help = button(&top, "MB_Help", 0, 10);
    opt->SetBounds(form.ClientWidth() - 50, 10, 40, 40);
    help->SetBounds(form.ClientWidth() - 100, 10, 40, 40);

    TVisualPanel3D bottom(&form, "Pan_P4Bot1", &form);
    bottom.SetHeight(150);
    bottom.SetAlign(TAlign::alBottom);
    bottom.GradeWidth = 3;
    bottom.SetColor(clBtnFace);
    TPanel info(&form, "Pan_info", &bottom);
    info.SetBounds(10, 10, 700, 20);
    info.SetBevelOuter(TPanel::TBevel::bvLowered);
    info.SetAlignment(TAlignment::taLeftJustify);
    info.SetCaption("比較中：123 / 456 ファイル");
    TGauge gauge(&form, "Gauge1", &bottom);
    gauge.SetBounds(10, 40, 700, 20);
    gauge.SetMaxValue(456);
    gauge.SetProgress(123);
    TAnimate anim(&form, "Animate3", &bottom);
    anim.SetBounds(form.ClientWidth() - 60, 10, 50, 50);
    anim.SetFileName(kBmp + "ani01.avi");
    anim.Play();
    TMemo log(&form, "ErrorLog", &bottom);
    log.SetBounds(10, 70, form.ClientWidth() - 20, 70);
    log.Add("2026/12/08 20:15:00：比較を開始しました");
    log.Add("/home/user/写真/broken.jpg の読込で予期せぬエラーが発生");

    TVisualPanel3D column(&form, "Pan_P1B", &form);
    column.SetWidth(136);
    column.SetAlign(TAlign::alLeft);
    column.GradePanel = true;
    column.GradeWidth = 2;
    column.SetColor(RGBColor(214, 226, 240));
    const char* pageButtons[] = {"P1B_AddFile", "P1B_AddDir", "P1B_ClearSel", "P1B_ClearAll"};
    const int tops[] = {10, 60, 130, 180};
    for (int i = 0; i < 4; ++i) button(&column, pageButtons[i], 10, tops[i]);
    buttons.back()->SetEnable(false);

    TVisualPanel3D caption(&form, "Pan_Caption", &form);
    caption.SetHeight(28);
    caption.SetAlign(TAlign::alTop);
    caption.GradePanel = true;
    caption.GradeWidth = -1;
    caption.DrawLine = false;
    caption.SetColor(RGBColor(92, 142, 214));
    TFont white = font;
    white.Color = clWhite;
    white.Height = 14;
    caption.SetFont(white);
    caption.SetCaption("比較元リスト");

    TImageList large(&form, "ImageList_L", 32, 32), small(&form, "ImageList_s", 16, 16);
    TListView list(&form, "FListView_L", &form);
    list.SetAlign(TAlign::alClient);
    list.SetLargeImages(&large);
    list.SetSmallImages(&small);
    list.SetMultiSelect(true);
    list.AddColumn("比較元 リスト表示", 300, true);
    const std::vector<std::string> entries = {ORV_APPDIR_BUILT "/BMP/", kBmp + "folder.bmp", kBmp + "title.bmp",
                                              kBmp + "ani01.avi", ORV_APPDIR_BUILT "/Ver.ini"};
    for (const std::string& path : entries) {
        const int image = large.AddImage(FileTypePixmap(path, 32));
        small.AddImage(FileTypePixmap(path, 16));
        list.Add(path, image);
    }
    list.Item(1)->SetSelected(true);

    // The step buttons sit on the top bar in order; the loops that look for
    // them by class name find exactly these.
    int found = 0;
    for (int i = 0; i < top.ControlCount(); ++i) found += top.Controls(i)->ClassName() == "TVisButton";
    EXPECT_EQ(found, 7);
    EXPECT_EQ(buttons[0]->Width(), 116);
    EXPECT_EQ(buttons[0]->Height(), 40);
    EXPECT_EQ(opt->Width(), 40);
    EXPECT_EQ(list.Left(), 136);
    EXPECT_EQ(list.Top(), 88);

    form.Show();
    const char* seconds = std::getenv("ORV_DEMO_SECONDS");
    if (seconds) {
        SleepProcessing(1000 * std::atoi(seconds));
    } else {
        test::App().ProcessMessages();
    }
    EXPECT_GE(anim.CurrentFrame(), 0);
    form.Close();
}

}  // namespace
}  // namespace orv
