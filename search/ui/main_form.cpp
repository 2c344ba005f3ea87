// The main window: construction and layout, start-up and closing, the
// project reset, wizard navigation and what a run shows.
#include "search/ui/main_form.h"

#include <QApplication>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <chrono>
#include <climits>
#include <utility>

#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/ui/application.h"
#include "platform/ui/shell.h"
#include "search/engine/handover.h"
#include "search/engine/image_utils.h"
#include "search/ui/form_helpers.h"
#include "search/ui/option_form.h"
#include "search/ui/program_globals.h"
#include "search/ui/small_forms.h"

namespace orv {
namespace {

TOV_MainForm* gMainForm = nullptr;

constexpr const char* kRunningNoClose = "実行中です。先に比較中止してから終了してください";
constexpr const char* kAskKeepTemp = "一時ファイルが残っています。次回比較のためにこのまま残しますか？";
constexpr const char* kHandOverNoClose = "ペアの処理中は閉じられません";
constexpr const char* kHelpFileName = "Orvalis.Chm";

TFont MainFont() {
    TFont font = ProgramFont();
    font.Height = 12;
    return font;
}

void StylePageColumn(TVisualPanel3D& panel) {
    panel.SetAlign(TAlign::alLeft);
    panel.SetWidth(136);
    panel.GradePanel = true;
    panel.GradeWidth = 2;
    panel.SetColor(RGBColor(214, 226, 240));
}

void StyleCaptionBar(TVisualPanel3D& panel, const std::string& caption) {
    panel.SetAlign(TAlign::alTop);
    panel.SetHeight(28);
    panel.GradePanel = true;
    panel.GradeWidth = -1;
    panel.DrawLine = false;
    panel.SetColor(RGBColor(92, 142, 214));
    TFont white = MainFont();
    white.Color = clWhite;
    white.Height = 14;
    white.Style = static_cast<unsigned>(TFontStyle::Bold);
    panel.SetFont(white);
    panel.SetCaption(caption);
}

}  // namespace

TOV_MainForm* OV_MainForm() { return gMainForm; }

TOV_MainForm::TOV_MainForm() : TForm(nullptr, "OV_MainForm") {
    gMainForm = this;
    engine_ = std::make_unique<TRunEngine>(Data, *this);
    driver_ = std::make_unique<TRunDriver>(*engine_, RunLog, *this, nullptr);
    driver_->SetBmpDir(Globals().BmpDir);
    SetPairHandOver(MakePairHandOver(Data, RunLog, *this, *this));
    RunLog.OnRowAdded = [this](std::size_t i) { LogRowAdded(i); };
    RunLog.OnRowChanged = [this](std::size_t i) { LogRowChanged(i); };
    RunLog.OnReset = [this] { LogReset(); };

    TForm::SetCaption("Orvalis");
    SetFont(MainFont());
    SetBounds(0, 0, 921, 748);
    SetMinSize(900, 675);
    BuildLayout();
    BindHandlers();
    LoadPictures();
    // The window is complete: components that wait for it (the drop
    // targets' hooks) settle now, as after loading a form.
    for (int i = 0; i < ComponentCount(); ++i) Components(i)->Loaded();
    Guard(this, [this] { FormCreate(); });
    created_ = true;
    FormResize();
}

TOV_MainForm::~TOV_MainForm() {
    // Handlers must not reach a half-destroyed window.
    RunLog.OnRowAdded = nullptr;
    RunLog.OnRowChanged = nullptr;
    RunLog.OnReset = nullptr;
    ListView_log.OnChange = nullptr;
    OnResize = nullptr;
    if (gMainForm == this) gMainForm = nullptr;
}

bool TOV_MainForm::Busy() const { return Data.Running == 1 || HandOverActive(); }

void TOV_MainForm::SetPairHandOver(std::unique_ptr<IPairHandOver> handOver) {
    handOver_ = std::move(handOver);
    driver_ = std::make_unique<TRunDriver>(*engine_, RunLog, *this, handOver_.get());
    driver_->SetBmpDir(Globals().BmpDir);
}

// ---------------------------------------------------------------- layout

void TOV_MainForm::BuildLayout() {
    LayOutButtonBar();
    pageControl1.SetAlign(TAlign::alClient);
    LayOutStartPage();
    LayOutFileListPages();
    LayOutSettingsPage();
    LayOutAutoHandlingGroup();
    LayOutRunPage();
    LayOutRunLogList();
    SetUpTimerDialogsAndDrops();
}

// The step buttons along the top and their hints.
void TOV_MainForm::LayOutButtonBar() {
    Panel_TopButton.SetAlign(TAlign::alTop);
    Panel_TopButton.SetHeight(60);
    Panel_TopButton.GradePanel = true;
    Panel_TopButton.GradeWidth = 1;
    Panel_TopButton.SetColor(RGBColor(200, 214, 232));
    MB_Start.SetHint("初期画面へ行きます。既に比較結果があるときは消去されるので注意してください");
    MB_Source.SetHint("比較元となる画像を設定するステップへ行きます");
    MB_Tgt.SetHint("比較対象となる画像を設定するステップへ行きます");
    MB_SET.SetHint("比較の設定を行うステップへ行きます");
    MB_Go.SetHint("比較を開始するステップへ行きます");
    MB_Opt.SetHint("設定、プロジェクトの保存などを行います");
    MB_Help.SetHint("ヘルプなどを表示します");
    for (TImage* arrow : {&Img_Ya1, &Img_Ya2, &Img_Ya3, &Img_Ya4}) arrow->SetTransparent(true);
}

// Page 0: new or open project, and the title picture.
void TOV_MainForm::LayOutStartPage() {
    StylePageColumn(Pan_P0B);
    P1B_New.SetHint("新しいプロジェクトを開始します");
    P1B_Open.SetHint("既存のプロジェクトを開きます");
    VisualPanel3D1.SetAlign(TAlign::alClient);
    VisualPanel3D1.GradePanel = true;
    VisualPanel3D1.GradeWidth = 3;
    VisualPanel3D1.SetColor(RGBColor(236, 242, 250));
    Image_tit.SetStretch(true);
    Image_tit.SetProportional(true);
    Image_tit.SetCenter(true);
}

// Pages 1 and 2: the source and target lists with their previews, buttons and view menus.
void TOV_MainForm::LayOutFileListPages() {
    auto listPage = [](TVisualPanel3D& column, TVisualPanel3D& caption, const std::string& text, TListView& list,
                       TPanel& prevPan, TImage& prev, const std::string& reportCaption) {
        StyleCaptionBar(caption, text);
        StylePageColumn(column);
        list.SetAlign(TAlign::alClient);
        list.SetMultiSelect(true);
        list.SetReadOnly(true);
        list.AddColumn(reportCaption, 600, true);
        prevPan.SetBevelOuter(TPanel::TBevel::bvLowered);
        prevPan.SetColor(clWhite);
        prev.SetAlign(TAlign::alClient);
        prev.SetStretch(true);
        prev.SetProportional(true);
        prev.SetCenter(true);
    };
    listPage(Pan_P1B, Pan_ListL, "比較元リスト", FListView_L, p1_prevpan, P1Prev, "比較元 リスト表示");
    listPage(Pan_P2B, Pan_ListR, "比較対象リスト", FListView_R, P2_PrevPan, P2Prev, "比較対象 リスト表示");
    FListView_R.SetTag(1);
    for (TListView* list : {&FListView_L, &FListView_R}) {
        list->SetLargeImages(&ImageList_L);
        list->SetSmallImages(&ImageList_s);
    }
    FListView_L.SetPopupMenu(&PopupMenu_L);
    FListView_R.SetPopupMenu(&PopupMenu_R);
    P1B_AddFile.SetHint("リストにファイルを追加します");
    P1B_AddDir.SetHint("リストにフォルダを追加します");
    P1B_ClearSel.SetHint("選択したリストを削除します");
    P1B_ClearAll.SetHint("リスト全部を削除します");
    P2B_AddFile.SetHint("リストにファイルを追加します");
    P2B_AddDir.SetHint("リストにフォルダを追加します");
    P2B_ClearSel.SetHint("選択したリストを削除します");
    P2B_ClearAll.SetHint("リスト全部を削除します");
    P2B_copylist1.SetHint("比較元のリストを比較対象にコピーします");
    for (TMenuItem* item : {&PML_List, &PML_Icon, &PMR_List, &PMR_Icon}) {
        item->SetRadioItem(true);
        item->SetGroupIndex(1);
    }
    PML_Icon.SetChecked(true);
    PMR_Icon.SetChecked(true);
}

// Page 3: the stored settings list and the run's choices.
void TOV_MainForm::LayOutSettingsPage() {
    StyleCaptionBar(Pan_SetCaption, "比較の設定");
    StylePageColumn(Pan_P3B);
    P3B_Save.SetHint("設定の組み合わせに名前をつけて保存します");
    P3B_Del.SetHint("選択した設定を削除します");
    List_Setting2.SetViewStyle(TViewStyle::vsList);
    List_Setting2.SetReadOnly(true);
    List_Setting2.SetMultiSelect(false);
    List_Setting2.SetLargeImages(&ImageList_set);
    List_Setting2.SetSmallImages(&ImageList_set);
    Pan_Settings.SetAlign(TAlign::alClient);
    Pan_Settings.SetBevelOuter(TPanel::TBevel::bvNone);
    Radio_Mode.SetCaption("サイズ指定");
    Radio_Mode.SetItems({"同じ縦横サイズの画像だけ比較する", "縦横サイズに関わらず全部比較する"});
    Radio_Mode.SetBounds(12, 12, 300, 72);
    Radio_Syori.SetCaption("同一画像発見時の処理方法");
    Radio_Syori.SetItems({"自動的に処理する", "何もしない（ログのみ）", "その都度自分で処理する", "全終了後に処理する"});
    Radio_Syori.SetBounds(12, 96, 300, 120);
    Check_subFolder.SetCaption("比較リストにフォルダがあるとき検索対象に階層下のフォルダも含める");
    Check_subFolder.SetBounds(12, 360, 720, 24);
    Check_OneEnd.SetCaption("同じ画像を発見したら、比較を中止して次の元画像に進む");
    Check_OneEnd.SetBounds(12, 390, 720, 24);
}

// Page 3: what the automatic handling does with a found pair.
void TOV_MainForm::LayOutAutoHandlingGroup() {
    Group_Auto.SetCaption("自動処理の設定");
    Group_Auto.SetBounds(324, 12, 430, 330);
    Radio_Seltgt.SetCaption("どちらのファイルを");
    Radio_Seltgt.SetItems({"比較元の画像を", "比較対象の画像を", "ファイルサイズの大きな画像を",
                           "ファイルサイズの小さな画像を", "日付の古い画像を", "日付の新しい画像を",
                           "縦横サイズの大きい画像を", "縦横サイズの小さい画像を"});
    Radio_Seltgt.SetColumns(2);
    Radio_Seltgt.SetBounds(10, 22, 410, 120);
    Radio_Near.SetCaption("条件が同じだった場合は");
    Radio_Near.SetItems({"比較元のファイルを", "比較対象のファイルを"});
    Radio_Near.SetBounds(10, 150, 200, 96);
    Radio_Do.SetCaption("どうする");
    Radio_Do.SetItems({"ごみ箱に捨てる", "完全に消去する", "指定フォルダに移動する"});
    Radio_Do.SetBounds(220, 150, 200, 96);
    LabeledEdit1.SetLabelCaption("フォルダ");
    LabeledEdit1.SetLabelPosition(TLabelPosition::lpAbove);
    LabeledEdit1.SetHint("移動先のフォルダを指定します");
    LabeledEdit1.SetBounds(10, 284, 370, 22);
    P3B_San.SetCaption("...");
    P3B_San.SetHint("フォルダを参照します");
    P3B_San.SetBounds(388, 284, 32, 22);
}

// Page 4: run buttons, progress, error log and the pair preview.
void TOV_MainForm::LayOutRunPage() {
    StylePageColumn(pan_P4B);
    P4B_Start.SetHint("比較を開始します");
    P4B_Pause.SetHint("比較を一時停止します");
    P4B_Stop.SetHint("比較を中止します");
    P4B_Log.SetHint("比較結果をテキストに保存します");
    p4b_LogClear.SetHint("ログをクリアします。");
    P4B_Jyochyu.SetHint("比較の進行記録をクリアします");
    Pan_P4Bot1.SetAlign(TAlign::alBottom);
    Pan_P4Bot1.SetHeight(190);
    Pan_P4Bot1.GradeWidth = 3;
    Pan_P4Bot1.SetColor(clBtnFace);
    Pan_info.SetBevelOuter(TPanel::TBevel::bvLowered);
    Pan_info.SetCaption("");
    for (TLabel* label : {&LabelInfo1, &LabelInfo2, &LabelInfo3}) {
        label->SetAutoSize(false);
        label->SetLayout(TTextLayout::tlCenter);
    }
    pan_gauge.SetBevelOuter(TPanel::TBevel::bvLowered);
    Gauge1.SetAlign(TAlign::alClient);
    Check_prev.SetCaption("比較中にプレビューを表示する");
    ErrorLog.SetReadOnly(true);
    ErrorLog.SetWordWrap(false);
    PageControl2.SetAlign(TAlign::alClient);
    TabSheet6.SetCaption("プレビュー");
    TabSheet7.SetCaption("ログ");
    VP_PVL.SetAlign(TAlign::alLeft);
    VP_PVR.SetAlign(TAlign::alClient);
    for (TVisualPanel3D* vp : {&VP_PVL, &VP_PVR}) {
        vp->GradePanel = true;
        vp->GradeWidth = 3;
        vp->SetColor(RGBColor(236, 242, 250));
    }
    for (TPanel* cap : {&Pan_PVIL, &PAN_PVIR}) {
        cap->SetAlign(TAlign::alBottom);
        cap->SetHeight(22);
        cap->SetBevelOuter(TPanel::TBevel::bvLowered);
        cap->SetAlignment(TAlignment::taLeftJustify);
        cap->SetCaption("");
    }
    for (TImage* img : {&PVI_L, &PVI_R}) {
        img->SetAlign(TAlign::alClient);
        img->SetStretch(true);
        img->SetProportional(true);
        img->SetCenter(true);
    }
}

// Page 4: the run log list, drawn from the run log's rows.
void TOV_MainForm::LayOutRunLogList() {
    Pan_DoList.SetAlign(TAlign::alTop);
    Pan_DoList.SetHeight(22);
    Pan_DoList.SetAlignment(TAlignment::taLeftJustify);
    Pan_DoList.SetBevelOuter(TPanel::TBevel::bvLowered);
    ListView_log.SetAlign(TAlign::alClient);
    ListView_log.SetViewStyle(TViewStyle::vsReport);
    ListView_log.SetGridLines(true);
    ListView_log.SetRowSelect(true);
    ListView_log.SetReadOnly(true);
    const char* logColumns[] = {"比較元ファイル", "ファイルサイズ", "ファイル日時", "幅", "高さ", "比較対象ファイル",
                                "ファイルサイズ", "ファイル日時", "幅", "高さ", "処理"};
    const int logWidths[] = {240, 40, 40, 40, 40, 240, 40, 40, 40, 40, 240};
    for (int i = 0; i < 11; ++i) ListView_log.AddColumn(logColumns[i], logWidths[i]);
    ListView_log.SetOwnerData([this](int row, int column) -> std::string_view {
        if (column < 0 || static_cast<std::size_t>(column) >= kLogColumns) return {};
        return RunLog.Rows().Cell(static_cast<std::size_t>(row), static_cast<std::size_t>(column));
    });
}

// The clock, the file dialog and the drop targets of the two lists.
void TOV_MainForm::SetUpTimerDialogsAndDrops() {
    Timer1.SetEnabled(false);
    Timer1.SetInterval(1000);
    OpenDialog1.Title = "ファイル選択";
    OpenDialog1.MultiSelect = true;
    DropDst_L.SetControl(&FListView_L);
    DropDst_R.SetControl(&FListView_R);
}

void TOV_MainForm::BindHandlers() {
    auto onPress = [](TVisButton& button, std::function<void()> fn) {
        button.OnMouseDown = [fn = std::move(fn)](TObject*, TMouseButton, TShiftState, int, int) { fn(); };
    };
    onPress(MB_Start, [this] { MB_StartMouseDown(); });
    onPress(MB_Source, [this] { MB_SourceMouseDown(); });
    onPress(MB_Tgt, [this] { MB_TgtMouseDown(); });
    onPress(MB_SET, [this] { MB_SETMouseDown(); });
    onPress(MB_Go, [this] { MB_GoMouseDown(); });
    onPress(MB_Opt, [this] { MB_OptMouseDown(); });
    onPress(MB_Help, [this] { MB_HelpMouseDown(); });
    onPress(P1B_New, [this] { P1B_NewMouseDown(); });
    onPress(P1B_Open, [this] { P1B_OpenMouseDown(); });
    onPress(P1B_AddFile, [this] { P1B_AddFileMouseDown(); });
    onPress(P1B_AddDir, [this] { P1B_AddDirMouseDown(); });
    onPress(P1B_ClearSel, [this] { P1B_ClearSelMouseDown(); });
    onPress(P1B_ClearAll, [this] { P1B_ClearAllMouseDown(); });
    onPress(P2B_AddFile, [this] { wn(); });
    onPress(P2B_AddDir, [this] { P2B_AddDirMouseDown(); });
    onPress(P2B_ClearSel, [this] { P2B_ClearSelMouseDown(); });
    onPress(P2B_ClearAll, [this] { P2B_ClearAllMouseDown(); });
    onPress(P2B_copylist1, [this] { P2B_copylist1MouseDown(); });
    onPress(P3B_Save, [this] { P3B_SaveMouseDown(); });
    onPress(P3B_Del, [this] { P3B_DelMouseDown(); });
    onPress(P4B_Start, [this] { P4B_StartMouseDown(); });
    onPress(P4B_Pause, [this] { P4B_PauseMouseDown(); });
    onPress(P4B_Stop, [this] { P4B_StopMouseDown(); });
    onPress(P4B_Log, [this] { P4B_LogMouseDown(); });
    onPress(p4b_LogClear, [this] { p4b_LogClearMouseDown(); });
    onPress(P4B_Jyochyu, [this] { P4B_JyochyuMouseDown(); });

    for (TRadioGroup* group : {&Radio_Mode, &Radio_Syori, &Radio_Seltgt, &Radio_Do, &Radio_Near})
        group->OnClick = [this](TObject* sender) { Radio_ModeClick(sender); };
    P3B_San.OnClick = [this](TObject*) { P3B_SanClick(); };
    Check_prev.OnClick = [this](TObject*) { Check_prevClick(); };
    List_Setting2.OnDblClick = [this](TObject*) { List_Setting2DblClick(); };
    FListView_L.OnClick = [this](TObject*) { FListView_LClick(); };
    FListView_R.OnClick = [this](TObject*) { FListView_RClick(); };
    ListView_log.OnChange = [this](TObject*, TListItem*, TItemChange change) { ListView_logChange(change); };
    ListView_log.OnDblClick = [this](TObject*) { ListView_logDblClick(); };
    DropDst_L.OnFileDrop = [this](TObject*, const std::vector<std::string>& files, int, int) {
        DropDst_LFileDrop(files);
    };
    DropDst_R.OnFileDrop = [this](TObject*, const std::vector<std::string>& files, int, int) {
        DropDst_RFileDrop(files);
    };

    PP_SaveAsPrj.OnClick = [this](TObject*) { PP_SaveAsPrjClick(); };
    PP_SaveNewPrj.OnClick = [this](TObject*) { PP_SaveNewPrjClick(); };
    PP_Opt.OnClick = [this](TObject*) { PP_OptClick(); };
    PP_Help.OnClick = [this](TObject*) { PP_HelpClick(); };
    PP_About.OnClick = [this](TObject*) { PP_AboutClick(); };
    PML_List.OnClick = [this](TObject*) { PML_ListClick(); };
    PMR_List.OnClick = [this](TObject*) { PMR_ListClick(); };
    PML_Icon.OnClick = [this](TObject*) { PML_IconClick(); };
    PMR_Icon.OnClick = [this](TObject*) { PMR_IconClick(); };
    PML_Del.OnClick = [this](TObject*) { PML_DelClick(); };
    PML_AllDel.OnClick = [this](TObject*) { PML_AllDelClick(); };
    PMR_Del.OnClick = [this](TObject*) { PMR_DelClick(); };
    PMR_ALLDel.OnClick = [this](TObject*) { PMR_ALLDelClick(); };

    Timer1.OnTimer = [this](TObject*) { Timer1Timer(); };
    OnShow = [this](TObject*) { FormShow(); };
    OnCloseQuery = [this](TObject*, bool& canClose) { FormCloseQuery(canClose); };
    OnResize = [this](TObject*) {
        if (created_) FormResize();
    };
}

void TOV_MainForm::LoadPictures() {
    const std::string& bmp = Globals().BmpDir;
    for (int i = 0; i < ComponentCount(); ++i) {
        auto* button = dynamic_cast<TVisButton*>(Components(i));
        if (!button) continue;
        TBitmap strip;
        if (LoadShippedBitmap(bmp + "Buttons/" + button->Name() + ".bmp", strip)) button->SetBitMap(strip);
    }
    TBitmap picture;
    if (LoadShippedBitmap(bmp + "arrow.bmp", picture))
        for (TImage* arrow : {&Img_Ya1, &Img_Ya2, &Img_Ya3, &Img_Ya4}) arrow->SetPicture(picture);
    if (LoadShippedBitmap(bmp + "title.bmp", picture)) Image_tit.SetPicture(picture);
    QPixmap setIcon = QApplication::style() ? QApplication::style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(32, 32)
                                            : QPixmap();
    if (setIcon.isNull()) {
        setIcon = QPixmap(32, 32);
        setIcon.fill(QColor(92, 142, 214));
    }
    ImageList_set.AddImage(setIcon);
}

void TOV_MainForm::SetClickSounds() {
    const std::string sound = Globals().BmpDir + "Click.wav";
    auto onPanel = [&](TWinControl* panel) {
        for (int k = 0; k < panel->ControlCount(); ++k) {
            TControl* c = panel->Controls(k);
            if (c->ClassName() == "TVisButton") static_cast<TVisButton*>(c)->SetSoundName(sound);
        }
    };
    for (int p = 0; p < pageControl1.PageCount(); ++p) {
        TTabSheet* page = pageControl1.Pages(p);
        for (int i = 0; i < page->ControlCount(); ++i) {
            TControl* c = page->Controls(i);
            if (c->ClassName() == "TVisualPanel3D") onPanel(static_cast<TWinControl*>(c));
        }
    }
    onPanel(&Panel_TopButton);
}

// ---------------------------------------------------------------- start-up

void TOV_MainForm::FormCreate() {
    Data.Random.seed(static_cast<unsigned>(std::chrono::system_clock::now().time_since_epoch().count()));
    SetColor(clBtnFace);
    splash_ = std::make_unique<TForm_splash>();
    splash_->Show();
    splash_->Repaint();
    Data.SourceFiles.Clear();
    Data.TargetFiles.Clear();
    Data.JyochyuList.Clear();
    Data.ProjectChanged = 0;
    OpenAnimation(Globals().BmpDir + "ani01.avi", false);
    SetClickSounds();
    LoadIni();
    Init();
    pageControl1.SetActivePageIndex(0);
    OpenDialog1.Filter = kPictureFileFilter;
    SetMbEnabled(0);
    LoadSettingNames();
    if (!Globals().CmdFile.empty()) Timer1.SetEnabled(true);
}

void TOV_MainForm::FormShow() {
    if (!splash_) return;
    if (splash_->Visible()) {
        SleepProcessing(SplashMs);
        splash_->Hide();
    }
    splash_.reset();
    // The command-line project opens only now, so that nothing it shows
    // (its error boxes) appears while the splash is still up.
    if (timerHeld_ && Timer1.Enabled())
        QTimer::singleShot(0, Context(), [this] { Guard(this, [this] { Timer1Timer(); }); });
    timerHeld_ = false;
}

void TOV_MainForm::Timer1Timer() {
    if (splash_) {
        timerHeld_ = true;
        return;
    }
    // While busy the timer stays on: the project opens at a later tick.
    if (!Timer1.Enabled() || Busy()) return;
    Timer1.SetEnabled(false);
    const std::string& cmdFile = Globals().CmdFile;
    if (FileExists(cmdFile)) {
        if (!LoadProject(cmdFile)) return;
        Data.PrjFileName = cmdFile;
        SetCaption(ProjectCaption());
        SetMbEnabled(2);
        MB_SourceMouseDown();
    } else {
        ShowMessage(cmdFile + "が見つかりません");
    }
}

void TOV_MainForm::FormCloseQuery(bool& canClose) {
    if (Data.Running == 1) {
        ShowMessage(kRunningNoClose);
        canClose = false;
        return;
    }
    // The pair handler still works on the log: closing now would lose its answer.
    if (HandOverActive()) {
        ShowMessage(kHandOverNoClose);
        canClose = false;
        return;
    }
    if (Data.ProjectChanged == 1 && Dialogs().AskYesNo(kAskSaveProject)) PP_SaveAsPrjClick();
    try {
        // The engine looks for the signature names literally in the work
        // folder (with its delimiter), not through a wildcard pattern.
        if (engine_->LeftoverSignaturesExist() && !Dialogs().AskYesNo(kAskKeepTemp) &&
            engine_->DeleteChashFile() == TWorkFolder::TState::NotPrivate)
            ShowMessage(WorkFolderNotPrivateMessage(engine_->SignatureFolder()));
    } catch (...) {
    }
    // A settings file that cannot be written is reported, but never keeps
    // the user from closing the program.
    try {
        SaveIni();
    } catch (...) {
        if (Application()) Application()->HandleException(this, std::current_exception());
    }
    canClose = true;
}

void TOV_MainForm::FormResize() {
    VP_PVL.SetWidth(TabSheet6.ClientWidth() / 2);
    const int topW = Panel_TopButton.ClientWidth();
    MB_Opt.SetBounds(topW - 50, 10, 40, 40);
    MB_Help.SetBounds(topW - 100, 10, 40, 40);
    Pan_P4Bot1.SetHeight(190);
    const int botW = Pan_P4Bot1.ClientWidth();
    const int botH = Pan_P4Bot1.ClientHeight();
    Pan_info.SetBounds(10, 10, botW - 80, 20);
    pan_gauge.SetBounds(10, 40, botW - 80, 20);
    Animate3.SetBounds(botW - 60, 10, 50, 50);
    Check_prev.SetBounds(10, 60, botW - 80, 20);
    ErrorLog.SetBounds(10, 80, botW - 20, botH - 90);
    List_Setting2.SetBounds(10, 110, 116, Pan_P3B.ClientHeight() - 120);
    LabelInfo1.SetWidth(Pan_info.ClientWidth() / 3);
    LabelInfo2.SetWidth(Pan_info.ClientWidth() / 3);
    Image_tit.SetBounds(10, 10, VisualPanel3D1.ClientWidth() - 20, VisualPanel3D1.ClientHeight() - 20);
}

void TOV_MainForm::Init() {
    Data.ProjectChanged = 0;
    Data.SingleList = 0;
    FListView_L.Clear();
    FListView_R.Clear();
    P1Prev.ClearPicture();
    P2Prev.ClearPicture();
    for (TRadioGroup* group : {&Radio_Mode, &Radio_Syori, &Radio_Seltgt, &Radio_Do, &Radio_Near}) group->SetItemIndex(-1);
    Check_subFolder.SetChecked(false);
    Check_OneEnd.SetChecked(false);
    LabeledEdit1.SetText("");
    Group_Auto.Hide();
    Pan_DoList.SetCaption("");
    PageControl2.SetActivePageIndex(0);
    Data.SizeMode = TSizeMode::None;
    Data.SyoriMode = TSyoriMode::None;
    Data.SelTgt = TSelTgt::None;
    Data.NearMode = TNearMode::None;
    Data.DoAction = TPairAction::None;
    Data.SubFolder = 0;
    Data.OneEnd = 0;
    Data.TgtDir.clear();
    Data.FileNo = 0;
    Data.TaiouExts = kTaiouExts;
    Data.PrjFileName = kNewProjectName;
    SetCaption(ProjectCaption());

    Panel_TopButton.SetHeight(60);
    MB_Start.SetBounds(10, 10, 116, 40);
    Img_Ya1.SetBounds(130, 10, 40, 40);
    MB_Source.SetBounds(170, 10, 116, 40);
    Img_Ya2.SetBounds(290, 10, 40, 40);
    MB_Tgt.SetBounds(330, 10, 116, 40);
    Img_Ya3.SetBounds(450, 10, 40, 40);
    MB_SET.SetBounds(490, 10, 116, 40);
    Img_Ya4.SetBounds(610, 10, 40, 40);
    MB_Go.SetBounds(650, 10, 116, 40);
    MB_Opt.SetBounds(Panel_TopButton.ClientWidth() - 50, 10, 40, 40);
    MB_Help.SetBounds(Panel_TopButton.ClientWidth() - 100, 10, 40, 40);
    for (TVisualPanel3D* column : {&Pan_P0B, &Pan_P1B, &Pan_P2B, &Pan_P3B, &pan_P4B}) column->SetWidth(136);
    struct Place {
        TControl* control;
        int top;
    };
    const Place places[] = {{&P1B_New, 10},       {&P1B_Open, 60},     {&P1B_AddFile, 10},    {&P1B_AddDir, 60},
                            {&P1B_ClearSel, 130}, {&P1B_ClearAll, 180}, {&P2B_AddFile, 10},    {&P2B_AddDir, 60},
                            {&P2B_ClearSel, 130}, {&P2B_ClearAll, 180}, {&P2B_copylist1, 230}, {&P3B_Save, 10},
                            {&P3B_Del, 60},       {&P4B_Start, 10},     {&P4B_Pause, 60},      {&P4B_Stop, 110},
                            {&P4B_Log, 160},      {&p4b_LogClear, 210}, {&P4B_Jyochyu, 260}};
    for (const Place& p : places) p.control->SetBounds(10, p.top, 116, 40);
    p1_prevpan.SetBounds(10, 250, 116, 116);
    P2_PrevPan.SetBounds(10, 300, 116, 116);

    Data.SourceFiles.Clear();
    Data.TargetFiles.Clear();
    Data.JyochyuList.Clear();
    for (int p = 0; p < pageControl1.PageCount(); ++p) {
        pageControl1.Pages(p)->SetTabVisible(false);
        pageControl1.Pages(p)->SetVisible(true);
    }
}

std::string TOV_MainForm::ProjectCaption() const { return "Orvalis - " + ExtractFileName(Data.PrjFileName); }

std::string TOV_MainForm::ProjectCaptionWithProgress() const {
    std::string caption = ProjectCaption();
    if (!Data.JyochyuList.Empty())
        caption += " " + std::to_string(Data.JyochyuList.Count()) + kProgressRecordedSuffix;
    return caption;
}

// ---------------------------------------------------------------- navigation

void TOV_MainForm::SetMbEnabled(int state) {
    // A run ends here: the window shows what the run left.
    ShowPending();
    // The buttons switched here show in one repaint: during a run, in that
    // of its next slice.
    std::optional<TShowFacesAtNextPaint> duringRun;
    if (Data.Running == 1) duringRun.emplace();
    TShowFacesTogether together;
    switch (state) {
        case 0:
        case 1:
            MB_Start.SetEnable(true);
            MB_Source.SetEnable(state == 1);
            MB_Tgt.SetEnable(false);
            MB_SET.SetEnable(false);
            MB_Go.SetEnable(false);
            break;
        case 2: {
            MB_Start.SetEnable(true);
            MB_Source.SetEnable(true);
            P4B_Jyochyu.SetEnable(!Data.JyochyuList.Empty());
            MB_SET.SetEnable(FListView_L.Count() > 0 && FListView_R.Count() > 0);
            MB_Tgt.SetEnable(FListView_L.Count() > 0);
            if (!MB_Tgt.Enable() || !MB_Source.Enable()) MB_SET.SetEnable(false);
            const THandling h = PageHandling();
            bool go;
            if (!MB_SET.Enable()) go = false;
            else if (h.SizeMode == TSizeMode::None || h.SyoriMode == TSyoriMode::None) go = false;
            else if (h.SyoriMode != TSyoriMode::Automatic) go = true;
            else if (h.SelTgt == TSelTgt::None || h.DoAction == TPairAction::None) go = false;
            else if (NeedsTieRule(h.SelTgt) && h.NearMode == TNearMode::None) go = false;
            else if (!NeedsFolder(h.DoAction)) go = true;
            else go = !h.TgtDir.empty() && IsDirectory(h.TgtDir);
            MB_Go.SetEnable(go);
            P4B_Log.SetEnable(ListView_log.Count() > 0);
            p4b_LogClear.SetEnable(P4B_Log.Enable());
            break;
        }
        case 3:
            // A run starts: the window shows it with these buttons, and what
            // the run shows next waits for the end of its first slice.
            runMessagesAt_ = RunClock();
            for (TVisButton* b : {&MB_Start, &MB_Source, &MB_Tgt, &MB_SET, &MB_Go, &P4B_Start}) b->SetEnable(false);
            P4B_Stop.SetEnable(true);
            P4B_Pause.SetEnable(true);
            for (TVisButton* b : {&P4B_Log, &p4b_LogClear, &P4B_Jyochyu, &MB_Opt}) b->SetEnable(false);
            break;
        case 4:
            for (TVisButton* b : {&MB_Start, &MB_Source, &MB_Tgt, &MB_SET, &MB_Go, &P4B_Start}) b->SetEnable(true);
            P4B_Stop.SetEnable(false);
            P4B_Pause.SetEnable(false);
            P4B_Log.SetEnable(ListView_log.Count() > 0);
            p4b_LogClear.SetEnable(P4B_Log.Enable());
            P4B_Jyochyu.SetEnable(!Data.JyochyuList.Empty());
            MB_Opt.SetEnable(true);
            break;
        default:
            break;
    }
}

void TOV_MainForm::MB_StartMouseDown() {
    if (Busy()) return;
    if (Data.ProjectChanged == 1 && Dialogs().AskYesNo(kAskSaveProject)) PP_SaveAsPrjClick();
    pageControl1.SetActivePageIndex(0);
    SetMbEnabled(0);
}

void TOV_MainForm::MB_SourceMouseDown() {
    if (Busy()) return;
    pageControl1.SetActivePageIndex(1);
    SetMbEnabled(2);
}

void TOV_MainForm::MB_TgtMouseDown() {
    if (Busy()) return;
    pageControl1.SetActivePageIndex(2);
    SetMbEnabled(2);
}

void TOV_MainForm::MB_SETMouseDown() {
    if (Busy()) return;
    pageControl1.SetActivePageIndex(3);
    SetMbEnabled(2);
}

void TOV_MainForm::MB_GoMouseDown() {
    if (Busy()) return;
    pageControl1.SetActivePageIndex(4);
    SetMbEnabled(2);
}

void TOV_MainForm::P1B_NewMouseDown() {
    if (Busy()) return;
    RunLog.Clear();
    Init();
    pageControl1.SetActivePageIndex(1);
    SetMbEnabled(1);
}

void TOV_MainForm::P1B_OpenMouseDown() {
    if (Busy()) return;
    OpenDialog2.Title = "プロジェクトを開く";
    OpenDialog2.Filter = "Orvalis Project(*.OVP)|*.ovp";
    OpenDialog2.DefaultExt = "ovp";
    OpenDialog2.InitialDir = Data.PrjDir;
    OpenDialog2.MultiSelect = false;
    if (!OpenDialog2.Execute()) return;
    const std::string path = OpenDialog2.FileName;
    if (!AdmitPath(path)) return;
    if (!LoadProject(path)) return;
    Data.PrjDir = ExtractFilePath(path);
    SetCaption(ProjectCaptionWithProgress());
    SetMbEnabled(2);
    MB_SourceMouseDown();
}

void TOV_MainForm::MB_OptMouseDown() {
    if (!Busy()) PopupMenu1.PopupAtCursor();
}

void TOV_MainForm::MB_HelpMouseDown() { PopupMenu2.PopupAtCursor(); }

void TOV_MainForm::Radio_ModeClick(TObject* sender) {
    if (Busy()) return;
    SetMbEnabled(2);
    Data.ProjectChanged = 1;
    const auto* component = dynamic_cast<TComponent*>(sender);
    const std::string name = component ? component->Name() : std::string();
    const THandling h = PageHandling();
    if (name == "Radio_Syori") Group_Auto.SetVisible(h.SyoriMode == TSyoriMode::Automatic);
    if (name == "Radio_Seltgt") Radio_Near.SetVisible(NeedsTieRule(h.SelTgt));
}

void TOV_MainForm::PP_HelpClick() {
    const std::string help = Globals().AppDir + kHelpFileName;
    // Not every desktop has a program for help files: say so rather than
    // nothing at all.
    if (!OpenDocument(help)) ShowMessage("ヘルプファイル \"" + help + "\" を開けません");
}

void TOV_MainForm::PP_AboutClick() {
    if (TForm_about* about = Form_about()) about->ShowModal();
}

void TOV_MainForm::PP_OptClick() {
    if (Busy()) return;
    TOVOptForm dialog(Data);
    dialog.ShowModal();
}

// ---------------------------------------------------------------- IRunView

void TOV_MainForm::SetLabelInfo(int index, const std::string& caption, const std::string& hint) {
    if (index < 1 || index > 3) return;
    if (Data.Running == 1) {
        pending_.labels[index - 1] = std::pair(caption, hint);
        return;
    }
    pending_.labels[index - 1].reset();
    ShowLabelInfo(index, caption, hint);
}

void TOV_MainForm::ShowLabelInfo(int index, const std::string& caption, const std::string& hint) {
    TLabel* label = index == 1 ? &LabelInfo1 : index == 2 ? &LabelInfo2 : &LabelInfo3;
    label->SetCaption(caption);
    label->SetHint(hint);
}

void TOV_MainForm::SetGaugeMax(std::int64_t max) {
    // A position asked for before belongs to the old scale.
    ShowPending();
    gaugeDivisor_ = max > INT_MAX ? max / INT_MAX + 1 : 1;
    Gauge1.SetMaxValue(static_cast<int>(std::max<std::int64_t>(max, 0) / gaugeDivisor_));
}

void TOV_MainForm::SetGaugePosition(std::int64_t position) {
    if (Data.Running == 1) {
        pending_.gauge = position;
        return;
    }
    pending_.gauge.reset();
    Gauge1.SetProgress(static_cast<int>(std::max<std::int64_t>(position, 0) / gaugeDivisor_));
}

void TOV_MainForm::AppendLog(const std::string& line) { ErrorLog.Add(line); }

void TOV_MainForm::ProcessMessages() {
    if (!Application()) return;
    ApplyHeldOff();
    // A run asks after each slice of its work and after each match. The
    // window handles its messages, and so repaints what the run changed, at
    // most once per slice; a call sooner than that returns at once, and the
    // next slice shows the changes together.
    if (Data.Running == 1) {
        constexpr std::chrono::milliseconds kSlice{20};
        const auto now = RunClock();
        if (runMessagesAt_ && now - *runMessagesAt_ < kSlice) return;
        runMessagesAt_ = now;
    }
    ShowPending();
    Application()->ProcessMessages();
}

void TOV_MainForm::SetWaitCursor(bool on) {
    if (on && !waitCursor_) waitCursor_ = std::make_unique<TWaitCursor>();
    if (!on) waitCursor_.reset();
}

void TOV_MainForm::OpenAnimation(const std::string& file, bool play) {
    try {
        Animate3.SetFileName(file);
        Animate3.SetActive(play);
    } catch (...) {
        // A missing animation is only decoration.
    }
}

void TOV_MainForm::StopAnimation() { Animate3.Stop(); }

std::vector<std::string> TOV_MainForm::ListEntries(int side) {
    TListView& list = SideList(side);
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.ItemCaption(i));
    return out;
}

