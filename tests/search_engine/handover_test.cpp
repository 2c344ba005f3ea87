#include "search/engine/handover.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine_test_util.h"
#include "platform/base/codec.h"
#include "platform/base/datetime.h"
#include "platform/base/ini_file.h"
#include "platform/base/paths.h"
#include "platform/base/process.h"
#include "platform/graphics/picture.h"
#include "search/engine/run_driver.h"
#include "search/engine/run_engine.h"
#include "tests/support/scoped_env.h"
#include "tests/support/stored_text.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

using test::ReadAll;
using test::WriteAll;

TSTitems Item(std::int64_t size, TDateTime date, int width, int height) {
    TSTitems item;
    item.FileSize = size;
    item.FileDate = date;
    item.Width = width;
    item.Height = height;
    return item;
}

TEST(HandOverChoice, EveryChoiceWithTiesAndTheTieRule) {
    const TSTitems small = Item(100, 10.0, 100, 100);  // sum 200, older
    const TSTitems big = Item(200, 20.0, 200, 50);     // sum 250, newer
    using S = TAutoSide;
    struct Row {
        int sel;
        S sourceSmall;  // source = small, target = big
    };
    for (const Row& r : {Row{0, S::Source}, Row{1, S::Target}, Row{2, S::Target}, Row{3, S::Source},
                         Row{4, S::Source}, Row{5, S::Target}, Row{6, S::Target}, Row{7, S::Source}}) {
        SCOPED_TRACE(r.sel);
        EXPECT_EQ(ChooseAutoSide(small, big, ChoiceOf<TSelTgt>(r.sel), TNearMode::Source), r.sourceSmall);
        // Swapping the files swaps the answer for choices 2 to 7.
        const S swapped = r.sel < 2 ? r.sourceSmall : (r.sourceSmall == S::Source ? S::Target : S::Source);
        EXPECT_EQ(ChooseAutoSide(big, small, ChoiceOf<TSelTgt>(r.sel), TNearMode::Target), swapped);
    }
    // Ties under 2 to 7 follow the tie rule; a sum tie with other sizes too.
    const TSTitems same = Item(100, 10.0, 150, 50);
    for (int sel = 2; sel <= 7; ++sel) {
        const TSTitems& other = sel >= 6 ? same : small;
        EXPECT_EQ(ChooseAutoSide(small, other, ChoiceOf<TSelTgt>(sel), TNearMode::Source), S::Source) << sel;
        EXPECT_EQ(ChooseAutoSide(small, other, ChoiceOf<TSelTgt>(sel), TNearMode::Target), S::Target) << sel;
    }
    EXPECT_EQ(ChooseAutoSide(small, big, TSelTgt::None, TNearMode::Source), S::None);
    EXPECT_EQ(ChooseAutoSide(small, big, ChoiceOf<TSelTgt>(8), TNearMode::Source), S::None);
}

TEST(HandOverFiles, ExactTextOfTheThreeModes) {
    test::TempDir dir;
    const std::string path = dir.path() + kDoFilesName;
    WriteAll(path, "stale");
    const TFileStamp stamp{true, 2049, 1311, 52311, 1700000000000000000, 1700000000123456789};
    WriteDoFilesAuto(path, TPairAction::Move, "/写真/移動先/", " /a b/edge.jpg", TPairSide::Target, stamp, "00ff");
    EXPECT_EQ(ReadAll(path), Utf8ToCp932("[Doing]\r\nNo=0\r\nSyori=2\r\nTgt Dir=/写真/移動先/\r\n"
                                         "File=\" /a b/edge.jpg\"\r\nTarget=1\r\n"
                                         "Stamp=2049,1311,52311,1700000000000000000,1700000000123456789\r\n"
                                         "Request=00ff\r\n"));
    EXPECT_EQ(TIniFile(path).ReadString("Doing", "File", ""), " /a b/edge.jpg");

    TFileList list;
    list.Add("/p/s.jpg", std::make_shared<TSTitems>(Item(1234567, EncodeDate(2024, 5, 6) + EncodeTime(7, 8, 9), 640, 480)));
    list.Add("/p/t.jpg", std::make_shared<TSTitems>(Item(0, EncodeDate(2023, 1, 2), 1, 2)));
    WriteDoFilesPair(path, list[0], list[1], "");
    EXPECT_EQ(ReadAll(path),
              "[Doing]\r\nNo=1\r\nFile L=/p/s.jpg\r\nData L=2024/05/06 7:08:09\r\nSize L=\" 1,234,567\"\r\n"
              "Width L=640\r\nHeight L=480\r\nFile R=/p/t.jpg\r\nData R=2023/01/02\r\nSize R=\" 0\"\r\n"
              "Width R=1\r\nHeight R=2\r\n");
    EXPECT_EQ(TIniFile(path).ReadString("Doing", "Size L", ""), " 1,234,567");

    WriteDoFilesList(path, 7, "");
    EXPECT_EQ(ReadAll(path), "[Doing]\r\nNo=2\r\nLoad No=7\r\n");
}

