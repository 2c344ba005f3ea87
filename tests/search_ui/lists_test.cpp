// Adding to and removing from the source and target lists.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "search_ui/main_form_fixture.h"

namespace orv::test {
namespace {

constexpr const char* kProgressWarning =
    "比較進行記録があります。既に比較終了している比較元ファイルと新しく対象に追加されたリストは比較されませんので、"
    "注意してください";

std::vector<std::string> Captions(const TListView& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.Item(i)->Caption());
    return out;
}

TEST_F(MainFormTest, AddingKeepsTheListRules) {
    TOV_MainForm& f = Make();
    const std::string dir = Folder("pics");
    const std::string upper = WriteFile(fs::path(dir) / "A.JPG");
    const std::string lower = WriteFile(fs::path(dir) / "a.jpg");
    std::vector<std::string> paths{upper, lower, dir + "/b.jpeg", dir + "/c.psd", dir + "/d.gif", dir,
                                   dir + "/",  upper, (root_ / "gone").string()};
    f.AddFiles2(paths, 0);
    // Case decides identity; the folder gets its delimiter once, also in
    // the list that was handed in.
    EXPECT_EQ(Captions(f.FListView_L), (std::vector<std::string>{upper, lower, dir + "/"}));
    EXPECT_EQ(paths[5], dir + "/");
    EXPECT_EQ(f.Data.ProjectChanged, 1);
    EXPECT_TRUE(f.MB_Tgt.Enable());
    // Same extension, same picture; a folder keys on its whole path.
    EXPECT_EQ(f.FListView_L.Item(0)->ImageIndex(), f.FListView_L.Item(1)->ImageIndex());
    EXPECT_NE(f.FListView_L.Item(2)->ImageIndex(), f.FListView_L.Item(0)->ImageIndex());
    EXPECT_EQ(f.ImageList_L.Count(), f.ImageList_s.Count());
    EXPECT_EQ(static_cast<int>(f.Data.IconKeys.size()), f.ImageList_L.Count());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(MainFormTest, UnstorablePathsAreNamedAndTheRestIsAdded) {
    TOV_MainForm& f = Make();
    const std::string good = WriteFile(root_ / "ok.png");
    const std::string bad = WriteFile(root_ / "bad\x01name.png");
    const std::string notUtf8 = WriteFile(root_ / "bad\xFF.png");
    const std::string emoji = WriteFile(root_ / "森鷗外_josé_😀.png");
    std::vector<std::string> paths{bad, good, notUtf8, emoji};
    f.AddFiles2(paths, 1);
    EXPECT_EQ(Captions(f.FListView_R), (std::vector<std::string>{good, emoji}));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], (root_ / "bad\\x01name.pngは使用できない文字を含むため処理できません\n").string() +
                                 (root_ / "bad\\xFF.pngは使用できない文字を含むため処理できません").string());
}

TEST_F(MainFormTest, ProgressRecordWarningOnlyForAddedTargets) {
    TOV_MainForm& f = Make();
    const std::string a = WriteFile(root_ / "a.jpg"), b = WriteFile(root_ / "b.tif");
    f.Data.JyochyuList.Add(a);
    std::vector<std::string> paths{a, b};
    f.AddFiles2(paths, 0);
    EXPECT_TRUE(Messages().empty());
    f.P2B_copylist1MouseDown();
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Captions(f.FListView_R), (std::vector<std::string>{a, b}));

    std::vector<std::string> again{a, b};  // already there: nothing added, no warning
    f.AddFiles2(again, 1);
    EXPECT_TRUE(Messages().empty());
    const std::string c = WriteFile(root_ / "c.bmp"), d = WriteFile(root_ / "d.tga");
    std::vector<std::string> more{c, d};
    f.AddFiles2(more, 1);
    EXPECT_EQ(Messages(), std::vector<std::string>{kProgressWarning});
}

