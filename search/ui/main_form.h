// The main window of Orvalis: a wizard of five pages (start, source list,
// target list, settings, run). It owns its components under their names, the
// window's data model (TMainData) and the run's engine, and shows a run
// through IRunView / IRunWindow.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/animate.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/list_view.h"
#include "platform/ui/menus.h"
#include "platform/ui/page_control.h"
#include "platform/ui/std_controls.h"
#include "search/engine/main_data.h"
#include "search/engine/pair_loop.h"
#include "search/engine/project_file.h"
#include "search/engine/run_driver.h"
#include "search/engine/run_engine.h"
#include "search/engine/run_view.h"
#include "widgets/drop_target.h"
#include "widgets/folder_dialog.h"
#include "widgets/vis_button.h"
#include "widgets/visual_panel3d.h"

namespace orv {

class TForm_splash;

inline constexpr const char* kNewProjectName = "新規プロジェクト.ovp";
inline constexpr const char* kAskSaveProject = "プロジェクトが変更されています、保存しますか？";

class TOV_MainForm : public TForm, public IRunView, public IRunWindow {
public:
    // Creates the window and runs FormCreate.
    TOV_MainForm();
    ~TOV_MainForm() override;
    std::string ClassName() const override { return "TOV_MainForm"; }

    TMainData Data;
    TRunLog RunLog;
    // How long FormShow keeps the splash up (tests shorten it).
    int SplashMs = 1000;
    // The clock that spaces the window's message processing during a run
    // (tests stop it).
    std::function<std::chrono::steady_clock::time_point()> RunClock = [] { return std::chrono::steady_clock::now(); };
    // Where matches and the whole log are handed over; null: log only.
    void SetPairHandOver(std::unique_ptr<IPairHandOver> handOver);
    // Asks the name of a setting set to store; nullopt for Cancel. Empty:
    // the name dialog (tests answer here instead).
    std::function<std::optional<std::string>()> SettingNamePrompt;

    // ---- components (owner and parent first, so children come later)
    TVisualPanel3D Panel_TopButton{this, "Panel_TopButton", this};
    TVisButton MB_Start{this, "MB_Start", &Panel_TopButton};
    TImage Img_Ya1{this, "Img_Ya1", &Panel_TopButton};
    TVisButton MB_Source{this, "MB_Source", &Panel_TopButton};
    TImage Img_Ya2{this, "Img_Ya2", &Panel_TopButton};
    TVisButton MB_Tgt{this, "MB_Tgt", &Panel_TopButton};
    TImage Img_Ya3{this, "Img_Ya3", &Panel_TopButton};
    TVisButton MB_SET{this, "MB_SET", &Panel_TopButton};
    TImage Img_Ya4{this, "Img_Ya4", &Panel_TopButton};
    TVisButton MB_Go{this, "MB_Go", &Panel_TopButton};
    TVisButton MB_Opt{this, "MB_Opt", &Panel_TopButton};
    TVisButton MB_Help{this, "MB_Help", &Panel_TopButton};

    TPageControl pageControl1{this, "pageControl1", this};
    TTabSheet TabSheet1{this, "TabSheet1", &pageControl1};
    TTabSheet TabSheet2{this, "TabSheet2", &pageControl1};
    TTabSheet TabSheet3{this, "TabSheet3", &pageControl1};
    TTabSheet TabSheet4{this, "TabSheet4", &pageControl1};
    TTabSheet TabSheet5{this, "TabSheet5", &pageControl1};

    // page 0: start
    TVisualPanel3D Pan_P0B{this, "Pan_P0B", &TabSheet1};
    TVisButton P1B_New{this, "P1B_New", &Pan_P0B};
    TVisButton P1B_Open{this, "P1B_Open", &Pan_P0B};
    TVisualPanel3D VisualPanel3D1{this, "VisualPanel3D1", &TabSheet1};
    TImage Image_tit{this, "Image_tit", &VisualPanel3D1};