TEST(HandOverFiles, LogFileBytes) {
    TLogRow a{"/s/あ.jpg", " 1", "2024/01/02", "3", "4", "/t/b.jpg", " 5", "d", "6", "7", ""};
    TLogRow b = a;
    b[kLogResult] = "比較元のファイルを移動";
    const std::string bytes = EncodeDoFiles2({a, b});
    std::string expected("\x01\x00\x00\x00", 4);
    for (const TLogRow* row : {&a, &b})
        for (const std::string& text : *row) {
            expected += test::StoredString(Utf8ToCp932(text));
        }
    expected += std::string("\xFF\xFF\xFF\xFF", 4);
    EXPECT_EQ(bytes, expected);

    // The stamps the work lists recorded follow the end marker.
    TMainData data;
    auto item = std::make_shared<TSTitems>();
    item->Stamp = {true, 1, 2, 3, 4, 5};
    data.SourceFiles.Add("/s/あ.jpg", item);
    const std::string stamped = EncodeDoFiles2({a, b}, &data);
    EXPECT_TRUE(stamped.starts_with(expected));
    TMemoryStream stream(stamped.data(), stamped.size());
    const TDoFiles2 log = ReadDoFiles2(stream);
    EXPECT_TRUE(log.PairL[1].Stamp.Known && SameStamp(log.PairL[1].Stamp, item->Stamp));
    EXPECT_FALSE(log.PairR[1].Stamp.Known);
}

TEST(HandOverFiles, AnswerEndsAtTheFirstGap) {
    test::TempDir dir;
    const std::string path = dir.path() + kResultName;
    EXPECT_FALSE(ReadResultFile(path).Stop);
    WriteAll(path, "[Result]\r\nStop=1\r\nText0=a\r\nText2=c\r\nLog0=x\r\nLog1=\r\nLog3=z\r\n");
    const THandlerAnswer answer = ReadResultFile(path);
    EXPECT_TRUE(answer.Stop);
    EXPECT_EQ(answer.Texts, std::vector<std::string>{"a"});
    EXPECT_EQ(answer.Logs, (std::vector<std::string>{"x", ""}));
}

// A whole-log answer is larger than a settings file may be: 500,000 rows of
// results still come back.
TEST(HandOverFiles, AnAnswerForHalfAMillionRowsIsRead) {
    test::TempDir dir;
    const std::string path = dir.path() + kResultName;
    std::string bytes = "[Result]\r\nStop=0\r\n";
    const std::string text = Utf8ToCp932("比較対象のファイルをごみ箱へ移動しました");
    for (int i = 0; i < 500000; ++i) bytes += "Text" + std::to_string(i) + "=" + text + "\r\n";
    ASSERT_GT(static_cast<std::int64_t>(bytes.size()), kMaxIniFileBytes);
    WriteAll(path, bytes);
    const THandlerAnswer answer = ReadResultFile(path);
    ASSERT_EQ(answer.Texts.size(), 500000u);
    EXPECT_EQ(answer.Texts.back(), "比較対象のファイルをごみ箱へ移動しました");
}

