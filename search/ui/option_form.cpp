#include "search/ui/option_form.h"

#include "platform/base/paths.h"
#include "platform/ui/application.h"
#include "search/engine/path_admission.h"
#include "search/ui/form_helpers.h"

namespace orv {
namespace {

constexpr int kChachValues[] = {5000, 3000, 1000};
constexpr int kParValues[] = {90, 75, 60};

int IndexOfValue(const int (&values)[3], int value) {
    for (int i = 0; i < 3; ++i)
        if (values[i] == value) return i;
    return -1;
}

}  // namespace

TOVOptForm::TOVOptForm(TMainData& data) : TForm(nullptr, "OVOptForm"), data_(data) {
    SetCaption("環境設定");
    SetClientSize(318, 322);
    // Fixed border after the size: it freezes the size the window has.
    SetBorderStyle(TBorderStyle::bsSingle);
    SetFont(ProgramFont());

    Radio_Chach.SetCaption("メモリ使用量");
    Radio_Chach.SetItems({"多い", "普通", "少ない"});
    Radio_Chach.SetBounds(8, 6, 146, 88);
    Radio_Par.SetCaption("正確さ");
    Radio_Par.SetItems({"厳密", "普通", "ゆるい"});
    Radio_Par.SetBounds(164, 6, 146, 88);

    auto placeEdit = [](TLabeledEdit& edit, TButton& button, const std::string& label, int top) {
        edit.SetLabelCaption(label);
        edit.SetLabelPosition(TLabelPosition::lpAbove);
        edit.SetBounds(8, top, 270, 21);
        button.SetCaption("...");
        button.SetBounds(284, top, 26, 21);
    };
    placeEdit(LabeledEdit1, Button_Sun, "一時作業用フォルダ", 116);
    Check_doitu.SetCaption("同じ画像を発見したときに音を鳴らす");
    Check_doitu.SetBounds(8, 143, 300, 20);
    placeEdit(LabeledEdit2, Button1, "WAVEファイル", 182);
    Check_End.SetCaption("終了時に音を鳴らす");
    Check_End.SetBounds(8, 209, 300, 20);
    placeEdit(LabeledEdit3, Button2, "WAVEファイル", 248);
    Check_noDel.SetCaption("比較終了時に一時ファイルを削除しない");
    Check_noDel.SetHint("通常、比較終了時に一時ファイルを削除しますが、チェックすると削除しません");
    Check_noDel.SetBounds(8, 273, 300, 20);
    Button_OK.SetCaption("OK");
    Button_OK.SetBounds(150, 296, 78, 24);
    Button_OK.SetDefault(true);
    Button_Cancel.SetCaption("キャンセル");
    Button_Cancel.SetBounds(232, 296, 78, 24);
    OpenDialog1.Filter = "WAVEファイル（*.WAV)|*WAV";

    Button_OK.OnClick = [this](TObject*) { Button_OKClick(); };
    Button_Cancel.OnClick = [this](TObject*) { Button_CancelClick(); };
    Button_Sun.OnClick = [this](TObject*) { Button_SunClick(); };
    Button1.OnClick = [this](TObject*) { Button1Click(); };
    Button2.OnClick = [this](TObject*) { Button2Click(); };
    CancelOnEscape(*this, [this] { Button_CancelClick(); });
    FormCreate();
}

void TOVOptForm::FormCreate() {
    Radio_Chach.SetItemIndex(IndexOfValue(kChachValues, data_.Chach));
    Radio_Par.SetItemIndex(IndexOfValue(kParValues, data_.Par));
    LabeledEdit1.SetText(data_.WorkDir);
    LabeledEdit2.SetText(data_.FindSound);
    LabeledEdit3.SetText(data_.EndSound);
    Check_doitu.SetChecked(data_.DoFindSound != 0);
    Check_End.SetChecked(data_.DoEndSound != 0);
    Check_noDel.SetChecked(data_.NoTmpDel != 0);
}

void TOVOptForm::Button_OKClick() {
    // The settings file could not hold these paths and would silently keep
    // the old ones: refuse them here, with the dialog still open.
    for (const TLabeledEdit* edit : {&LabeledEdit1, &LabeledEdit2, &LabeledEdit3}) {
        if (IsStorablePath(edit->Text())) continue;
        Dialogs().ShowMessage(UnusablePathMessage(edit->Text()));
        return;
    }
    const int chach = Radio_Chach.ItemIndex();
    if (chach >= 0 && chach < 3) data_.Chach = kChachValues[chach];
    const int par = Radio_Par.ItemIndex();
    if (par >= 0 && par < 3) data_.Par = kParValues[par];
    data_.WorkDir = LabeledEdit1.Text();
    data_.FindSound = LabeledEdit2.Text();
    data_.EndSound = LabeledEdit3.Text();
    data_.DoFindSound = Check_doitu.Checked() ? 1 : 0;
    data_.DoEndSound = Check_End.Checked() ? 1 : 0;
    data_.NoTmpDel = Check_noDel.Checked() ? 1 : 0;
    SetModalResult(mrOk);
    if (!Modal()) Close();
}

void TOVOptForm::Button_CancelClick() {
    SetModalResult(mrCancel);
    if (!Modal()) Close();
}

void TOVOptForm::Button_SunClick() {
    // A confirmation without a path leaves the edit alone (no folder from "").
    if (!FolderDialog1.Execute() || FolderDialog1.Directory.empty()) return;
    if (!IsStorablePath(FolderDialog1.Directory)) {
        Dialogs().ShowMessage(UnusablePathMessage(FolderDialog1.Directory));
        return;
    }
    LabeledEdit1.SetText(IncludeTrailingPathDelimiter(FolderDialog1.Directory));
}

void TOVOptForm::Button1Click() {
    if (OpenDialog1.Execute()) LabeledEdit2.SetText(OpenDialog1.FileName);
}

void TOVOptForm::Button2Click() {
    if (OpenDialog1.Execute()) LabeledEdit3.SetText(OpenDialog1.FileName);
}

}  // namespace orv
