// What the desktop shows of the platform layer: Qt's own texts in Japanese,
// message boxes over their window, and window placement that neither grows
// nor leaves the screen.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <climits>
#include <clocale>
#include <functional>
#include <memory>
#include <locale.h>

#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "qt_app.h"

namespace orv {
namespace {

struct BoxSeen {
    bool shown = false;
    QWidget* parent = nullptr;
    QStringList buttons;
};

// Runs open, answers the message box it shows and tells what the box was.
BoxSeen AnswerBox(const std::function<void()>& open) {
    BoxSeen seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll.stop();
        seen.shown = true;
        seen.parent = box->parentWidget();
        for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
        box->done(0);
    });
    poll.start(10);
    open();
    return seen;
}

TEST(DesktopTest, BoxesSpeakJapaneseAndOpenOverTheirWindow) {
    test::App();
    auto previous = SetDialogService(nullptr);  // the real boxes
    TForm main;
    Application()->SetMainForm(&main);
    main.SetBounds(10, 10, 400, 300);
    main.Show();
    TForm other;
    other.Show();
    other.Widget()->activateWindow();
    test::App().ProcessMessages();

    QWidget* active = QApplication::activeWindow();
    BoxSeen seen = AnswerBox([] { Dialogs().AskYesNo("よろしいですか？"); });
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.parent, active ? active : main.Widget());
    ASSERT_EQ(seen.buttons.size(), 2);
    EXPECT_TRUE(seen.buttons.join(' ').contains(QString::fromUtf8("はい"))) << seen.buttons.join(' ').toStdString();
    EXPECT_TRUE(seen.buttons.join(' ').contains(QString::fromUtf8("いいえ")));
    QLineEdit edit;
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    EXPECT_TRUE(menu->actions().first()->text().contains(QString::fromUtf8("元に戻す")))
        << menu->actions().first()->text().toStdString();

    // No window active (as right after another box closed): the main window.
    other.Hide();
    test::App().ProcessMessages();
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    seen = AnswerBox([] { Dialogs().ShowMessage("クリアしました"); });
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.parent, main.Widget());
    Application()->SetMainForm(nullptr);
    main.Close();
    SetDialogService(previous);

    // The C library's texts follow, where it has a Japanese locale.
    if (locale_t ja = newlocale(LC_MESSAGES_MASK, "ja_JP.UTF-8", static_cast<locale_t>(nullptr))) {
        freelocale(ja);
        EXPECT_EQ(std::string(std::setlocale(LC_MESSAGES, nullptr)).rfind("ja_JP", 0), 0u);
    }
}

TEST(DesktopTest, ADialogWithoutAPositionOpensOverItsWindow) {
    test::App();
    TForm opener;
    Application()->SetMainForm(&opener);
    opener.SetBounds(100, 50, 500, 400);
    opener.Show();
    opener.Widget()->activateWindow();
    test::App().ProcessMessages();
    TForm dialog, centred;
    for (TForm* f : {&dialog, &centred}) f->SetClientSize(200, 150);
    centred.CenterOnScreen();
    std::vector<QPoint> seen;
    for (TForm* f : {&dialog, &centred}) {
        QTimer::singleShot(0, [&seen, f] {
            seen.emplace_back(f->Left(), f->Top());
            f->SetModalResult(mrOk);
        });
        f->ShowModal();
    }
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], QPoint(100 + (500 - 200) / 2, 50 + (400 - 150) / 2));
    EXPECT_EQ(seen[1], QPoint(area.x() + (area.width() - 200) / 2, area.y() + (area.height() - 150) / 2));
    Application()->SetMainForm(nullptr);
}

TEST(DesktopTest, FileDialogsNameFoldersInJapanese) {
    ASSERT_TRUE(test::App().LoadOwnTexts(ORV_APPDIR_BUILT));
    QFileIconProvider icons;
    EXPECT_EQ(icons.type(QFileInfo(QDir::tempPath())).toStdString(), "フォルダ");
}

TEST(DesktopTest, StoredPlacementIsFittedToTheScreen) {
    test::App();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    TForm form;
    form.RestorePlacement(area.left() + 10, area.top() + 20, 300, 200);  // fits: kept
    EXPECT_EQ(std::vector<int>({form.Left(), form.Top(), form.Width(), form.Height()}),
              std::vector<int>({area.left() + 10, area.top() + 20, 300, 200}));
    form.RestorePlacement(-50000, 20, INT_MAX, INT_MAX);  // no larger than the screen
    EXPECT_EQ(std::vector<int>({form.Left(), form.Top(), form.Width(), form.Height()}),
              std::vector<int>({area.left(), area.top(), area.width(), area.height()}));
    form.RestorePlacement(area.right() - 50, area.bottom() + 500, 300, 200);  // moved back onto it
    EXPECT_EQ(form.Left(), area.right() + 1 - 300);
    EXPECT_EQ(form.Top(), area.bottom() + 1 - 200);
}

// Run by ctest on a private display with a real window manager (see
// wm_session.sh): the frame is known only after the window is mapped.
TEST(DesktopWindowManager, PlacementRoundTripsUnchanged) {
    test::App();
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs a window manager";
    int left = 40, top = 30, width = 900, height = 675;
    for (int run = 0; run < 4; ++run) {
        TForm form;
        form.SetMinSize(900, 675);  // as large as the placement, like the main window's
        form.RestorePlacement(left, top, width, height);
        form.Show();
        QElapsedTimer clock;
        clock.start();
        while (form.FrameExtraHeight() == 0 && clock.elapsed() < 5000) test::App().ProcessMessages();
        ASSERT_GT(form.FrameExtraHeight(), 0) << "no frame from the window manager";
        SleepProcessing(300);  // the resize that gives the frame its room
        EXPECT_EQ(std::vector<int>({form.Left(), form.Top(), form.Width(), form.Height()}),
                  std::vector<int>({40, 30, 900, 675}))
            << "run " << run;
        left = form.Left(), top = form.Top(), width = form.Width(), height = form.Height();
        form.Close();
    }
}

}  // namespace
}  // namespace orv
