#include "filer/ui/result_form.h"

#include <QFontMetrics>

#include <exception>

#include "filer/core/pair_image.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"

namespace orv {

namespace {

constexpr int kToolCell = 24;

TFont WindowFont() {
    TFont font;
    font.Name = "ＭＳ Ｐゴシック";
    font.Height = 15;
    return font;
}

}  // namespace

TForm_Result::TForm_Result(TPairData& data, std::string appDir)
    : TForm(nullptr, "Form_Result"), data_(data), appDir_(IncludeTrailingPathDelimiter(appDir)) {
    BuildLayout();
    OnShow = [this](TObject*) { FormShow(); };
    OnClose = [this](TObject*, TCloseAction&) { FormClose(); };
    OnResize = [this](TObject*) { FormResize(); };
    Timer1.OnTimer = [this](TObject*) { Timer1Timer(); };
    But_Close.OnClick = [this](TObject*) { But_CloseClick(); };
    But_san.OnClick = [this](TObject*) { But_sanClick(); };
    but_stop.OnClick = [this](TObject*) { but_stopClick(); };
    LabeledEdit1.OnChange = [this](TObject*) { LabeledEdit1Change(); };
    TBL_NEX.OnClick = [this](TObject*) { TBL_NEXClick(); };
    TBR_NEX.OnClick = [this](TObject*) { TBR_NEXClick(); };
    for (TToolButton* b : {&TBL_RES, &TBR_RES}) b->OnClick = [this](TObject* s) { TBL_RESClick(s); };
    for (TToolButton* b : {&TBL_DEL, &TBR_DEL}) b->OnClick = [this](TObject* s) { TBL_DELClick(s); };
    for (TToolButton* b : {&TBL_MOVE, &TBR_MOVE}) b->OnClick = [this](TObject* s) { TBL_MOVEClick(s); };
    FormCreate();
}

TForm_Result::~TForm_Result() {
    // No handler may run on a window that is half gone.
    OnResize = nullptr;
    OnShow = nullptr;
    OnClose = nullptr;
    Timer1.OnTimer = nullptr;
}

void TForm_Result::BuildLayout() {
    SetCaption(kResultCaption);
    SetBorderIcons(biSystemMenu | biMaximize);
    SetFont(WindowFont());
    SetBounds(0, 0, 900, 675);
    SetMinSize(400, 300);

    VisualPanel3D1.SetAlign(TAlign::alBottom);
    VisualPanel3D1.SetHeight(50);
    VisualPanel3D1.SetColor(clMenuBar);
    VisualPanel3D1.DrawLine = true;
    VisualPanel3D1.GradePanel = false;
    VisualPanel3D1.Border = false;
    const int right = VisualPanel3D1.ClientWidth();
    LabeledEdit1.SetLabelPosition(TLabelPosition::lpLeft);
    LabeledEdit1.SetLabelCaption("移動先");
    LabeledEdit1.SetColor(0xFFFFFF);
    LabeledEdit1.SetBounds(56, 14, 291, 21);
    But_san.SetCaption("...");
    But_san.SetBounds(351, 14, 36, 21);
    But_Close.SetCaption("閉じる");
    But_Close.SetBounds(right - 8 - 151, 9, 151, 31);
    But_Close.SetAnchors(akTop | akRight);
    but_stop.SetCaption("比較を中止する");
    but_stop.SetBounds(right - 8 - 151 - 6 - 151, 9, 151, 31);
    but_stop.SetAnchors(akTop | akRight);

    for (TVisualPanel3D* panel : {&VisualPanel3D2, &VisualPanel3D3}) {
        panel->DrawLine = false;
        panel->GradePanel = false;
        panel->Border = false;
    }
    VisualPanel3D2.SetAlign(TAlign::alLeft);
    VisualPanel3D2.SetWidth(ClientWidth() / 2);
    VisualPanel3D3.SetAlign(TAlign::alClient);

    LoadToolImages();
    auto setupSide = [this](TLabel& label, TToolBar& bar, TAlign barAlign, TImage& image) {
        label.SetAlign(TAlign::alTop);
        label.SetAutoSize(false);
        label.SetLayout(TTextLayout::tlCenter);
        bar.SetAlign(barAlign);
        bar.SetWidth(kToolCell + 6);
        bar.SetImages(&ImageList1);
        bar.SetButtonSize(kToolCell, kToolCell);
        bar.SetVertical(true);
        image.SetAlign(TAlign::alClient);
        image.SetCenter(true);
        image.SetProportional(true);
        image.SetStretch(true);
    };
    setupSide(Label_L, ToolBar_L, TAlign::alRight, Image_L);
    setupSide(Label_R, ToolBar_R, TAlign::alLeft, Image_R);
    const int leftImages[] = {0, 2, 3, 4};
    const int rightImages[] = {1, 2, 3, 4};
    TToolButton* left[] = {&TBL_NEX, &TBL_RES, &TBL_DEL, &TBL_MOVE};
    TToolButton* rightButtons[] = {&TBR_NEX, &TBR_RES, &TBR_DEL, &TBR_MOVE};
    for (int i = 0; i < 4; ++i) {
        left[i]->SetImageIndex(leftImages[i]);
        left[i]->SetTag(0);
        rightButtons[i]->SetImageIndex(rightImages[i]);
        rightButtons[i]->SetTag(1);
    }
    for (TToolButton* b : {&TBL_NEX, &TBR_NEX}) b->SetHint(b == &TBL_NEX ? "前のペア" : "次のペア");
    for (TToolButton* b : {&TBL_RES, &TBR_RES}) b->SetHint("ごみ箱へ");
    for (TToolButton* b : {&TBL_DEL, &TBR_DEL}) b->SetHint("完全に削除");
    for (TToolButton* b : {&TBL_MOVE, &TBR_MOVE}) b->SetHint("フォルダへ移動");

    FolderDialog1.Title = "フォルダ選択";
    Timer1.SetEnabled(false);
    Timer1.SetInterval(20);
}

void TForm_Result::LoadToolImages() {
    const std::string path = appDir_ + "BMP/tools.bmp";
    if (!FileExists(path)) return;
    try {
        TBitmap strip;
        strip.LoadFromFile(path);
        for (int i = 0; i < 5; ++i) {
            TBitmap cell;
            cell.SetPixelFormat(TPixelFormat::pf24bit);
            cell.SetSize(kToolCell, kToolCell);
            BitBlt(cell, 0, 0, kToolCell, kToolCell, strip, i * kToolCell, 0, TRasterOp::SrcCopy);
            ImageList1.Add(cell);
        }
    } catch (const std::exception&) {
        // Buttons without pictures still work.
    }
}

// ---- creation and showing

void TForm_Result::FormCreate() {
    LoadIni();
    shown_ = false;
    SetCaption(kResultCaption);
    const QFontMetrics metrics(ToQFont(Label_L.Font()));
    const int lineHeight = metrics.boundingRect(QString::fromUtf8("縦横サイズ：")).height();
    Label_L.SetHeight(4 * lineHeight + 5);
    Label_R.SetHeight(Label_L.Height());
    Timer1.SetEnabled(true);
}

void TForm_Result::FormShow() {
    but_stop.Hide();
    if (data_.DoingNo == THandOverMode::OnePair) {
        TBL_NEX.Hide();
        TBR_NEX.Hide();
        but_stop.Show();
        ToolBar_L.Resize();
        ToolBar_R.Resize();
    }
    shown_ = true;
    // The placement read from the settings may differ from the layout's.
    FormResize();
}

void TForm_Result::Timer1Timer() {
    Timer1.SetEnabled(false);
    switch (data_.DoingNo) {
        case THandOverMode::Automatic:
            RunAutomatic(data_);
            Close();
            break;
        case THandOverMode::OnePair: LoadPicture(); break;
        case THandOverMode::WholeLog:
            LoadPicture();
            SetInfo();
            break;
        default: break;
    }
}

// ---- showing a pair

void TForm_Result::ApplyStretch(TImage& image) {
    const TBitmap& picture = image.Picture();
    // A picture smaller than the area both ways is shown at its own size.
    image.SetStretch(!(picture.Width() < image.Width() && picture.Height() < image.Height()));
}

void TForm_Result::ShowSideText(const PairFile& file, TLabel& label) {
    const QFontMetrics metrics(ToQFont(label.Font()));
    const QString lead = QStringLiteral(" ");
    const TFittedText path =
        FitText(QString::fromStdString(file.File), metrics, label.Width() - metrics.horizontalAdvance(lead));
    label.SetCaption((lead + path.Text).toStdString() + "\n 縦横サイズ：" + file.Width + "x" + file.Height +
                     "\n ファイルサイズ：" + file.Size + "\n ファイル日付：" + file.Data);
    label.SetHint(path.Elided ? file.File : std::string());
}

void TForm_Result::LoadSide(const PairFile& file, TLabel& label, TImage& image, TVisualPanel3D& panel,
                            TFileStamp& shown) {
    shown = {};
    try {
        image.ClearPicture();
        ShowSideText(file, label);
        if (!FileExists(file.File)) {
            panel.SetCaption(kHandledOrDeleted);
            return;
        }
        const TFileStamp before = ReadFileStamp(file.File);
        TBitmap bitmap;
        const bool loaded = LoadPairPicture(file.File, bitmap);
        // A file that changed while it was read is not the one shown.
        if (SameStamp(before, ReadFileStamp(file.File))) shown = before;
        if (!loaded) {
            data_.ResLog.push_back(file.File + kLoadFailed);
            return;
        }
        image.SetPicture(bitmap);
        ApplyStretch(image);
    } catch (const std::exception&) {
        data_.ResLog.push_back(file.File + kLoadFailed);
    }
}

void TForm_Result::LoadPicture() {
    const std::size_t i = data_.LoadNo;
    if (i < data_.PairL.size()) LoadSide(data_.PairL[i], Label_L, Image_L, VisualPanel3D2, shownL_);
    if (i < data_.PairR.size()) LoadSide(data_.PairR[i], Label_R, Image_R, VisualPanel3D3, shownR_);
}

void TForm_Result::SetInfo() {
    if (data_.DoingNo != THandOverMode::WholeLog) return;
    try {
        std::size_t done = 0;
        for (const std::string& text : data_.ResText)
            if (IsHandledText(text)) ++done;
        const std::string total = std::to_string(data_.ResText.size());
        SetCaption(std::string(kResultCaption) + " [" + std::to_string(data_.LoadNo + 1) + "/" + total + "]" + " 全" +
                   total + "結果中" + std::to_string(done) + "ファイル処理済み");
        const bool both = !Image_L.Picture().Empty() && !Image_R.Picture().Empty();
        for (TToolButton* b : {&TBL_RES, &TBL_DEL, &TBL_MOVE, &TBR_RES, &TBR_DEL, &TBR_MOVE}) b->SetEnabled(both);
        if (both) LabeledEdit1Change();
    } catch (const std::exception&) {
    }
}

void TForm_Result::FormResize() {
    if (!shown_) return;
    VisualPanel3D2.SetWidth(ClientWidth() / 2);
    ApplyStretch(Image_L);
    ApplyStretch(Image_R);
    // The paths are cut to the labels' new width.
    const std::size_t i = data_.LoadNo;
    if (i < data_.PairL.size() && !Label_L.Caption().empty()) ShowSideText(data_.PairL[i], Label_L);
    if (i < data_.PairR.size() && !Label_R.Caption().empty()) ShowSideText(data_.PairR[i], Label_R);
}

// ---- browsing

void TForm_Result::TBL_NEXClick() {
    if (data_.PairL.empty()) return;
    TWaitCursor wait;
    data_.LoadNo = data_.LoadNo == 0 ? data_.PairL.size() - 1 : data_.LoadNo - 1;
    LoadPicture();
    SetInfo();
}

void TForm_Result::TBR_NEXClick() {
    if (data_.PairL.empty()) return;
    TWaitCursor wait;
    data_.LoadNo = data_.LoadNo + 1 >= data_.PairL.size() ? 0 : data_.LoadNo + 1;
    LoadPicture();
    SetInfo();
}

// ---- actions

void TForm_Result::RunAction(TPairAction action, TObject* sender) {
    const auto* button = dynamic_cast<const TComponent*>(sender);
    const TPairSide side = button && button->Tag() == 1 ? TPairSide::Target : TPairSide::Source;
    try {
        if (action == TPairAction::Move && !DirectoryExists(LabeledEdit1.Text())) {
            ShowMessage(kBadMoveFolder);
        } else {
            TWaitCursor wait;
            const std::size_t i = data_.LoadNo;
            const auto& pairs = side == TPairSide::Source ? data_.PairL : data_.PairR;
            if (i < pairs.size()) {
                const std::size_t lines = data_.ResLog.size();
                const TFileStamp& shown = side == TPairSide::Source ? shownL_ : shownR_;
                DoPairAction(data_, action, pairs[i].File, LabeledEdit1.Text(), i, side, &shown);
                SetInfo();
                // A failure (a file already gone, say) is told here too.
                if (data_.ResLog.size() > lines) ShowMessage(data_.ResLog.back());
            }
        }
    } catch (...) {
        // The window goes on as after any other failed action.
    }
    AfterAction();
}

void TForm_Result::AfterAction() {
    if (data_.DoingNo == THandOverMode::OnePair) Close();
    else TBR_NEXClick();
}

void TForm_Result::TBL_RESClick(TObject* sender) { RunAction(TPairAction::Recycle, sender); }
void TForm_Result::TBL_DELClick(TObject* sender) { RunAction(TPairAction::Erase, sender); }
void TForm_Result::TBL_MOVEClick(TObject* sender) { RunAction(TPairAction::Move, sender); }

// ---- other handlers

void TForm_Result::But_sanClick() {
    FolderDialog1.Directory = LabeledEdit1.Text();
    if (FolderDialog1.Execute()) LabeledEdit1.SetText(IncludeTrailingPathDelimiter(FolderDialog1.Directory));
}

void TForm_Result::LabeledEdit1Change() {
    const bool any = !LabeledEdit1.Text().empty();
    TBL_MOVE.SetVisible(any);
    TBR_MOVE.SetVisible(any);
    ToolBar_L.Resize();
    ToolBar_R.Resize();
}

void TForm_Result::but_stopClick() {
    stopRequested_ = true;
    Close();
}

void TForm_Result::But_CloseClick() { Close(); }

void TForm_Result::FormClose() {
    // The answer first and whatever happens to the settings: files may
    // already have been removed, and the main program must learn of it.
    SaveResText();
    try {
        SaveIni();
    } catch (...) {
    }
}

// ---- settings and answer

void TForm_Result::LoadIni() {
    const std::string defaultDir = DefaultMoveFolder();
    const TResWindowSettings s = ReadResWindow(appDir_ + kSettingsFileName, defaultDir);
    RestorePlacement(s.Left, s.Top, s.Width, s.Height);
    if (s.Max) SetWindowState(TWindowState::wsMaximized);
    LabeledEdit1.SetText(s.Dir);
    LabeledEdit1Change();
    if (s.Dir == defaultDir && !DirectoryExists(defaultDir)) ForceDirectories(defaultDir);
}

void TForm_Result::SaveIni() {
    TResWindowSettings s;
    s.Max = WindowState() == TWindowState::wsMaximized;
    s.Left = Left();
    s.Top = Top();
    s.Width = Width();
    s.Height = Height();
    s.Dir = LabeledEdit1.Text();
    SaveResWindow(appDir_ + kSettingsFileName, s);
}

void TForm_Result::SaveResText() {
    if (answered_) return;
    try {
        WriteResultFile(appDir_ + kResultName, data_.Request, stopRequested_, data_.ResText, data_.ResLog);
        answered_ = true;
    } catch (...) {
        // Nothing more can be done: the main program reads no answer.
    }
}

int RunPairWindow(int& argc, char** argv, TPairData& data, const std::string& appDir) {
    TApplication app(argc, argv);
    TForm_Result form(data, appDir);
    app.SetMainForm(&form);
    // Above the main program's window while it waits for this one.
    form.StayAboveStarter();
    app.Run();
    // However the loop ended, the main program gets its answer.
    form.SaveResText();
    return 0;
}

}  // namespace orv