    // page 1: source list
    TVisualPanel3D Pan_P1B{this, "Pan_P1B", &TabSheet2};
    TVisButton P1B_AddFile{this, "P1B_AddFile", &Pan_P1B};
    TVisButton P1B_AddDir{this, "P1B_AddDir", &Pan_P1B};
    TVisButton P1B_ClearSel{this, "P1B_ClearSel", &Pan_P1B};
    TVisButton P1B_ClearAll{this, "P1B_ClearAll", &Pan_P1B};
    TPanel p1_prevpan{this, "p1_prevpan", &Pan_P1B};
    TImage P1Prev{this, "P1Prev", &p1_prevpan};
    TVisualPanel3D Pan_ListL{this, "Pan_ListL", &TabSheet2};
    TListView FListView_L{this, "FListView_L", &TabSheet2};

    // page 2: target list
    TVisualPanel3D Pan_P2B{this, "Pan_P2B", &TabSheet3};
    TVisButton P2B_AddFile{this, "P2B_AddFile", &Pan_P2B};
    TVisButton P2B_AddDir{this, "P2B_AddDir", &Pan_P2B};
    TVisButton P2B_ClearSel{this, "P2B_ClearSel", &Pan_P2B};
    TVisButton P2B_ClearAll{this, "P2B_ClearAll", &Pan_P2B};
    TVisButton P2B_copylist1{this, "P2B_copylist1", &Pan_P2B};
    TPanel P2_PrevPan{this, "P2_PrevPan", &Pan_P2B};
    TImage P2Prev{this, "P2Prev", &P2_PrevPan};
    TVisualPanel3D Pan_ListR{this, "Pan_ListR", &TabSheet3};
    TListView FListView_R{this, "FListView_R", &TabSheet3};

    // page 3: settings
    TVisualPanel3D Pan_P3B{this, "Pan_P3B", &TabSheet4};
    TVisButton P3B_Save{this, "P3B_Save", &Pan_P3B};
    TVisButton P3B_Del{this, "P3B_Del", &Pan_P3B};
    TListView List_Setting2{this, "List_Setting2", &Pan_P3B};
    TVisualPanel3D Pan_SetCaption{this, "Pan_SetCaption", &TabSheet4};
    TPanel Pan_Settings{this, "Pan_Settings", &TabSheet4};
    TRadioGroup Radio_Mode{this, "Radio_Mode", &Pan_Settings};
    TRadioGroup Radio_Syori{this, "Radio_Syori", &Pan_Settings};
    TCheckBox Check_subFolder{this, "Check_subFolder", &Pan_Settings};
    TCheckBox Check_OneEnd{this, "Check_OneEnd", &Pan_Settings};
    TGroupBox Group_Auto{this, "Group_Auto", &Pan_Settings};
    TRadioGroup Radio_Seltgt{this, "Radio_Seltgt", &Group_Auto};
    TRadioGroup Radio_Do{this, "Radio_Do", &Group_Auto};
    TRadioGroup Radio_Near{this, "Radio_Near", &Group_Auto};
    TLabeledEdit LabeledEdit1{this, "LabeledEdit1", &Group_Auto};
    TButton P3B_San{this, "P3B_San", &Group_Auto};