// A stand-in for filer: records what it found in the folder and answers
// with answer.dat when there is one, giving back the hand-over's identity
// while the file "echo" exists.
class HandOverTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = dir_.path() + "app/";
        record_ = dir_.path() + "rec/";
        test::MakeProgramFolder(folder_);
        fs::create_directories(record_);
        script_ = dir_.path() + "fake-filer";
        WriteAll(script_, "#!/bin/sh\n"
                          "for f in DoFiles.Dat DoFiles2.Dat Result.dat; do\n"
                          "  [ -e '" + folder_ + "'$f ] && cp '" + folder_ + "'$f '" + record_ + "'$f\n"
                          "done\n"
                          "[ -e '" + dir_.path() + "answer.dat' ] && cp '" + dir_.path() + "answer.dat' '" + folder_ + "Result.dat'\n"
                          "[ -e '" + dir_.path() + "echo' ] && grep '^Request=' '" + folder_ + "DoFiles.Dat' >> '" + folder_ + "Result.dat'\n"
                          "exit 0\n");
        WriteAll(dir_.path() + "echo", "");
        ::chmod(script_.c_str(), 0755);
        handOver_.SetFolder(folder_);
        handOver_.SetProgram(script_);
        data_.SourceFiles.Add("/s/one.jpg", std::make_shared<TSTitems>(Item(10, 1.0, 10, 10)));
        data_.TargetFiles.Add("/t/two.jpg", std::make_shared<TSTitems>(Item(20, 2.0, 20, 20)));
    }
    void Answer(const std::string& text) { WriteAll(dir_.path() + "answer.dat", Utf8ToCp932(text)); }
    bool FolderClean() const {
        for (const char* name : {kDoFilesName, kDoFiles2Name, kResultName})
            if (fs::exists(folder_ + name)) return false;
        return true;
    }

    test::TempDir dir_;
    std::string folder_, record_, script_;
    TMainData data_;
    TRunLog log_;
    test::RecordingWindow window_;
    TPairHandOver handOver_{data_, log_, window_, window_};
};

TEST_F(HandOverTest, AutomaticHandOverStartsCleanAndKeepsTheWindowEnabled) {
    // Leftovers of an earlier hand-over are no answer to this one.
    WriteAll(folder_ + kResultName, "[Result]\r\nText0=stale\r\n");
    WriteAll(folder_ + kDoFiles2Name, "old");
    WriteAll(folder_ + kDoFilesName, "[Doing]\r\nLoad No=3\r\n");
    Answer("[Result]\r\nStop=0\r\nText0=比較対象のファイルを完全削除\r\nLog0=/x の行\r\n");
    data_.SyoriMode = TSyoriMode::Automatic;
    data_.SelTgt = TSelTgt::LargerFile;  // the larger file: the target
    data_.DoAction = TPairAction::Erase;
    data_.TgtDir = "/m/";
    EXPECT_EQ(handOver_.HandOverPair(0, 0), "比較対象のファイルを完全削除");
    EXPECT_TRUE(ReadAll(record_ + kDoFilesName)
                    .starts_with("[Doing]\r\nNo=0\r\nSyori=1\r\nTgt Dir=/m/\r\nFile=/t/two.jpg\r\nTarget=1\r\n"
                                 "Request="));
    EXPECT_FALSE(fs::exists(record_ + kResultName));
    EXPECT_FALSE(fs::exists(record_ + kDoFiles2Name));
    EXPECT_TRUE(window_.enabledStates.empty());
    EXPECT_EQ(window_.log, std::vector<std::string>{"/x の行"});
    EXPECT_GT(window_.slept + window_.messageCalls, 0);
    EXPECT_TRUE(FolderClean());
    EXPECT_TRUE(data_.ResText.empty());
    EXPECT_FALSE(handOver_.Busy());
}

TEST_F(HandOverTest, OnePairDisablesTheWindowAndAStopIsNeverWithdrawn) {
    data_.SyoriMode = TSyoriMode::EachPair;
    Answer("[Result]\r\nStop=0\r\nText0=\r\n");
    data_.StopFlag = 1;
    EXPECT_EQ(handOver_.HandOverPair(0, 0), "");
    EXPECT_EQ(data_.StopFlag, 1);
    EXPECT_EQ(window_.enabledStates, (std::vector<bool>{false, true}));
    EXPECT_NE(ReadAll(record_ + kDoFilesName).find("No=1\r\nFile L=/s/one.jpg"), std::string::npos);

    Answer("[Result]\r\nStop=1\r\nText0=比較元のファイルをごみ箱へ\r\n");
    data_.StopFlag = 0;
    EXPECT_EQ(handOver_.DoOneSyori(0, 0), "比較元のファイルをごみ箱へ");
    EXPECT_EQ(data_.StopFlag, 1);
    EXPECT_TRUE(FolderClean());
}

