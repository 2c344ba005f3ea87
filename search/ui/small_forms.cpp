#include "search/ui/small_forms.h"

#include "platform/ui/application.h"
#include "platform/ui/shell.h"
#include "search/ui/form_helpers.h"
#include "search/ui/program_globals.h"

namespace orv {
namespace {

TForm_about* gAbout = nullptr;

// A shipped picture; a missing one leaves the image empty.
void LoadShipped(TImage& image, const std::string& name) {
    TBitmap bitmap;
    if (LoadShippedBitmap(Globals().BmpDir + name, bitmap)) image.SetPicture(bitmap);
}

}  // namespace

TForm_about* Form_about() { return gAbout; }
void SetForm_about(TForm_about* form) { gAbout = form; }

TForm_splash::TForm_splash() : TForm(nullptr, "Form_splash") {
    SetBorderStyle(TBorderStyle::bsNone);
    SetStayOnTop(true);
    Image1.SetAlign(TAlign::alClient);
    Image1.SetStretch(true);
    LoadShipped(Image1, "splash.bmp");
    Timer1.SetEnabled(false);
    FormCreate();
    CenterOnScreen();
}

void TForm_splash::FormCreate() { SetClientSize(320, 240); }

TForm_about::TForm_about() : TForm(nullptr, "Form_about") {
    SetCaption("Orvalisについて");
    SetFont(ProgramFont());
    LoadShipped(Image1, "about.bmp");
    Image1.SetStretch(true);
    Label1.SetAutoSize(false);
    Label1.SetAlignment(TAlignment::taCenter);
    TFont bold = ProgramFont();
    bold.Style = static_cast<unsigned>(TFontStyle::Bold);
    bold.Color = clBlack;
    bold.Height = 14;
    Label1.SetFont(bold);
    Label2.SetAutoSize(false);
    Label2.SetAlignment(TAlignment::taCenter);
    TFont link = ProgramFont();
    link.Style = static_cast<unsigned>(TFontStyle::Bold) | static_cast<unsigned>(TFontStyle::Underline);
    link.Color = clNavy;
    Label2.SetFont(link);
    Label2.SetCursor(TCursor::crHandPoint);
    Label2.SetCaption(kMakerSiteUrl);
    Button1.SetCaption("閉じる");
    Button1.OnClick = [this](TObject*) { Button1Click(); };
    Label2.OnClick = [this](TObject*) { Label2Click(); };
    CancelOnEscape(*this, [this] { Button1Click(); });
    FormCreate();
    // Fixed border after the size: it freezes the size the window has.
    SetBorderStyle(TBorderStyle::bsDialog);
    CenterOnScreen();
}

void TForm_about::FormCreate() {
    SetClientSize(320, 330);
    Image1.SetBounds(0, 0, 320, 240);
    Label1.SetBounds(0, 244, 320, 20);
    Label1.SetCaption("バージョン " + Globals().VerText);
    Label2.SetBounds(0, 266, 320, 20);
    Button1.SetBounds(10, 290, 300, 30);
}

void TForm_about::Button1Click() {
    SetModalResult(mrOk);
    if (!Modal()) Close();
}

void TForm_about::Label2Click() { (void)OpenDocument(kMakerSiteUrl); }

TForm_settings::TForm_settings() : TForm(nullptr, "Form_settings") {
    SetCaption("設定の保存");
    SetFont(ProgramFont());
    SetClientSize(251, 69);
    SetBorderStyle(TBorderStyle::bsDialog);
    LabeledEdit1.SetLabelCaption("保存設定名");
    LabeledEdit1.SetLabelPosition(TLabelPosition::lpAbove);
    LabeledEdit1.SetBounds(8, 18, 235, 21);
    BitBtn1.SetCaption("OK");
    BitBtn1.SetBounds(88, 44, 75, 22);
    BitBtn1.SetDefault(true);
    BitBtn1.SetEnabled(false);
    BitBtn1.ModalResult = mrOk;
    BitBtn2.SetCaption("キャンセル");
    BitBtn2.SetBounds(168, 44, 75, 22);
    BitBtn2.ModalResult = mrCancel;
    LabeledEdit1.OnChange = [this](TObject*) { LabeledEdit1Change(); };
    BitBtn1.OnClick = [this](TObject*) { BitBtn1Click(); };
    BitBtn2.OnClick = [this](TObject*) { BitBtn2Click(); };
    CancelOnEscape(*this, [this] { BitBtn2Click(); });
    CenterOnScreen();
}

void TForm_settings::LabeledEdit1Change() { BitBtn1.SetEnabled(!LabeledEdit1.Text().empty()); }

void TForm_settings::BitBtn1Click() { SetModalResult(mrOk); }

void TForm_settings::BitBtn2Click() { SetModalResult(mrCancel); }

}  // namespace orv