TEST_F(MainFormTest, ClearingMarksOnlyANonEmptyList) {
    TOV_MainForm& f = Make();
    f.ClearAllList(0);
    f.ClearSelList(1);
    EXPECT_EQ(f.Data.ProjectChanged, 0);
    f.FListView_L.Add("/a.jpg");
    f.FListView_L.Add("/b.jpg");
    f.FListView_L.Add("/c.jpg");
    f.ClearSelList(0);  // nothing selected: still marks the project
    EXPECT_EQ(f.Data.ProjectChanged, 1);
    EXPECT_EQ(f.FListView_L.Count(), 3);
    f.FListView_L.Item(0)->SetSelected(true);
    f.FListView_L.Item(2)->SetSelected(true);
    f.ClearSelList(0);
    EXPECT_EQ(Captions(f.FListView_L), std::vector<std::string>{"/b.jpg"});
    f.ClearAllList(0);
    EXPECT_EQ(f.FListView_L.Count(), 0);
    EXPECT_FALSE(f.MB_Tgt.Enable());
}

TEST_F(MainFormTest, DialogsFeedTheListsAndRememberTheirFolders) {
    TOV_MainForm& f = Make();
    const std::string dir = Folder("shots");
    const std::string a = WriteFile(fs::path(dir) / "a.png");
    dialogs_->AnswerOpen(std::vector<std::string>{a});
    f.AddFiles(0);
    EXPECT_EQ(f.Data.FileDlgDir[0], dir + "/");
    EXPECT_EQ(dialogs_->Calls().back().file.Title, "ファイル選択");
    EXPECT_TRUE(dialogs_->Calls().back().file.MultiSelect);

    dialogs_->AnswerFolder({true, dir});
    f.AddDirs(1);
    EXPECT_EQ(Captions(f.FListView_R), std::vector<std::string>{dir + "/"});
    EXPECT_EQ(f.Data.FolderDlgDir[1], dir);

    // A confirmation without a path is a cancel: nothing stored, no lone "/".
    dialogs_->AnswerFolder({true, ""});
    f.P3B_SanClick();
    EXPECT_EQ(f.LabeledEdit1.Text(), "");
    dialogs_->AnswerFolder({true, dir});
    f.Data.ProjectChanged = 0;
    f.P3B_SanClick();
    EXPECT_EQ(f.LabeledEdit1.Text(), dir + "/");
    EXPECT_EQ(f.Data.ProjectChanged, 1);
}

TEST_F(MainFormTest, DroppedFilesArriveThroughTheDropTarget) {
    TOV_MainForm& f = Make();
    f.Show();
    App().ProcessMessages();
    const std::string dir = Folder("dropped");
    const std::string pic = WriteFile(fs::path(dir) / "写真.png");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir)), QUrl::fromLocalFile(QString::fromStdString(pic))});
    QWidget* target = f.FListView_R.HandleWidget();
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(f.DropDst_R.HookedControl(), &f.FListView_R);
    EXPECT_EQ(f.DropDst_R.HookedHandle(), target);
    EXPECT_TRUE(target->acceptDrops());
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    EXPECT_EQ(Captions(f.FListView_R), (std::vector<std::string>{dir + "/", pic}));
    EXPECT_EQ(f.FListView_L.Count(), 0);
    f.Hide();
}

TEST_F(MainFormTest, ClickPreviewShowsTheLastSelectedPicture) {
    TOV_MainForm& f = Make();
    const std::string folder = Folder("f");
    f.FListView_L.Add(folder + "/");
    f.FListView_L.Add((app_ / "BMP" / "title.bmp").string());
    f.FListView_L.Item(0)->SetSelected(true);
    f.ListClick(0);
    TBitmap folderPicture;
    ASSERT_TRUE(LoadPictureToBitmap((app_ / "BMP" / "folder.bmp").string(), folderPicture));
    EXPECT_EQ(f.P1Prev.Picture().Width(), folderPicture.Width());
    f.FListView_L.Item(1)->SetSelected(true);
    f.ListClick(0);
    TBitmap title;
    ASSERT_TRUE(LoadPictureToBitmap((app_ / "BMP" / "title.bmp").string(), title));
    EXPECT_EQ(f.P1Prev.Picture().Width(), title.Width());
}

}  // namespace
}  // namespace orv::test