TEST_F(HandOverTest, AFailedStartIsLoggedAndCleanedUp) {
    handOver_.SetProgram(dir_.path() + "no-such-filer");
    data_.SyoriMode = TSyoriMode::EachPair;
    data_.StopFlag = 1;
    EXPECT_EQ(handOver_.HandOverPair(0, 0), "");
    EXPECT_EQ(data_.StopFlag, 1);
    ASSERT_EQ(window_.log.size(), 1u);
    EXPECT_TRUE(window_.log[0].ends_with(kFilerStartFailed));
    EXPECT_EQ(window_.log[0].substr(0, 4), DateToStr(Now()).substr(0, 4));
    EXPECT_EQ(window_.enabledStates, (std::vector<bool>{false, true}));
    EXPECT_TRUE(FolderClean());
}

TEST_F(HandOverTest, FilerEndingWithoutAnAnswerIsLoggedAndMarksNothing) {
    data_.SyoriMode = TSyoriMode::EachPair;
    EXPECT_EQ(handOver_.HandOverPair(0, 0), "");
    ASSERT_EQ(window_.log.size(), 1u);
    EXPECT_EQ(window_.log[0].substr(0, 4), DateToStr(Now()).substr(0, 4));
    EXPECT_TRUE(window_.log[0].ends_with("：/s/one.jpg、/t/two.jpg の処理結果を filer から受け取れません"));

    // An answer without its Stop key was cut short: no answer either.
    Answer("[Result]\r\nText0=比較元のファイルをごみ箱へ\r\nLog0=/x\r\n");
    EXPECT_EQ(handOver_.DoOneSyori(0, 0), "");
    ASSERT_EQ(window_.log.size(), 2u);
    EXPECT_TRUE(window_.log[1].ends_with(" の処理結果を filer から受け取れません"));
    EXPECT_TRUE(FolderClean());
}

// filer killed after it acted: the row and the line still tell what it did.
TEST_F(HandOverTest, AnAnswerLostAfterTheActionIsToldByTheFileSystem) {
    const std::string gone = dir_.path() + "gone.jpg", kept = dir_.path() + "kept.jpg";
    WriteAll(gone, "g");
    WriteAll(kept, "k");
    data_.SourceFiles.Clear();
    data_.TargetFiles.Clear();
    data_.SourceFiles.Add(gone, std::make_shared<TSTitems>(Item(10, 1.0, 10, 10)));
    data_.TargetFiles.Add(kept, std::make_shared<TSTitems>(Item(20, 2.0, 20, 20)));
    WriteAll(script_, "#!/bin/sh\nrm -f '" + gone + "'\nkill -9 $$\n");
    data_.SyoriMode = TSyoriMode::Automatic;
    data_.DoAction = TPairAction::Erase;
    data_.SelTgt = TSelTgt::Source;
    EXPECT_EQ(handOver_.HandOverPair(0, 0), "比較元のファイルを完全削除");
    data_.SelTgt = TSelTgt::Target;
    EXPECT_EQ(handOver_.HandOverPair(0, 0), "比較対象のファイルの完全削除に失敗");
    ASSERT_EQ(window_.log.size(), 2u);
    EXPECT_TRUE(window_.log[0].ends_with("：" + gone + " の処理結果を filer から受け取れません"));
    EXPECT_TRUE(window_.log[1].ends_with("：" + kept + " の処理結果を filer から受け取れません"));
}