    // page 4: run
    TVisualPanel3D pan_P4B{this, "pan_P4B", &TabSheet5};
    TVisButton P4B_Start{this, "P4B_Start", &pan_P4B};
    TVisButton P4B_Pause{this, "P4B_Pause", &pan_P4B};
    TVisButton P4B_Stop{this, "P4B_Stop", &pan_P4B};
    TVisButton P4B_Log{this, "P4B_Log", &pan_P4B};
    TVisButton p4b_LogClear{this, "p4b_LogClear", &pan_P4B};
    TVisButton P4B_Jyochyu{this, "P4B_Jyochyu", &pan_P4B};
    TVisualPanel3D Pan_P4Bot1{this, "Pan_P4Bot1", &TabSheet5};
    TPanel Pan_info{this, "Pan_info", &Pan_P4Bot1};
    TLabel LabelInfo1{this, "LabelInfo1", &Pan_info};
    TLabel LabelInfo2{this, "LabelInfo2", &Pan_info};
    TLabel LabelInfo3{this, "LabelInfo3", &Pan_info};
    TPanel pan_gauge{this, "pan_gauge", &Pan_P4Bot1};
    TGauge Gauge1{this, "Gauge1", &pan_gauge};
    TAnimate Animate3{this, "Animate3", &Pan_P4Bot1};
    TCheckBox Check_prev{this, "Check_prev", &Pan_P4Bot1};
    TMemo ErrorLog{this, "ErrorLog", &Pan_P4Bot1};
    TPageControl PageControl2{this, "PageControl2", &TabSheet5};
    TTabSheet TabSheet6{this, "TabSheet6", &PageControl2};
    TTabSheet TabSheet7{this, "TabSheet7", &PageControl2};
    TVisualPanel3D VP_PVL{this, "VP_PVL", &TabSheet6};
    TPanel Pan_PVIL{this, "Pan_PVIL", &VP_PVL};
    TImage PVI_L{this, "PVI_L", &VP_PVL};
    TVisualPanel3D VP_PVR{this, "VP_PVR", &TabSheet6};
    TPanel PAN_PVIR{this, "PAN_PVIR", &VP_PVR};
    TImage PVI_R{this, "PVI_R", &VP_PVR};
    TPanel Pan_DoList{this, "Pan_DoList", &TabSheet7};
    TListView ListView_log{this, "ListView_log", &TabSheet7};

    // components without a window
    TTimer Timer1{this, "Timer1"};
    TOpenDialog OpenDialog1{this, "OpenDialog1"};
    TOpenDialog OpenDialog2{this, "OpenDialog2"};
    TSaveDialog SaveDialog1{this, "SaveDialog1"};
    TSaveDialog SaveDialog2{this, "SaveDialog2"};
    TFolderDialog FolderDialog1{this, "FolderDialog1"};
    TImageList ImageList_L{this, "ImageList_L", 32, 32};
    TImageList ImageList_s{this, "ImageList_s", 16, 16};
    TImageList ImageList_set{this, "ImageList_set", 32, 32};
    TPopupMenu PopupMenu1{this, "PopupMenu1"};
    TMenuItem PP_SaveAsPrj{this, "PP_SaveAsPrj", &PopupMenu1, "プロジェクトの上書き保存 (&S)"};
    TMenuItem PP_SaveNewPrj{this, "PP_SaveNewPrj", &PopupMenu1, "プロジェクトの新規保存 (&N)"};
    TMenuItem N1{this, "N1", &PopupMenu1, "-"};
    TMenuItem PP_Opt{this, "PP_Opt", &PopupMenu1, "環境設定 (&O)"};
    TPopupMenu PopupMenu2{this, "PopupMenu2"};
    TMenuItem PP_Help{this, "PP_Help", &PopupMenu2, "ヘルプ (&H)"};
    TMenuItem PP_About{this, "PP_About", &PopupMenu2, "バージョン情報"};
    TPopupMenu PopupMenu_L{this, "PopupMenu_L"};
    TMenuItem PML_List{this, "PML_List", &PopupMenu_L, "リスト表示"};
    TMenuItem PML_Icon{this, "PML_Icon", &PopupMenu_L, "アイコン表示"};
    TMenuItem N2{this, "N2", &PopupMenu_L, "-"};
    TMenuItem PML_Del{this, "PML_Del", &PopupMenu_L, "リストから削除"};
    TMenuItem PML_AllDel{this, "PML_AllDel", &PopupMenu_L, "全リストを削除"};
    TPopupMenu PopupMenu_R{this, "PopupMenu_R"};
    TMenuItem PMR_List{this, "PMR_List", &PopupMenu_R, "リスト表示"};
    TMenuItem PMR_Icon{this, "PMR_Icon", &PopupMenu_R, "アイコン表示"};
    TMenuItem N3{this, "N3", &PopupMenu_R, "-"};
    TMenuItem PMR_Del{this, "PMR_Del", &PopupMenu_R, "リストから削除"};
    TMenuItem PMR_ALLDel{this, "PMR_ALLDel", &PopupMenu_R, "全リストを削除"};
    TDropDst DropDst_L{this, "DropDst_L"};
    TDropDst DropDst_R{this, "DropDst_R"};