void TOV_MainForm::ShowPreview(int side, const TBitmap* picture, const std::string& caption) {
    // During a run the previews follow with the next slice, like the labels.
    std::optional<TPendingPreview>& pending = pending_.previews[side == 0 ? 0 : 1];
    std::unique_ptr<TBitmap> copy;
    if (picture) {
        copy = std::make_unique<TBitmap>();
        copy->Assign(*picture);
    }
    if (Data.Running == 1) {
        pending = TPendingPreview{std::move(copy), caption};
        return;
    }
    pending.reset();
    ShowPreviewNow(side, copy.get(), caption);
}

void TOV_MainForm::ShowPreviewNow(int side, TBitmap* picture, const std::string& caption) {
    TImage& image = side == 0 ? PVI_L : PVI_R;
    TPanel& panel = side == 0 ? Pan_PVIL : PAN_PVIR;
    // A preview that stays empty, or a caption that stays, needs no repaint.
    if (picture) image.TakePicture(*picture);
    else if (!image.Picture().Empty()) image.ClearPicture();
    if (panel.Caption() != caption) panel.SetCaption(caption);
}

void TOV_MainForm::ClearPreviews() {
    for (int side : {0, 1}) ShowPreview(side, nullptr, "");
}

TPreviewBox TOV_MainForm::PreviewBox() {
    return {std::max(PVI_L.ClientWidth(), PVI_R.ClientWidth()), std::max(PVI_L.ClientHeight(), PVI_R.ClientHeight())};
}