TEST_F(HandOverTest, APathTheFilesCannotHoldStartsNothing) {
    data_.SourceFiles.Clear();
    data_.SourceFiles.Add("/s/bad\xFF.jpg", std::make_shared<TSTitems>());
    data_.SyoriMode = TSyoriMode::EachPair;
    EXPECT_EQ(handOver_.HandOverPair(0, 0), "");
    ASSERT_EQ(window_.log.size(), 1u);
    EXPECT_TRUE(window_.log[0].ends_with(kHandOverWriteFailed));
    EXPECT_TRUE(fs::is_empty(record_));  // filer never ran
    EXPECT_TRUE(window_.enabledStates.empty());
    EXPECT_TRUE(FolderClean());
}

TEST_F(HandOverTest, WholeLogAppliesAnswersOnlyToRowsThatExist) {
    EXPECT_FALSE(handOver_.DoEndSyori(0));
    EXPECT_TRUE(fs::is_empty(folder_));
    EXPECT_TRUE(fs::is_empty(record_));

    for (int i = 0; i < 3; ++i) {
        TLogRow row{};
        row[kLogSourcePath] = "/s/" + std::to_string(i);
        row[kLogResult] = i == 1 ? "earlier" : "";
        log_.Add(row);
    }
    int changes = 0;
    log_.OnRowChanged = [&](std::size_t) { ++changes; };
    // Row 1 answered empty keeps its text; row 2 answered the same is not
    // rewritten; text 3 names no row.
    Answer("[Result]\r\nStop=0\r\nText0=new\r\nText1=\r\nText2=\r\nText3=ghost\r\n");
    const std::string handed = EncodeDoFiles2(log_.Rows());
    EXPECT_TRUE(handOver_.HandOverLog(2));
    EXPECT_TRUE(ReadAll(record_ + kDoFilesName).starts_with("[Doing]\r\nNo=2\r\nLoad No=2\r\nRequest="));
    EXPECT_EQ(ReadAll(record_ + kDoFiles2Name), handed);
    EXPECT_EQ(log_.Row(0)[kLogResult], "new");
    EXPECT_EQ(log_.Row(1)[kLogResult], "earlier");
    EXPECT_EQ(log_.Row(2)[kLogResult], "");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(window_.enabledStates, (std::vector<bool>{false, true}));
    EXPECT_TRUE(FolderClean());
}

TEST_F(HandOverTest, ASecondHandOverIsRefusedWhileOneWaits) {
    log_.Add(TLogRow{});
    data_.SyoriMode = TSyoriMode::EachPair;
    bool inner = true;
    bool activeDuring = false;
    window_.onMessages = [&] {
        activeDuring = HandOverActive();
        inner = handOver_.DoEndSyori(0);
        window_.onMessages = nullptr;
    };
    handOver_.HandOverPair(0, 0);
    EXPECT_TRUE(activeDuring);
    EXPECT_FALSE(inner);
    EXPECT_FALSE(HandOverActive());
}

// An answer is applied only to the hand-over it answers: one without its
// identity, one with another, and one to a log that changed meanwhile
// change no row and say so.
TEST_F(HandOverTest, AnAnswerToAnotherHandOverChangesNoRow) {
    data_.SyoriMode = TSyoriMode::EachPair;
    fs::remove(dir_.path() + "echo");
    for (const std::string request : {"", "Request=0123456789abcdef\r\n"}) {
        Answer("[Result]\r\nStop=1\r\n" + request + "Text0=比較元のファイルをごみ箱へ\r\nLog0=/x\r\n");
        EXPECT_EQ(handOver_.DoOneSyori(0, 0), "");
        EXPECT_EQ(data_.StopFlag, 0);
    }
    WriteAll(dir_.path() + "echo", "");
    log_.Add(TLogRow{});
    window_.onMessages = [&] { log_.Add(TLogRow{}); };
    Answer("[Result]\r\nStop=0\r\nText0=比較元のファイルをごみ箱へ\r\n");
    EXPECT_TRUE(handOver_.DoEndSyori(0));
    EXPECT_EQ(log_.Row(0)[kLogResult], "");
    ASSERT_EQ(window_.log.size(), 3u);
    for (const std::string& line : window_.log) EXPECT_TRUE(line.ends_with("受け取れません")) << line;
}

// ---- with the real pair handler

