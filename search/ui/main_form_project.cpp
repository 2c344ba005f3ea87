// The settings file, projects, the run page's buttons and the run log.
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/ui/application.h"
#include "search/engine/image_utils.h"
#include "search/engine/path_admission.h"
#include "search/engine/saved_log.h"
#include "search/engine/settings_file.h"
#include "search/ui/main_form.h"
#include "search/ui/program_globals.h"

namespace orv {
namespace {

constexpr const char* kOverwriteTitle = "上書き警告";
constexpr const char* kOverwriteText = "そのファイルは既に存在します。上書きしますか？";
constexpr const char* kProjectFilter = "Orvalis Project(*.OVP)|*.ovp";

struct TListMessages {
    const char* none;
    const char* some;
};
constexpr TListMessages kSourceMessages{
    "比較元リストのファイルまたはフォルダがひとつも存在しませんでした。存在しないファイルやフォルダはリストには追加"
    "されません。新しいリストを設定し直してください",
    "比較元リストのファイルまたはフォルダのいくつかが存在しませんでした。存在しないファイルやフォルダはリストには追加"
    "されません。"};
constexpr TListMessages kTargetMessages{
    "比較対象リストのファイルまたはフォルダがひとつも存在しませんでした。存在しないファイルやフォルダはリストには追加"
    "されません。新しいリストを設定し直してください",
    "比較対象リストのファイルまたはフォルダのいくつかが存在しませんでした。存在しないファイルやフォルダはリストには追加"
    "されません。"};

std::string IniPath() { return Globals().AppDir + kSettingsFileName; }

}  // namespace

// ---------------------------------------------------------------- settings file

void TOV_MainForm::LoadIni() {
    const TIniSettings s = LoadIniFile(IniPath(), Globals().AppDir);
    RestorePlacement(s.Left, s.Top, s.Width, s.Height);
    if (s.Max) SetWindowState(TWindowState::wsMaximized);
    Data.FileDlgDir = {s.FilesL, s.FilesR};
    Data.FolderDlgDir = {s.DirL, s.DirR};
    Data.PrjDir = s.Project;
    Data.LogDir = s.Log;
    Data.MoveDir = s.MoveDir;
    Data.WorkDir = s.WorkDir;
    Data.Preview = s.Preview ? 1 : 0;
    Check_prev.SetChecked(s.Preview);
    Data.NoTmpDel = s.NoTmpDel ? 1 : 0;
    Data.Chach = s.Chach;
    Data.Par = s.Par;
    Data.DoFindSound = s.DoFindSound ? 1 : 0;
    Data.DoEndSound = s.DoEndSound ? 1 : 0;
    Data.FindSound = s.FindSound;
    Data.EndSound = s.EndSound;
    for (int i = 0; i < 10; ++i) ListView_log.SetColumnWidth(i, s.ListWidths[static_cast<std::size_t>(i)]);
    SetListViewStyle(s.ListIcon);
}

void TOV_MainForm::SaveIni() {
    TIniSettings s;
    const bool maximized = WindowState() == TWindowState::wsMaximized;
    s.Left = Left();
    s.Top = Top();
    s.Width = Width();
    s.Height = Height();
    s.FilesL = Data.FileDlgDir[0];
    s.FilesR = Data.FileDlgDir[1];
    s.DirL = Data.FolderDlgDir[0];
    s.DirR = Data.FolderDlgDir[1];
    s.Project = Data.PrjDir;
    s.Log = Data.LogDir;
    s.WorkDir = Data.WorkDir;
    s.MoveDir = Data.MoveDir;
    s.Preview = Data.Preview != 0;
    s.NoTmpDel = Data.NoTmpDel != 0;
    s.Chach = Data.Chach;
    s.Par = Data.Par;
    s.DoFindSound = Data.DoFindSound != 0;
    s.DoEndSound = Data.DoEndSound != 0;
    s.FindSound = Data.FindSound;
    s.EndSound = Data.EndSound;
    for (int i = 0; i < 10; ++i) s.ListWidths[static_cast<std::size_t>(i)] = ListView_log.ColumnWidth(i);
    s.ListIcon = FListView_L.ViewStyle() == TViewStyle::vsIcon;
    SaveIniFile(IniPath(), s, maximized);
}

// ---------------------------------------------------------------- projects

TProjectData TOV_MainForm::CollectProject() const {
    TProjectData p;
    for (int i = 0; i < FListView_L.Count(); ++i) p.Sources.push_back(FListView_L.ItemCaption(i));
    for (int i = 0; i < FListView_R.Count(); ++i) p.Targets.push_back(FListView_R.ItemCaption(i));
    p.Handling = PageHandling();
    // The log is written from RunLog itself (SaveProject), not copied here.
    return p;
}

bool TOV_MainForm::SaveProject(const std::string& path) {
    std::vector<std::string> progress;
    progress.reserve(Data.JyochyuList.Count());
    for (const auto& entry : Data.JyochyuList) progress.push_back(entry.Path);
    try {
        TWaitCursor cursor;
        SaveProjectFiles(path, CollectProject(), progress, &RunLog.Rows());
    } catch (...) {
        // Nothing was replaced; the project stays marked as changed.
        if (Application()) Application()->HandleException(this, std::current_exception());
        else Dialogs().ShowError(ExceptionMessage(std::current_exception()));
        return false;
    }
    Data.ProjectChanged = 0;
    return true;
}

bool TOV_MainForm::LoadProject(const std::string& path) {
    // The whole project and its progress list are read and checked before
    // anything of the current project changes.
    TProjectData project;
    std::vector<std::string> progress;
    try {
        TWaitCursor cursor;
        project = ReadProjectFile(path);
        const std::string progressPath = ProgressListPath(path);
        if (FileExists(progressPath)) progress = ReadProgressList(progressPath);
    } catch (...) {
        if (Application()) Application()->HandleException(this, std::current_exception());
        else Dialogs().ShowError(ExceptionMessage(std::current_exception()));
        return false;
    }
    Init();
    ApplyProject(std::move(project), progress);
    Data.PrjFileName = path;
    return true;
}

void TOV_MainForm::ApplyProject(TProjectData project, const std::vector<std::string>& progress) {
    Data.ProjectChanged = 0;
    ShowRefusedPaths(project.Refused);
    auto fill = [this](TListView& list, const std::vector<std::string>& entries, const TListMessages& messages) {
        list.Clear();
        std::size_t kept = 0;
        list.BeginUpdate();
        for (const std::string& stored : entries) {
            // What the path is now decides, not its spelling: a folder
            // stored without its delimiter is still a folder entry.
            std::string entry = stored;
            if (IsDirectory(entry)) entry = IncludeTrailingPathDelimiter(entry);
            else if (!FileExists(entry)) continue;
            list.Append(entry, GetShellIcon(entry));
            ++kept;
        }
        list.EndUpdate();
        if (kept == 0) ShowMessage(messages.none);
        else if (kept < entries.size()) ShowMessage(messages.some);
    };
    fill(FListView_L, project.Sources, kSourceMessages);
    fill(FListView_R, project.Targets, kTargetMessages);
    SetPageHandling(project.Handling);
    RunLog.Assign(std::move(project.LogRows));
    Data.ProjectChanged = 0;
    P4B_Log.SetEnable(ListView_log.Count() > 0);
    p4b_LogClear.SetEnable(P4B_Log.Enable());
    Data.JyochyuList.Clear();
    for (const std::string& entry : progress) Data.JyochyuList.Add(entry);
}

void TOV_MainForm::PP_SaveAsPrjClick() {
    if (Busy()) return;
    if (Data.PrjFileName == kNewProjectName) PP_SaveNewPrjClick();
    else SaveProject(Data.PrjFileName);
}

void TOV_MainForm::PP_SaveNewPrjClick() {
    if (Busy()) return;
    SaveDialog1.Title = "プロジェクトの保存";
    SaveDialog1.Filter = kProjectFilter;
    SaveDialog1.DefaultExt = "ovp";
    SaveDialog1.InitialDir = Data.PrjDir;
    SaveDialog1.FileName = Data.PrjFileName;
    if (!SaveDialog1.Execute()) return;
    const std::string path = SaveDialog1.FileName;
    if (!AdmitPath(path)) return;
    if (PathExists(path) && !Dialogs().AskYesNoTitled(kOverwriteTitle, kOverwriteText)) return;
    if (!SaveProject(path)) return;
    Data.PrjFileName = path;
    Data.PrjDir = ExtractFilePath(path);
    SetCaption(ProjectCaptionWithProgress());
}

// ---------------------------------------------------------------- run page

THandling TOV_MainForm::PageHandling() const {
    THandling h;
    h.SizeMode = ChoiceOf<TSizeMode>(Radio_Mode.ItemIndex());
    h.SyoriMode = ChoiceOf<TSyoriMode>(Radio_Syori.ItemIndex());
    h.SelTgt = ChoiceOf<TSelTgt>(Radio_Seltgt.ItemIndex());
    h.DoAction = ChoiceOf<TPairAction>(Radio_Do.ItemIndex());
    h.NearMode = ChoiceOf<TNearMode>(Radio_Near.ItemIndex());
    h.SubFolder = Check_subFolder.Checked();
    h.OneEnd = Check_OneEnd.Checked();
    h.TgtDir = LabeledEdit1.Text();
    return h;
}

void TOV_MainForm::SetPageHandling(const THandling& h) {
    // The check boxes run no handler; a group that changes to an item runs
    // Radio_ModeClick, which still sees the earlier move folder.
    Check_subFolder.SetChecked(h.SubFolder);
    Check_OneEnd.SetChecked(h.OneEnd);
    Radio_Mode.SetItemIndex(ClampRadio(Radio_Mode, ItemOf(h.SizeMode)));
    Radio_Syori.SetItemIndex(ClampRadio(Radio_Syori, ItemOf(h.SyoriMode)));
    Radio_Seltgt.SetItemIndex(ClampRadio(Radio_Seltgt, ItemOf(h.SelTgt)));
    Radio_Do.SetItemIndex(ClampRadio(Radio_Do, ItemOf(h.DoAction)));
    Radio_Near.SetItemIndex(ClampRadio(Radio_Near, ItemOf(h.NearMode)));
    LabeledEdit1.SetText(h.TgtDir);
}

void TOV_MainForm::P4B_StartMouseDown() {
    if (!Busy()) driver_->P4B_StartMouseDown({PageHandling(), Check_prev.Checked()});
}

void TOV_MainForm::P4B_PauseMouseDown() { driver_->P4B_PauseMouseDown(); }

void TOV_MainForm::P4B_StopMouseDown() { driver_->P4B_StopMouseDown(); }

void TOV_MainForm::Check_prevClick() { driver_->Check_prevClick(Check_prev.Checked()); }

// ---------------------------------------------------------------- run log

// The log page shows RunLog's rows as they are (the list view holds none of
// their texts); every change costs the view one row or one reset.
void TOV_MainForm::LogRowAdded(std::size_t) {
    ListView_log.SetItemCount(static_cast<int>(RunLog.Count()));
    ListView_logChange(TItemChange::ctText);
}

void TOV_MainForm::LogRowChanged(std::size_t index) {
    ListView_log.UpdateItems(static_cast<int>(index), static_cast<int>(index));
    ListView_logChange(TItemChange::ctText);
}

void TOV_MainForm::LogReset() {
    ListView_log.ResetItems(static_cast<int>(RunLog.Count()));
    ListView_logChange(TItemChange::ctText);
}

void TOV_MainForm::ListView_logChange(TItemChange change) {
    if (change == TItemChange::ctState) return;
    const int rows = ListView_log.Count();
    Pan_DoList.SetCaption("全 " + std::to_string(rows) + " 結果");
    // A button repaints whenever it is set: during a run this runs for
    // every match, so only a change of state reaches the buttons.
    const bool logOn = Data.Running != 1 && rows > 0;
    if (P4B_Log.Enable() != logOn) P4B_Log.SetEnable(logOn);
    if (rows > 0) Data.ProjectChanged = 1;
    if (p4b_LogClear.Enable() != logOn) p4b_LogClear.SetEnable(logOn);
}

void TOV_MainForm::ListView_logDblClick() {
    const int selected = ListView_log.ItemIndex();
    if (selected < 0 || Busy()) return;
    (void)HandOverWholeLog(selected);
}

bool TOV_MainForm::HandOverWholeLog(int startRow) {
    if (!handOver_ || startRow < 0 || Busy()) return false;
    return handOver_->HandOverLog(static_cast<std::size_t>(startRow));
}

void TOV_MainForm::p4b_LogClearMouseDown() {
    if (Busy()) return;
    if (ListView_log.Count() > 0) Data.ProjectChanged = 1;
    RunLog.Clear();
    Pan_DoList.SetCaption("全 0 結果");
    P4B_Log.SetEnable(false);
    p4b_LogClear.SetEnable(false);
}

void TOV_MainForm::P4B_JyochyuMouseDown() {
    if (Busy()) return;
    if (!Dialogs().AskYesNo("比較進行記録をクリアします。よろしいですか？")) return;
    P4B_Jyochyu.SetEnable(false);
    if (!Data.JyochyuList.Empty()) Data.ProjectChanged = 1;
    Data.JyochyuList.Clear();
    ShowMessage("比較進行記録をクリアしました");
    SetCaption(ProjectCaption());
}

void TOV_MainForm::P4B_LogMouseDown() {
    if (Busy()) return;
    SaveDialog2.Title = "ログの保存";
    SaveDialog2.Filter = "テキストファイル(*TXT)|*.TXT";
    SaveDialog2.DefaultExt = "txt";
    SaveDialog2.InitialDir = Data.LogDir;
    if (!SaveDialog2.Execute()) return;
    const std::string path = SaveDialog2.FileName;
    if (PathExists(path) && !Dialogs().AskYesNoTitled(kOverwriteTitle, kOverwriteText)) return;
    TWaitCursor cursor;
    SaveLogFile(path, RunLog.Rows());
}

}  // namespace orv
