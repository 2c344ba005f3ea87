// The source and target lists, the settings page and the setting sets.
#include <QApplication>
#include <QStyle>
#include <algorithm>

#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/ui/application.h"
#include "platform/ui/shell.h"
#include "search/engine/image_utils.h"
#include "search/engine/path_admission.h"
#include "search/engine/setting_sets.h"
#include "search/ui/main_form.h"
#include "search/ui/program_globals.h"
#include "search/ui/small_forms.h"

namespace orv {
namespace {

constexpr const char* kProgressWarning =
    "比較進行記録があります。既に比較終了している比較元ファイルと新しく対象に追加されたリストは比較されませんので、"
    "注意してください";

// The desktop's icon for the path, or a generic one, so both image lists
// always grow together.
QPixmap IconOrGeneric(const std::string& path, int size, bool folder) {
    QPixmap pixmap = FileTypePixmap(path, size);
    if (!pixmap.isNull()) return pixmap;
    if (QApplication::style())
        pixmap = QApplication::style()
                     ->standardIcon(folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon)
                     .pixmap(size, size);
    if (pixmap.isNull()) {
        pixmap = QPixmap(size, size);
        pixmap.fill(QColor(200, 200, 200));
    }
    return pixmap;
}

}  // namespace

int ClampRadio(const TRadioGroup& group, int index) {
    const int count = static_cast<int>(group.Items().size());
    if (index < -1) return -1;
    if (index >= count) return count - 1;
    return index;
}

bool TOV_MainForm::AdmitPath(const std::string& path) {
    if (IsStorablePath(path)) return true;
    ShowMessage(UnusablePathMessage(path));
    return false;
}

void TOV_MainForm::ShowRefusedPaths(const std::vector<std::string>& refused) {
    // One box for all of them: a damaged project can hold thousands.
    if (refused.empty()) return;
    std::string text;
    for (const std::string& path : refused) text += (text.empty() ? "" : "\n") + UnusablePathMessage(path);
    ShowMessage(text);
}

std::string TOV_MainForm::BrowseFolder(TFolderDialog& dialog) {
    // A confirmed place without a file-system path counts as a cancel.
    if (!dialog.Execute() || dialog.Directory.empty()) return {};
    if (!AdmitPath(dialog.Directory)) return {};
    return dialog.Directory;
}

// ---------------------------------------------------------------- adding

void TOV_MainForm::AddFiles(int side) {
    if (Busy()) return;
    const std::size_t s = side == 0 ? 0 : 1;
    if (!Data.FileDlgDir[s].empty()) OpenDialog1.InitialDir = Data.FileDlgDir[s];
    OpenDialog1.Title = "ファイル選択";
    OpenDialog1.MultiSelect = true;
    if (!OpenDialog1.Execute()) return;
    if (OpenDialog1.Files.empty()) return;
    std::vector<std::string> names = OpenDialog1.Files;
    const std::string firstFolder = ExtractFilePath(OpenDialog1.Files.front());
    AddFiles2(names, side);
    if (IsStorablePath(firstFolder)) Data.FileDlgDir[s] = firstFolder;
    SetMbEnabled(2);
}

void TOV_MainForm::AddDirs(int side) {
    if (Busy()) return;
    const std::size_t s = side == 0 ? 0 : 1;
    if (!Data.FolderDlgDir[s].empty()) FolderDialog1.Directory = Data.FolderDlgDir[s];
    FolderDialog1.Title = "フォルダ選択";
    const std::string chosen = BrowseFolder(FolderDialog1);
    if (chosen.empty()) return;
    std::vector<std::string> paths{chosen};
    AddFiles2(paths, side);
    Data.FolderDlgDir[s] = chosen;
    SetMbEnabled(2);
}

void TOV_MainForm::AddFiles2(std::vector<std::string>& paths, int side) {
    if (Busy()) return;
    Data.ProjectChanged = 1;
    bool warn = false;
    std::vector<std::string> refused;
    TListView& list = SideList(side);
    {
        TWaitCursor cursor;
        list.BeginUpdate();
        try {
            for (std::string& path : paths) {
                const bool folder = IsDirectory(path);
                if (!engine_->CheckTaiouFileType(path) && !folder) continue;
                if (folder && (path.empty() || path.back() != PathDelim)) path += PathDelim;
                if (!IsStorablePath(path)) {
                    refused.push_back(path);
                    continue;
                }
                if (list.IndexOfCaption(path) >= 0) continue;
                list.Append(path, GetShellIcon(path));
                if (side == 1 && !Data.JyochyuList.Empty()) warn = true;
            }
        } catch (...) {
            list.EndUpdate();
            throw;
        }
        list.EndUpdate();
    }
    ShowRefusedPaths(refused);
    if (warn) ShowMessage(kProgressWarning);
    SetMbEnabled(2);
}

void TOV_MainForm::DropDst_LFileDrop(const std::vector<std::string>& files) {
    std::vector<std::string> paths = files;
    AddFiles2(paths, 0);
}

void TOV_MainForm::DropDst_RFileDrop(const std::vector<std::string>& files) {
    std::vector<std::string> paths = files;
    AddFiles2(paths, 1);
}

int TOV_MainForm::GetShellIcon(const std::string& path) {
    std::string key = LowerAscii(ExtractFileExt(path));
    if (key.empty()) key = LowerAscii(path);
    // Every folder has a key of its own: a lookup, not a scan of them all.
    if (iconIndex_.size() != Data.IconKeys.size()) {
        iconIndex_.clear();
        for (std::size_t i = 0; i < Data.IconKeys.size(); ++i) iconIndex_.emplace(Data.IconKeys[i], static_cast<int>(i));
    }
    if (const auto found = iconIndex_.find(key); found != iconIndex_.end()) return found->second;
    const bool folder = !path.empty() && path.back() == PathDelim;
    // Both pictures are made before either list grows, so the two image
    // lists and the key cache always stay in step.
    const QPixmap large = IconOrGeneric(path, 32, folder);
    const QPixmap small = IconOrGeneric(path, 16, folder);
    const int index = ImageList_L.AddImage(large);
    ImageList_s.AddImage(small);
    Data.IconKeys.resize(static_cast<std::size_t>(index) + 1);
    Data.IconKeys[static_cast<std::size_t>(index)] = key;
    iconIndex_.emplace(key, index);
    return index;
}

void TOV_MainForm::P2B_copylist1MouseDown() {
    if (Busy()) return;
    FListView_R.BeginUpdate();
    for (int i = 0; i < FListView_L.Count(); ++i) {
        const std::string caption = FListView_L.ItemCaption(i);
        if (FListView_R.IndexOfCaption(caption) >= 0) continue;
        FListView_R.Append(caption, FListView_L.ItemImageIndex(i));
        Data.ProjectChanged = 1;
    }
    FListView_R.EndUpdate();
    SetMbEnabled(2);
}

void TOV_MainForm::ClearSelList(int side) {
    if (Busy()) return;
    TListView& list = SideList(side);
    if (list.Count() > 0) Data.ProjectChanged = 1;
    list.DeleteSelected();
    SetMbEnabled(2);
}

void TOV_MainForm::ClearAllList(int side) {
    if (Busy()) return;
    TListView& list = SideList(side);
    if (list.Count() > 0) Data.ProjectChanged = 1;
    list.Clear();
    SetMbEnabled(2);
}

void TOV_MainForm::ListClick(int side) {
    TListView& list = SideList(side);
    int selected = -1;
    for (int i = list.Count() - 1; i >= 0 && selected < 0; --i)
        if (list.ItemSelected(i)) selected = i;
    if (selected < 0) return;
    const std::string path = list.ItemCaption(selected);
    const std::string file = IsDirectory(path) ? Globals().BmpDir + "folder.bmp" : path;
    TBitmap picture;
    if (!LoadPictureToBitmap(file, picture)) return;
    (side == 0 ? P1Prev : P2Prev).SetPicture(picture);
}

void TOV_MainForm::SetListViewStyle(bool icons) {
    const TViewStyle style = icons ? TViewStyle::vsIcon : TViewStyle::vsReport;
    FListView_L.SetViewStyle(style);
    FListView_R.SetViewStyle(style);
    // The views' input widgets may have been replaced: hook them again.
    DropDst_L.Loaded();
    DropDst_R.Loaded();
    (icons ? PML_Icon : PML_List).SetChecked(true);
    (icons ? PMR_Icon : PMR_List).SetChecked(true);
}

// ---------------------------------------------------------------- settings page

void TOV_MainForm::P3B_SanClick() {
    if (Busy()) return;
    const std::string chosen = BrowseFolder(FolderDialog1);
    if (chosen.empty()) return;
    LabeledEdit1.SetText(IncludeTrailingPathDelimiter(chosen));
    SetMbEnabled(2);
    Data.ProjectChanged = 1;
}

void TOV_MainForm::P3B_SaveMouseDown() {
    if (Busy()) return;
    std::string name;
    if (SettingNamePrompt) {
        const auto answer = SettingNamePrompt();
        if (!answer) return;
        name = *answer;
    } else {
        TForm_settings dialog;
        if (dialog.ShowModal() != mrOk) return;
        name = dialog.LabeledEdit1.Text();
    }
    StoreSettingSet(Globals().AppDir, TSettingSet{PageHandling(), name},
                    [](int) { return Dialogs().AskYesNo("同名の設定があります、上書きしますか？"); });
    LoadSettingNames();
}

void TOV_MainForm::P3B_DelMouseDown() {
    if (Busy()) return;
    const TListItem* selected = List_Setting2.Selected();
    if (selected) (void)DeleteSettingSet(Globals().AppDir, selected->Index(), List_Setting2.Count());
    LoadSettingNames();
}

void TOV_MainForm::List_Setting2DblClick() {
    if (Busy()) return;
    const TListItem* selected = List_Setting2.Selected();
    if (selected) LoadSetting(selected->Index());
}

void TOV_MainForm::LoadSettingNames() {
    List_Setting2.BeginUpdate();
    List_Setting2.Clear();
    for (const std::string& name : orv::LoadSettingNames(Globals().AppDir)) List_Setting2.Add(name, 0);
    List_Setting2.EndUpdate();
}

void TOV_MainForm::LoadSetting(int n) {
    // A set that does not read is named in a message; the page stays as it is.
    TSettingSet set;
    try {
        set = LoadSettingSet(Globals().AppDir, n);
    } catch (...) {
        if (Application()) Application()->HandleException(this, std::current_exception());
        else Dialogs().ShowError(ExceptionMessage(std::current_exception()));
        return;
    }
    SetPageHandling(set);
}

}  // namespace orv