class RealFilerTest : public HandOverTest {
protected:
    void SetUp() override {
        HandOverTest::SetUp();
        filer_ = std::string(ORV_APPDIR_BUILT) + "/filer";
        if (!fs::exists(filer_)) GTEST_SKIP() << "filer is not built";
        handOver_.SetProgram(filer_);
        // filer reads the exchange files beside itself: run a copy.
        fs::copy_file(filer_, folder_ + "filer");
        handOver_.SetProgram(folder_ + "filer");
        handOver_.SetFolder("");
        SetAppDir(folder_);
        fs::create_directories(dir_.path() + "xdg");
        fs::create_directories(dir_.path() + "photos");
        fs::create_directories(dir_.path() + "moved");
        data_.SourceFiles.Clear();
        data_.TargetFiles.Clear();
        data_.SourceFiles.Add(Photo("s.jpg", "source"), std::make_shared<TSTitems>(Item(6, 1.0, 10, 10)));
        data_.TargetFiles.Add(Photo("t.jpg", "target!"), std::make_shared<TSTitems>(Item(7, 2.0, 10, 10)));
        data_.SyoriMode = TSyoriMode::Automatic;
        data_.SelTgt = TSelTgt::Source;
    }
    void TearDown() override { SetAppDir(""); }
    std::string Photo(const std::string& name, const std::string& content) {
        const std::string path = dir_.path() + "photos/" + name;
        WriteAll(path, content);
        return path;
    }
    // The match as the pair loop handles it: log row, hand-over, answer.
    std::string Match() {
        TRunEngine engine(data_, window_);
        TRunStatus status(data_, window_);
        TPairLoop loop(engine, log_, status, &handOver_);
        loop.DoSyori(0, 0);
        return log_.Row(log_.Count() - 1)[kLogResult];
    }
    // A whole run over folder on both sides: every match erased (the file
    // chosen by selTgt) or, with syoriMode 1, only logged.
    void RunOver(const std::string& folder, int syoriMode = 0, int selTgt = 0, bool subFolders = false) {
        RegisterStandardPictures();
        window_.entries[0] = {folder};
        window_.entries[1] = {folder};
        data_.JyochyuList.Clear();
        log_.Clear();
        TRunChoices choices;
        choices.SizeMode = TSizeMode::AnySize;
        choices.SyoriMode = ChoiceOf<TSyoriMode>(syoriMode);
        choices.SelTgt = ChoiceOf<TSelTgt>(selTgt);
        choices.DoAction = TPairAction::Erase;
        choices.SubFolder = subFolders;
        TRunEngine engine(data_, window_);
        TRunDriver driver(engine, log_, window_, &handOver_);
        ASSERT_TRUE(driver.P4B_StartMouseDown(choices));
    }
    std::string filer_;
    // A trash of our own for the child.
    test::ScopedEnv dataHome_{"XDG_DATA_HOME", dir_.path() + "xdg"};
    test::ScopedEnv home_{"HOME", dir_.path()};
};

TEST_F(RealFilerTest, TrashEraseAndMoveWithAClash) {
    data_.DoAction = TPairAction::Recycle;
    EXPECT_EQ(Match(), "比較元のファイルをごみ箱へ");
    EXPECT_EQ(ReadAll(dir_.path() + "xdg/Trash/files/s.jpg"), "source");
    EXPECT_FALSE(fs::exists(dir_.path() + "photos/s.jpg"));

    data_.DoAction = TPairAction::Erase;
    data_.SelTgt = TSelTgt::SmallerFile;  // the smaller file is the source, which is gone now
    EXPECT_EQ(Match(), "比較元のファイルの完全削除に失敗");
    EXPECT_EQ(window_.log.back(), dir_.path() + "photos/s.jpg" + "の完全削除に失敗しました");
    data_.SelTgt = TSelTgt::Target;
    EXPECT_EQ(Match(), "比較対象のファイルを完全削除");
    EXPECT_FALSE(fs::exists(dir_.path() + "photos/t.jpg"));

    Photo("s.jpg", "again");
    WriteAll(dir_.path() + "moved/s.jpg", "there before");
    data_.DoAction = TPairAction::Move;
    data_.SelTgt = TSelTgt::Source;
    data_.TgtDir = dir_.path() + "moved/";
    EXPECT_EQ(Match(), "比較元のファイルを移動");
    EXPECT_EQ(ReadAll(dir_.path() + "moved/s.jpg"), "there before");
    EXPECT_EQ(ReadAll(dir_.path() + "moved/[0]s.jpg"), "again");
    EXPECT_TRUE(FolderClean());
    EXPECT_EQ(log_.Count(), 4u);
}