void TOV_MainForm::SetCaption(const std::string& caption) {
    // A run changes the caption after every source row; the window system's
    // title costs about as much as a row.
    if (Data.Running == 1) {
        StoreCaption(caption);
        pending_.title = true;
        return;
    }
    pending_.title = false;
    TForm::SetCaption(caption);
}

void TOV_MainForm::ShowPending() {
    TPendingView pending = std::exchange(pending_, {});
    for (int i = 0; i < 3; ++i)
        if (pending.labels[i]) ShowLabelInfo(i + 1, pending.labels[i]->first, pending.labels[i]->second);
    if (pending.gauge) Gauge1.SetProgress(static_cast<int>(std::max<std::int64_t>(*pending.gauge, 0) / gaugeDivisor_));
    if (pending.title) TForm::SetCaption(Caption());
    for (int side : {0, 1})
        if (pending.previews[side])
            ShowPreviewNow(side, pending.previews[side]->picture.get(), pending.previews[side]->caption);
}

// ---------------------------------------------------------------- IRunWindow

void TOV_MainForm::ShowMessage(const std::string& text) {
    ApplyHeldOff();
    Dialogs().ShowMessage(text);
}

void TOV_MainForm::SetWindowEnabled(bool enabled) {
    // While the window waits for the pair handler, the handler's window
    // stays above it.
    LendToChildPrograms(!enabled);
    // The end of a run turns the window off and on again without handling a
    // message in between: no input can reach it then, and switching it would
    // repaint every control for nothing. The window goes off only when it
    // handles messages while it should be off (as while the pair handler
    // runs).
    if (!enabled) {
        offHeld_ = true;
        return;
    }
    if (std::exchange(offHeld_, false)) return;
    SetEnabled(true);
}