    // A run or a hand-over to the pair handler is under way. The handlers of
    // whatever changes a run, the lists, the settings, the project or the
    // log then do nothing, even when input reaches them (a nested run would
    // take the pair handler's answers for its own rows).
    bool Busy() const;

    // ---- start-up and closing
    void FormCreate();
    void FormShow();
    void Timer1Timer();
    void FormCloseQuery(bool& canClose);
    void FormResize();
    void Init();

    // ---- wizard navigation
    void SetMbEnabled(int state) override;
    void MB_StartMouseDown();
    void MB_SourceMouseDown();
    void MB_TgtMouseDown();
    void MB_SETMouseDown();
    void MB_GoMouseDown();
    void P1B_NewMouseDown();
    void P1B_OpenMouseDown();
    void MB_OptMouseDown();
    void MB_HelpMouseDown();
    void Radio_ModeClick(TObject* sender);
    void PP_HelpClick();
    void PP_AboutClick();
    void PP_OptClick();

    // ---- lists
    void AddFiles(int side);
    void AddDirs(int side);
    void AddFiles2(std::vector<std::string>& paths, int side);
    int GetShellIcon(const std::string& path);
    void ClearSelList(int side);
    void ClearAllList(int side);
    void P2B_copylist1MouseDown();
    void ListClick(int side);
    void SetListViewStyle(bool icons);
    TListView& SideList(int side) { return side == 0 ? FListView_L : FListView_R; }
    // Handlers of the list pages' buttons, drops, clicks and menu items.
    void P1B_AddFileMouseDown() { AddFiles(0); }
    void P1B_AddDirMouseDown() { AddDirs(0); }
    void P1B_ClearSelMouseDown() { ClearSelList(0); }
    void P1B_ClearAllMouseDown() { ClearAllList(0); }
    void wn() { AddFiles(1); }  // P2B_AddFile
    void P2B_AddDirMouseDown() { AddDirs(1); }
    void P2B_ClearSelMouseDown() { ClearSelList(1); }
    void P2B_ClearAllMouseDown() { ClearAllList(1); }
    void DropDst_LFileDrop(const std::vector<std::string>& files);
    void DropDst_RFileDrop(const std::vector<std::string>& files);
    void FListView_LClick() { ListClick(0); }
    void FListView_RClick() { ListClick(1); }
    void PML_ListClick() { SetListViewStyle(false); }
    void PMR_ListClick() { SetListViewStyle(false); }
    void PML_IconClick() { SetListViewStyle(true); }
    void PMR_IconClick() { SetListViewStyle(true); }
    void PML_DelClick() { ClearSelList(0); }
    void PML_AllDelClick() { ClearAllList(0); }
    void PMR_DelClick() { ClearSelList(1); }
    void PMR_ALLDelClick() { ClearAllList(1); }

    // ---- settings page and setting sets
    void P3B_SanClick();
    void P3B_SaveMouseDown();
    void P3B_DelMouseDown();
    void List_Setting2DblClick();
    void LoadSettingNames();
    void LoadSetting(int n);

    // ---- settings file
    void LoadIni();
    void SaveIni();

    // ---- projects
    // False when the project could not be read (the error was shown and the
    // current project left as it was).
    bool LoadProject(const std::string& path);
    // False when the files could not be written (shown; still changed).
    bool SaveProject(const std::string& path);
    void PP_SaveAsPrjClick();
    void PP_SaveNewPrjClick();

    // ---- run page and log
    // The settings page's handling settings, read from its controls, and
    // set into them (each radio group limited to its items; a group that
    // changes to an item runs Radio_ModeClick).
    THandling PageHandling() const;
    void SetPageHandling(const THandling& handling);
    void P4B_StartMouseDown();
    void P4B_PauseMouseDown();
    void P4B_StopMouseDown();
    void Check_prevClick();
    void ListView_logChange(TItemChange change);
    void ListView_logDblClick();
    void p4b_LogClearMouseDown();
    void P4B_JyochyuMouseDown();
    void P4B_LogMouseDown();
    // Hands the whole log to the pair handler from row; false when nothing
    // was handed over.
    bool HandOverWholeLog(int startRow);