// The work folder is the picture folder of both lists and every match is
// erased: the run's signatures there must not be taken for pictures, or each
// picture matches its own signature and is erased.
TEST_F(RealFilerTest, AWorkFolderAmongThePicturesErasesNone) {
    RegisterStandardPictures();
    const std::string album = dir_.path() + "album/";
    fs::create_directories(album);
    const std::vector<std::string> names = {"b.jpg", "c.jpg", "d.jpg"};  // unlike each other
    for (const std::string& name : names) fs::copy_file(fs::path(ORV_TEST_DATA) / "compare" / name, album + name);
    data_.WorkDir = album;
    window_.entries[0] = {album};
    window_.entries[1] = {album};
    TRunChoices choices;
    choices.SizeMode = TSizeMode::AnySize;
    choices.SyoriMode = TSyoriMode::Automatic;
    choices.SelTgt = TSelTgt::Source;
    choices.DoAction = TPairAction::Erase;
    TRunEngine engine(data_, window_);
    TRunDriver driver(engine, log_, window_, &handOver_);
    ASSERT_TRUE(driver.P4B_StartMouseDown(choices));
    for (const std::string& name : names) EXPECT_TRUE(fs::exists(album + name)) << name;
    EXPECT_EQ(log_.Count(), 0u);
    EXPECT_EQ(data_.TargetFiles.Count(), names.size());
}

// Signatures kept in a work folder among the pictures, which has since
// moved: each old signature would match its own picture.
TEST_F(RealFilerTest, AnOldWorkFolderAmongThePicturesErasesNone) {
    const std::string album = dir_.path() + "album/";
    fs::create_directories(album + "work");
    const std::vector<std::string> names = {"b.jpg", "c.jpg", "d.jpg"};  // unlike each other
    for (const std::string& name : names) fs::copy_file(fs::path(ORV_TEST_DATA) / "compare" / name, album + name);
    data_.WorkDir = album + "work/";
    data_.NoTmpDel = 1;
    RunOver(album, 1, 0, true);
    fs::create_directories(dir_.path() + "work");
    data_.WorkDir = dir_.path() + "work/";
    RunOver(album, 0, 0, true);
    for (const std::string& name : names) EXPECT_TRUE(fs::exists(album + name)) << name;
    EXPECT_EQ(log_.Count(), 0u);
}

// A picture rewritten after its signature was made is no duplicate any more.
TEST_F(RealFilerTest, APictureChangedAfterItsComparisonIsNotErased) {
    const std::string album = dir_.path() + "album/";
    fs::create_directories(album);
    for (const char* name : {"a.jpg", "b.jpg"}) fs::copy_file(fs::path(ORV_TEST_DATA) / "compare/a.jpg", album + name);
    window_.onMessages = [&] {
        if (data_.FindCount == 0 || fs::file_size(album + "b.jpg") == fs::file_size(fs::path(ORV_TEST_DATA) / "compare/c.jpg"))
            return;
        fs::copy_file(fs::path(ORV_TEST_DATA) / "compare/c.jpg", album + "b.jpg", fs::copy_options::overwrite_existing);
    };
    RunOver(album, 0, 1);
    EXPECT_TRUE(fs::exists(album + "a.jpg"));
    EXPECT_TRUE(fs::exists(album + "b.jpg"));
    EXPECT_EQ(std::count(window_.log.begin(), window_.log.end(), album + "b.jpgは比較後に変更されたため処理しません"), 1)
        << ::testing::PrintToString(window_.log);
}