void TOV_MainForm::ApplyHeldOff() {
    if (std::exchange(offHeld_, false)) SetEnabled(false);
}

void TOV_MainForm::ClearErrorLog() { ErrorLog.Clear(); }

void TOV_MainForm::SetDoListCaption(const std::string& caption) { Pan_DoList.SetCaption(caption); }

void TOV_MainForm::SetLabelColumns(bool three) {
    if (!three) {
        LabelInfo1.SetAlign(TAlign::alClient);
        LabelInfo2.Hide();
        LabelInfo3.Hide();
        return;
    }
    const int third = Pan_info.ClientWidth() / 3;
    LabelInfo1.SetAlign(TAlign::alLeft);
    LabelInfo1.SetWidth(third);
    LabelInfo2.SetAlign(TAlign::alLeft);
    LabelInfo2.SetWidth(third);
    LabelInfo2.Show();
    LabelInfo3.SetAlign(TAlign::alClient);
    LabelInfo3.Show();
}

void TOV_MainForm::SetLogButtonsEnabled(bool enabled) {
    std::optional<TShowFacesAtNextPaint> duringRun;
    if (Data.Running == 1) duringRun.emplace();
    TShowFacesTogether together;
    P4B_Log.SetEnable(enabled);
    p4b_LogClear.SetEnable(enabled);
}

void TOV_MainForm::SetStopPauseEnabled(bool enabled) {
    std::optional<TShowFacesAtNextPaint> duringRun;
    if (Data.Running == 1) duringRun.emplace();
    TShowFacesTogether together;
    P4B_Stop.SetEnable(enabled);
    P4B_Pause.SetEnable(enabled);
}

}  // namespace orv
