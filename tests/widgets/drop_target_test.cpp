#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <memory>

#include "platform/base/errors.h"
#include "platform/ui/forms.h"
#include "platform/ui/list_view.h"
#include "platform/ui/scripted_dialogs.h"
#include "ui/qt_app.h"
#include "widgets/drop_target.h"
#include "widgets/folder_dialog.h"

namespace orv {
namespace {

struct Dropped {
    std::vector<std::string> files;
    int x = -1, y = -1, calls = 0;
};

class DropTargetTest : public ::testing::Test, test::WithApp {
protected:
    DropTargetTest() {
        previous_ = SetDialogService(dialogs_);
        list_.SetBounds(0, 0, 200, 150);
        drop_.OnFileDrop = [this](TObject* sender, const std::vector<std::string>& files, int x, int y) {
            EXPECT_EQ(sender, &drop_);
            got_.files = files;
            got_.x = x;
            got_.y = y;
            ++got_.calls;
        };
        drop_.SetControl(&list_);
        form_.Show();
    }
    ~DropTargetTest() override { SetDialogService(previous_); }

    // Sends a drop of the URLs to the list view's input widget; answers
    // the action the drop was finished with (IgnoreAction: refused).
    Qt::DropAction DropAs(const QList<QUrl>& urls, Qt::DropActions offered, Qt::KeyboardModifiers keys,
                          QPoint at = {12, 34}) {
        QMimeData mime;
        mime.setUrls(urls);
        QWidget* target = list_.HandleWidget();
        // As the desktop does: the drag enters, then drops.
        QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent event(QPointF(at), offered, &mime, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(target, &event);
        return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
    }
    bool Drop(const QList<QUrl>& urls, QPoint at = {12, 34}) {
        return DropAs(urls, Qt::CopyAction, Qt::NoModifier, at) != Qt::IgnoreAction;
    }

    std::shared_ptr<TScriptedDialogs> dialogs_ = std::make_shared<TScriptedDialogs>();
    std::shared_ptr<IDialogService> previous_;
    TForm form_;
    TListView list_{&form_, "FListView_L", &form_};
    TDropDst drop_{&form_, "DropDst_L"};
    Dropped got_;
};

TEST_F(DropTargetTest, DeliversLocalFilesInOrderWithThePoint) {
    EXPECT_EQ(drop_.HookedControl(), &list_);
    EXPECT_TRUE(list_.HandleWidget()->acceptDrops());
    const std::string longName = "/tmp/" + std::string(300, 'a') + "/b.jpg";  // beyond 260 characters
    EXPECT_TRUE(Drop({QUrl::fromLocalFile("/tmp/c.png"), QUrl("https://example.com/x.jpg"),
                      QUrl::fromLocalFile("/tmp/画像/a.JPG"), QUrl::fromLocalFile(QString::fromStdString(longName)),
                      QUrl::fromLocalFile("/tmp/100% 森鷗外.jpg"), QUrl::fromEncoded("file:///tmp/bad%FF.png")}));
    ASSERT_EQ(got_.calls, 1);
    // A name that is not UTF-8 arrives with its own bytes, not replaced.
    EXPECT_EQ(got_.files, (std::vector<std::string>{"/tmp/c.png", "/tmp/画像/a.JPG", longName, "/tmp/100% 森鷗外.jpg",
                                                    "/tmp/bad\xFF.png"}));
    EXPECT_EQ(got_.x, 12);
    EXPECT_EQ(got_.y, 34);
}

// The names are only read: a drag proposing a move (Shift) is answered
// copy, or link without copy; one that offers only a move is refused.
TEST_F(DropTargetTest, DropsAreNeverAnsweredAsAMove) {
    const QList<QUrl> file{QUrl::fromLocalFile("/tmp/a.jpg")};
    const Qt::DropActions all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    EXPECT_EQ(DropAs(file, all, Qt::ShiftModifier), Qt::CopyAction);
    EXPECT_EQ(DropAs(file, Qt::MoveAction | Qt::LinkAction, Qt::NoModifier), Qt::LinkAction);
    EXPECT_EQ(got_.calls, 2);
    EXPECT_EQ(DropAs(file, Qt::MoveAction, Qt::NoModifier), Qt::IgnoreAction);
    EXPECT_EQ(got_.calls, 2);
}

TEST_F(DropTargetTest, HandlerFailureIsShownAndTheDropFinished) {
    drop_.OnFileDrop = [](TObject*, const std::vector<std::string>&, int, int) { throw Exception("読めません"); };
    EXPECT_TRUE(Drop({QUrl::fromLocalFile("/tmp/a.jpg")}));
    EXPECT_EQ(dialogs_->Texts(TScriptedDialogs::Kind::Error), std::vector<std::string>{"読めません"});
    // The hook stays in place.
    EXPECT_EQ(drop_.HookedControl(), &list_);
}

TEST_F(DropTargetTest, NoHandlerJustFinishesTheDrop) {
    drop_.OnFileDrop = nullptr;
    EXPECT_TRUE(Drop({QUrl::fromLocalFile("/tmp/a.jpg")}));
}

TEST_F(DropTargetTest, FollowsTheListViewIntoItsReportView) {
    QWidget* before = list_.HandleWidget();
    list_.SetViewStyle(TViewStyle::vsReport);
    ASSERT_NE(list_.HandleWidget(), before);
    EXPECT_EQ(drop_.HookedHandle(), list_.HandleWidget());
    EXPECT_TRUE(list_.HandleWidget()->acceptDrops());
    EXPECT_TRUE(Drop({QUrl::fromLocalFile("/tmp/a.jpg")}, {3, 4}));
    EXPECT_EQ(got_.calls, 1);
    EXPECT_EQ(got_.x, 3);
}

TEST_F(DropTargetTest, AcceptDropSwitchesRegistration) {
    drop_.SetAcceptDrop(false);
    EXPECT_FALSE(list_.HandleWidget()->acceptDrops());
    drop_.SetAcceptDrop(true);
    EXPECT_TRUE(list_.HandleWidget()->acceptDrops());
}

TEST_F(DropTargetTest, DestroyingEitherSideFirstIsSafe) {
    {
        TDropDst other(&form_, "other");
        int calls = 0;
        other.OnFileDrop = [&](TObject*, const std::vector<std::string>&, int, int) { ++calls; };
        auto view = std::make_unique<TListView>(&form_, "FListView_R", &form_);
        other.SetControl(view.get());
        view.reset();  // the control goes first: the hook forgets it
        EXPECT_EQ(other.HookedControl(), nullptr);
        EXPECT_EQ(other.Control(), nullptr);
    }
    // The hook goes first: the list view gets its events back.
    auto hook = std::make_unique<TDropDst>(&form_, "gone");
    int calls = 0;
    hook->OnFileDrop = [&](TObject*, const std::vector<std::string>&, int, int) { ++calls; };
    drop_.SetControl(nullptr);
    hook->SetControl(&list_);
    hook.reset();
    Drop({QUrl::fromLocalFile("/tmp/a.jpg")});
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(got_.calls, 0);
}

TEST_F(DropTargetTest, FormTargetWithoutAFormRaises) {
    TControlHook hook;
    try {
        hook.SetTarget(THookTarget::htForm);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "フック先を特定できません。");
    }
    // On a control of a form, the form is hooked.
    TControlHook onForm(&form_, "hook");
    onForm.SetControl(&list_);
    onForm.SetTarget(THookTarget::htForm);
    EXPECT_EQ(onForm.HookedControl(), &form_);
}

TEST_F(DropTargetTest, FolderDialogAnswersThroughTheService) {
    TFolderDialog dialog(&form_, "FolderDialog1");
    EXPECT_EQ(dialog.Title, "フォルダ選択");
    dialog.Directory = "/tmp/start";
    dialogs_->AnswerFolder({true, "/home/user/写真"});
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.Directory, "/home/user/写真");
    const auto& call = dialogs_->Calls().back();
    EXPECT_EQ(call.kind, TScriptedDialogs::Kind::BrowseFolder);
    EXPECT_EQ(call.folder.Directory, "/tmp/start");
    EXPECT_EQ(call.folder.Root, "/");
    EXPECT_EQ(call.title, "フォルダ選択");

    // Confirmed without a file-system path, and cancelled: False, unchanged.
    dialogs_->AnswerFolder({true, ""});
    EXPECT_FALSE(dialog.Execute());
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.Directory, "/home/user/写真");
}

}  // namespace
}  // namespace orv