    // "Orvalis - " + the project's file name.
    std::string ProjectCaption() const;
    // The same with the progress-record suffix while the record has entries.
    std::string ProjectCaptionWithProgress() const;

    // ---- IRunView
    void SetLabelInfo(int index, const std::string& caption, const std::string& hint) override;
    void SetGaugeMax(std::int64_t max) override;
    void SetGaugePosition(std::int64_t position) override;
    void AppendLog(const std::string& line) override;
    void ProcessMessages() override;
    void SetWaitCursor(bool on) override;
    void OpenAnimation(const std::string& file, bool play) override;
    void StopAnimation() override;
    std::vector<std::string> ListEntries(int side) override;
    void ShowPreview(int side, const TBitmap* picture, const std::string& caption) override;
    void ClearPreviews() override;
    TPreviewBox PreviewBox() override;
    void SetCaption(const std::string& caption) override;

    // ---- IRunWindow
    void ShowMessage(const std::string& text) override;
    void SetWindowEnabled(bool enabled) override;
    void ClearErrorLog() override;
    void SetDoListCaption(const std::string& caption) override;
    void SetLabelColumns(bool three) override;
    void SetLogButtonsEnabled(bool enabled) override;
    void SetStopPauseEnabled(bool enabled) override;

private:
    void BuildLayout();
    void LayOutButtonBar();
    void LayOutStartPage();
    void LayOutFileListPages();
    void LayOutSettingsPage();
    void LayOutAutoHandlingGroup();
    void LayOutRunPage();
    void LayOutRunLogList();
    void SetUpTimerDialogsAndDrops();
    void BindHandlers();
    void LoadPictures();
    void SetClickSounds();
    void ApplyProject(TProjectData project, const std::vector<std::string>& progress);
    // The project as the window holds it, without the log rows.
    TProjectData CollectProject() const;
    void LogRowAdded(std::size_t index);
    void LogRowChanged(std::size_t index);
    void LogReset();
    // Admits the path or names it in a message box.
    bool AdmitPath(const std::string& path);
    // Names every refused path in one message box (none for an empty list).
    void ShowRefusedPaths(const std::vector<std::string>& refused);
    // A chosen folder with its delimiter, or "" for a cancel or no path.
    std::string BrowseFolder(TFolderDialog& dialog);

    std::unique_ptr<TRunEngine> engine_;
    std::unique_ptr<TRunDriver> driver_;
    std::unique_ptr<IPairHandOver> handOver_;
    std::unique_ptr<TForm_splash> splash_;
    std::unique_ptr<TWaitCursor> waitCursor_;
    // Data.IconKeys by key, for GetShellIcon.
    std::unordered_map<std::string, int> iconIndex_;
    // The gauge holds int; larger counts are scaled down by this.
    std::int64_t gaugeDivisor_ = 1;
    // When a run last had the window handle its messages.
    std::optional<std::chrono::steady_clock::time_point> runMessagesAt_;
    bool created_ = false;
    // What a run asked the window to show since it last handled its
    // messages: the labels, the gauge, the title and the previews follow once per slice
    // (and at the end of the run), however often the run changes them.
    struct TPendingPreview {
        std::unique_ptr<TBitmap> picture;  // none: the preview is cleared
        std::string caption;
    };
    struct TPendingView {
        std::optional<std::pair<std::string, std::string>> labels[3];  // caption, hint
        std::optional<std::int64_t> gauge;
        bool title = false;
        std::optional<TPendingPreview> previews[2];
    };
    TPendingView pending_;
    // The run turned the window off; it goes off once it handles messages.
    bool offHeld_ = false;
    void ApplyHeldOff();
    void ShowPending();
    void ShowLabelInfo(int index, const std::string& caption, const std::string& hint);
    // Takes over `picture` (none: the preview is cleared).
    void ShowPreviewNow(int side, TBitmap* picture, const std::string& caption);
    // The command-line timer fired while the splash was up; it runs once the
    // splash has closed.
    bool timerHeld_ = false;
};

// index limited to the group's items (-1 for none).
int ClampRadio(const TRadioGroup& group, int index);

// Exposes the last made main window (the one the program runs).
TOV_MainForm* OV_MainForm();

}  // namespace orv