// A copy that keeps the date and size of the picture it replaces (as cp -p
// or rsync -t do) is not judged by the old picture's kept signature.
TEST_F(RealFilerTest, AReplacedPictureOfTheSameDateAndSizeIsNotErased) {
    const std::string album = dir_.path() + "album/";
    fs::create_directories(album);
    test::WriteBmpFile(album + "a.bmp", 40, 30, 1);
    test::WriteBmpFile(album + "b.bmp", 40, 30, 1);
    data_.NoTmpDel = 1;
    RunOver(album, 1);
    ASSERT_EQ(log_.Count(), 1u);
    const auto date = fs::last_write_time(album + "b.bmp");
    test::WriteBmpFile(album + "new.bmp", 40, 30, 5);
    fs::last_write_time(album + "new.bmp", date);
    fs::rename(album + "new.bmp", album + "b.bmp");
    RunOver(album, 0, 1);
    EXPECT_TRUE(fs::exists(album + "a.bmp"));
    EXPECT_TRUE(fs::exists(album + "b.bmp"));
    EXPECT_EQ(log_.Count(), 0u);
}

// filer started again later (the main program died meanwhile) finds no
// hand-over: a new picture under the old name stays.
TEST_F(RealFilerTest, AHandOverIsActedOnOnce) {
    const std::string photo = data_.SourceFiles[0].Path;
    WriteDoFilesAuto(folder_ + kDoFilesName, TPairAction::Erase, "", photo, TPairSide::Source, {}, "");
    for (int start = 0; start < 2; ++start) {
        ChildProcess filer;
        ASSERT_TRUE(filer.Start(folder_ + "filer"));
        filer.Wait();
        if (start == 0) {
            EXPECT_FALSE(fs::exists(photo));
        }
        Photo("s.jpg", "a new picture");
    }
    EXPECT_EQ(ReadAll(photo), "a new picture");
    EXPECT_FALSE(fs::exists(folder_ + kDoFilesName) || fs::exists(folder_ + kDoFilesName + kTakenSuffix));
}

// In a program folder others may write, filer touches nothing: neither the
// hand-over nor the file it names, and it leaves no answer.
TEST_F(RealFilerTest, AProgramFolderOthersMayWriteIsLeftAlone) {
    const std::string photo = data_.SourceFiles[0].Path;
    WriteDoFilesAuto(folder_ + kDoFilesName, TPairAction::Erase, "", photo, TPairSide::Source, {}, "");
    fs::permissions(folder_, fs::perms::group_write, fs::perm_options::add);
    ChildProcess filer;
    ASSERT_TRUE(filer.Start(folder_ + "filer"));
    EXPECT_NE(filer.Wait(), 0);
    EXPECT_EQ(ReadAll(photo), "source");
    EXPECT_TRUE(fs::exists(folder_ + kDoFilesName));
    EXPECT_FALSE(fs::exists(folder_ + kResultName));
}

// The target is replaced after the main program's check, before filer acts
// (filer takes a while to start): filer finds another file and keeps it.
TEST_F(RealFilerTest, AFileReplacedAfterTheCheckIsLeftAlone) {
    const std::string photo = data_.SourceFiles[0].Path;
    data_.SourceFiles[0].Item->Stamp = ReadFileStamp(photo);
    const std::string other = Photo("other.jpg", "source");  // same size and bytes
    fs::rename(other, photo);
    data_.DoAction = TPairAction::Erase;
    EXPECT_EQ(handOver_.DoAutoSyori(0, 0), "比較元のファイルの完全削除に失敗");
    EXPECT_TRUE(fs::exists(photo));
    EXPECT_EQ(window_.log, std::vector<std::string>{photo + kChangedSinceCompared});
}

TEST_F(RealFilerTest, AnActionWhoseAnswerIsLostIsLogged) {
    // A folder where the answer goes: filer erases the file but cannot answer.
    fs::create_directories(folder_ + kResultName + "/x");
    data_.DoAction = TPairAction::Erase;
    EXPECT_EQ(Match(), "比較元のファイルを完全削除");
    EXPECT_FALSE(fs::exists(dir_.path() + "photos/s.jpg"));
    ASSERT_EQ(window_.log.size(), 1u);
    EXPECT_TRUE(window_.log[0].ends_with("：" + dir_.path() + "photos/s.jpg の処理結果を filer から受け取れません"));
}

}  // namespace
}  // namespace orv
