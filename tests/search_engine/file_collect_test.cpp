#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "engine_test_util.h"
#include "platform/base/datetime.h"
#include "platform/base/stream.h"
#include "platform/graphics/picture.h"
#include "search/engine/run_engine.h"
#include "search/engine/signature.h"
#include "search/engine/signature_index.h"
#include "tests/support/stored_text.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

constexpr char kNoFiles[] = "：比較元または対象にひとつもファイルが存在しません";

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class CollectTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterStandardPictures();
        fs::create_directories(work_.path());
        data_.WorkDir = work_.path();
        data_.Random.seed(7);
        engine_.SetMessageSlice(std::chrono::milliseconds(0));
    }
    std::string Image(const std::string& rel, int w = 20, int h = 10, int seed = 1) {
        const fs::path p = files_.path() + rel;
        fs::create_directories(p.parent_path());
        test::WriteBmpFile(p.string(), w, h, seed);
        return p.string();
    }
    std::vector<std::string> Paths(const TFileList& list) const {
        std::vector<std::string> out;
        for (const auto& e : list) out.push_back(e.Path.substr(files_.path().size()));
        return out;
    }
    int SignatureCount() const {
        int n = 0;
        for (const auto& e : fs::directory_iterator(work_.path()))
            n += IsSignatureFileName(e.path().filename().string()) ? 1 : 0;
        return n;
    }
    std::int64_t IndexSize() const {
        std::error_code ec;
        const auto size = fs::file_size(work_.path() + "~OVTMP.Lst", ec);
        return ec ? 0 : static_cast<std::int64_t>(size);
    }
    // An index record of the file as it is, naming the signature file of
    // that number as it is (write that first).
    std::string OwnRecord(const std::string& path, std::int32_t w, std::int32_t h, std::int32_t number) const {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        const TFileStamp stamp = StampOf(st);
        return EncodeIndexRecord(path, FileDateToDateTime(static_cast<std::int64_t>(st.st_mtime)),
                                 static_cast<std::int64_t>(st.st_size), w, h, number, &stamp,
                                 SignatureChecksum(test::ReadAll(engine_.SignaturePath(number))));
    }
    // Collects the lists from these entries of the two list views.
    void Collect(std::vector<std::string> sources, std::vector<std::string> targets) {
        view_.entries[0] = std::move(sources);
        view_.entries[1] = std::move(targets);
        engine_.GetFileListMain();
    }
    // A fresh run over the same folders, as the next run of the program.
    void NewRun() {
        data_.SourceFiles.Clear();
        data_.TargetFiles.Clear();
        view_.log.clear();
    }
    void CollectAgain() {
        NewRun();
        engine_.GetFileListMain();
    }

    test::TempDir files_, work_;
    test::RecordingView view_;
    TMainData data_;
    TRunEngine engine_{data_, view_};
};

TEST_F(CollectTest, SupportedExtensions) {
    for (const char* p : {"/a/b.jpg", "/a/B.JPG", "/a/c.Bmp", "/a/d.tga", "/a/e.PNG", "/a/f.tif", "/a.b/g.jpg"})
        EXPECT_TRUE(engine_.CheckTaiouFileType(p)) << p;
    for (const char* p : {"/a/b.jpeg", "/a/b.tiff", "/a/b.gif", "/a/b.psd", "/a/jpg", "/a.jpg/b", "/a/b.jpg.txt"})
        EXPECT_FALSE(engine_.CheckTaiouFileType(p)) << p;
}

TEST_F(CollectTest, FoldersWithAndWithoutSubFolders) {
    Image("root/b.bmp");
    Image("root/A.BMP");
    Image("root/sub/c.bmp");
    Image("root/sub/deeper/d.bmp");
    Image("root/zz/e.bmp");
    std::ofstream(files_.path() + "root/notes.txt") << "text";
    Image("root/f.jpeg");
    // A link back to the top would make an endless walk if followed.
    ASSERT_EQ(::symlink((files_.path() + "root").c_str(), (files_.path() + "root/sub/loop").c_str()), 0);
    ASSERT_EQ(::symlink((files_.path() + "root/b.bmp").c_str(), (files_.path() + "root/link.bmp").c_str()), 0);
    view_.entries[0] = {files_.path() + "root/"};
    view_.entries[1] = {files_.path() + "root/b.bmp"};

    engine_.GetFileListMain();
    EXPECT_EQ(Paths(data_.SourceFiles), (std::vector<std::string>{"root/A.BMP", "root/b.bmp", "root/link.bmp"}));
    EXPECT_EQ(data_.FileCount[0], 3);

    NewRun();
    data_.SubFolder = 1;
    engine_.GetFileListMain();
    EXPECT_EQ(Paths(data_.SourceFiles),
              (std::vector<std::string>{"root/A.BMP", "root/b.bmp", "root/link.bmp", "root/sub/c.bmp",
                                        "root/sub/deeper/d.bmp", "root/zz/e.bmp"}));
    EXPECT_EQ(data_.FileCount[0], 6);
    EXPECT_EQ(data_.FileCount[1], 1);
    EXPECT_EQ(data_.FileNo, 7);
    EXPECT_EQ(view_.gaugeMax, 9);
    EXPECT_EQ(view_.gaugePosition, 7);
    EXPECT_TRUE(view_.log.empty());
}

TEST_F(CollectTest, RecordsAndSharingBetweenTheLists) {
    const std::string a = Image("a.bmp", 100, 40);
    const std::string b = Image("b.bmp", 30, 20, 2);
    view_.entries[0] = {a, b};
    view_.entries[1] = {b};
    data_.Chach = 10;
    engine_.InitChach();
    engine_.GetFileListMain();
    ASSERT_EQ(data_.SourceFiles.Count(), 2u);
    ASSERT_EQ(data_.TargetFiles.Count(), 1u);
    const TSTitems& ra = *data_.SourceFiles.Objects(0);
    EXPECT_EQ(ra.Width, 100);
    EXPECT_EQ(ra.Height, 40);
    EXPECT_EQ(ra.FileSize, static_cast<std::int64_t>(fs::file_size(a)));
    TDateTime age = 0;
    ASSERT_TRUE(FileAgeLocal(a, age));
    EXPECT_EQ(ra.FileDate, age);
    // The same path on both sides: one record, one signature.
    EXPECT_EQ(data_.TargetFiles.Objects(0).get(), data_.SourceFiles.Objects(1).get());
    EXPECT_EQ(SignatureCount(), 2);
    EXPECT_EQ(view_.labels.back().caption, "情報収集と一時ファイル作成中 [3] " + b);
    // Fresh signatures are cached.
    TBitmap sig;
    ASSERT_TRUE(engine_.GetChach(sig, a));
    EXPECT_EQ(sig.Width(), 80);
}

TEST_F(CollectTest, ASecondRunReusesTheIndex) {
    const std::string a = Image("a.bmp", 100, 40);
    const std::string b = Image("b.bmp", 30, 20, 2);
    Collect({a}, {b});
    const TSTitems first = *data_.SourceFiles.Objects(0);
    const std::int64_t indexSize = IndexSize();

    CollectAgain();
    ASSERT_EQ(data_.SourceFiles.Count(), 1u);
    const TSTitems& again = *data_.SourceFiles.Objects(0);
    EXPECT_EQ(again.TmpNo, first.TmpNo);
    EXPECT_EQ(again.Width, first.Width);
    EXPECT_EQ(again.FileDate, first.FileDate);
    EXPECT_EQ(IndexSize(), indexSize);
    EXPECT_EQ(SignatureCount(), 2);

    // A signature deleted behind the run's back is made anew, with a record.
    fs::remove(engine_.SignaturePath(first.TmpNo));
    CollectAgain();
    EXPECT_EQ(SignatureCount(), 2);
    EXPECT_GT(IndexSize(), indexSize);

    // A picture rewritten since (same size in bytes, a later date) is not
    // judged by its old signature.
    const std::int32_t before = data_.SourceFiles.Objects(0)->TmpNo;
    test::WriteBmpFile(a, 100, 40, 9);
    fs::last_write_time(a, fs::last_write_time(a) + std::chrono::seconds(5));
    CollectAgain();
    ASSERT_EQ(data_.SourceFiles.Count(), 1u);
    EXPECT_NE(data_.SourceFiles.Objects(0)->TmpNo, before);
    // The signature it replaces is removed.
    EXPECT_EQ(SignatureCount(), 2);
    EXPECT_FALSE(fs::exists(engine_.SignaturePath(before)));
}

// Signatures kept under another revision of the readers were made from
// pixels the readers may no longer give: each is made anew and replaces the
// old one.
TEST_F(CollectTest, SignaturesOfAnotherRevisionAreMadeAnew) {
    const std::string a = Image("a.bmp", 100, 40);
    Collect({a}, {a});
    const std::int32_t first = data_.SourceFiles.Objects(0)->TmpNo;
    // The same record as revision 1 wrote it: its tag, no signature inode.
    std::string index = test::ReadAll(work_.path() + "~OVTMP.Lst");
    const std::size_t tag = 2 + a.size() + 1;
    ASSERT_EQ(static_cast<std::uint8_t>(index[tag]), kSignatureRevision);
    index[tag] = 1;
    index.erase(tag + 33, 8);
    index[0] = static_cast<char>(static_cast<std::uint8_t>(index[0]) - 8);
    test::WriteAll(work_.path() + "~OVTMP.Lst", index);
    CollectAgain();
    ASSERT_EQ(data_.SourceFiles.Count(), 1u);
    EXPECT_NE(data_.SourceFiles.Objects(0)->TmpNo, first);
    EXPECT_EQ(SignatureCount(), 1);
}

TEST_F(CollectTest, AWalkCollectsUtf8NamesAndRefusesTheRest) {
    std::vector<std::string> names;
    int seed = 1;
    for (const std::string& name : test::kUtf8OnlyNames) {
        names.push_back("root/" + name + "/" + name + ".bmp");
        Image(names.back(), 20, 10, seed++);
    }
    const std::string notUtf8 = Image("root/bad\xFF.bmp"), control = Image("root/tab\t.bmp");
    data_.SubFolder = 1;
    Collect({files_.path() + "root/"}, {files_.path() + names[0]});
    std::vector<std::string> collected = Paths(data_.SourceFiles);
    std::sort(names.begin(), names.end());
    std::sort(collected.begin(), collected.end());
    EXPECT_EQ(collected, names);
    EXPECT_EQ(view_.log, (std::vector<std::string>{files_.path() + "root/bad\\xFF.bmpは使用できない文字を含むため処理できません",
                                                   files_.path() + "root/tab\\x09.bmpは使用できない文字を含むため処理できません"}));
    // The index gives every name back: a second run makes no signature.
    const std::int64_t indexSize = IndexSize();
    CollectAgain();
    EXPECT_EQ(data_.SourceFiles.Count(), names.size());
    EXPECT_EQ(IndexSize(), indexSize);
    EXPECT_EQ(SignatureCount(), static_cast<int>(names.size()));
}

TEST_F(CollectTest, AStaleRecordDoesNotLendItsNumber) {
    const std::string a = Image("a.bmp", 100, 40);
    const std::string b = Image("b.bmp", 30, 20, 2);
    // a's signature once had number 5; its file vanished and 5 went to b.
    // The old record comes first in the index, so a file-order lookup
    // would give a the signature, size and dimensions of b.
    test::WriteBmpFile(engine_.SignaturePath(5), 30, 20, 2);
    std::ofstream(work_.path() + "~OVTMP.Lst", std::ios::binary)
        << OwnRecord(a, 100, 40, 5) << OwnRecord(b, 30, 20, 5);
    Collect({a}, {b});
    ASSERT_EQ(data_.SourceFiles.Count(), 1u);
    EXPECT_NE(data_.SourceFiles.Objects(0)->TmpNo, 5);
    EXPECT_EQ(data_.SourceFiles.Objects(0)->Width, 100);
    EXPECT_EQ(data_.TargetFiles.Objects(0)->TmpNo, 5);
}

TEST_F(CollectTest, ASignatureOfTheWrongSizeIsNotReused) {
    const std::string a = Image("a.bmp", 100, 40);
    test::WriteBmpFile(engine_.SignaturePath(5), 30, 20, 2);  // not 80 x 80
    std::ofstream(work_.path() + "~OVTMP.Lst", std::ios::binary) << OwnRecord(a, 100, 40, 5);
    Collect({a}, {a});
    ASSERT_EQ(data_.SourceFiles.Count(), 1u);
    EXPECT_NE(data_.SourceFiles.Objects(0)->TmpNo, 5);
    std::int32_t w = 0, h = 0;
    ASSERT_TRUE(SignatureBmpSize(test::ReadAll(engine_.SignaturePath(data_.SourceFiles.Objects(0)->TmpNo)), w, h));
    EXPECT_EQ(w, 80);
}

TEST_F(CollectTest, ASignatureCutShortIsMadeAnew) {
    const std::string a = Image("a.bmp", 30, 20);
    Collect({a}, {a});
    const std::int32_t first = data_.SourceFiles.Objects(0)->TmpNo;
    fs::resize_file(engine_.SignaturePath(first), fs::file_size(engine_.SignaturePath(first)) - 1);
    CollectAgain();
    ASSERT_EQ(data_.SourceFiles.Count(), 1u);
    EXPECT_NE(data_.SourceFiles.Objects(0)->TmpNo, first);
}

TEST_F(CollectTest, FilesNamedAsTheRunsOwnAreNotCollectedAnywhere) {
    Image("root/a.bmp");
    Image("root/~OVTMP3.BMP");  // kept by an earlier run with another work folder
    const std::string own = Image("root/work/own.bmp");
    Image("root/work/~OVTMP1.BMP", 20, 10, 2);
    Image("root/work/~ovtmp22.bmp", 20, 10, 3);
    ASSERT_EQ(::symlink((files_.path() + "root/work/~OVTMP1.BMP").c_str(), (files_.path() + "root/alias.bmp").c_str()), 0);
    // The work folder named through a link to it.
    ASSERT_EQ(::symlink((files_.path() + "root/work").c_str(), (files_.path() + "worklink").c_str()), 0);
    data_.WorkDir = files_.path() + "worklink";
    data_.SubFolder = 1;
    Collect({files_.path() + "root/", files_.path() + "root/work/~OVTMP1.BMP"}, {own});
    EXPECT_EQ(Paths(data_.SourceFiles), (std::vector<std::string>{"root/a.bmp", "root/work/own.bmp"}));
    EXPECT_EQ(data_.FileCount[0], 2);
}

TEST_F(CollectTest, KeptSignaturesDoNotGrowOverChangedFiles) {
    std::vector<std::string> pictures;
    for (int i = 0; i < 3; ++i) pictures.push_back(Image("p" + std::to_string(i) + ".bmp", 30, 20, i));
    view_.entries[0] = {files_.path()};
    view_.entries[1] = {files_.path()};
    auto records = [&] {
        TMemoryStream index;
        index.LoadFromFile(work_.path() + "~OVTMP.Lst");
        return ParseSignatureIndex(index.Memory(), index.Bytes().size()).size();
    };
    for (int run = 1; run <= 4; ++run) {
        CollectAgain();
        EXPECT_EQ(data_.SourceFiles.Count(), 3u);
        EXPECT_EQ(SignatureCount(), 3) << "run " << run;
        for (const std::string& p : pictures) fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(10));
    }
    // Rewritten once the dead records outnumbered the live ones.
    EXPECT_EQ(records(), 6u);
    EXPECT_TRUE(view_.log.empty());
}

TEST_F(CollectTest, KeptSignaturesOfAMovedFolderAreRemoved) {
    for (int i = 0; i < 4; ++i) Image("p1/" + std::to_string(i) + ".bmp", 30, 20, i);
    for (int run = 1; run <= 6; ++run) {
        const std::string folder = files_.path() + "p" + std::to_string(run) + "/";
        NewRun();
        Collect({folder}, {folder});
        EXPECT_EQ(SignatureCount(), 4) << "run " << run;
        fs::rename(folder, files_.path() + "p" + std::to_string(run + 1));
    }
}

// A record read at the start of a run names number 5, whose file is gone
// (another program's clean-up removed it): no picture of this run gets 5,
// or b's record would stand for it.
TEST_F(CollectTest, ANumberTheIndexNamesIsNotGivenAfresh) {
    const std::string early = Image("a.bmp", 100, 40, 1);
    const std::string late = Image("b.bmp", 100, 40, 2);
    std::ofstream(work_.path() + "~OVTMP.Lst", std::ios::binary) << OwnRecord(late, 100, 40, 5);
    for (int i = 0; i < 5; ++i) std::ofstream(engine_.SignaturePath(i)) << "taken";
    engine_.SetSignatureNumberRange(5, 10);
    Collect({early}, {late});
    ASSERT_EQ(data_.TargetFiles.Count(), 1u);
    EXPECT_NE(data_.SourceFiles.Objects(0)->TmpNo, 5);
    EXPECT_NE(data_.TargetFiles.Objects(0)->TmpNo, 5);
    EXPECT_FALSE(fs::exists(engine_.SignaturePath(5)));
}

TEST_F(CollectTest, LargeFilesKeepTheirSize) {
    const std::string a = Image("big.bmp", 10, 10);
    const std::int64_t big = (std::int64_t{1} << 31) + 5;
    std::error_code ec;
    fs::resize_file(a, static_cast<std::uintmax_t>(big), ec);  // sparse; the reader stops at the pixels
    if (ec) GTEST_SKIP() << "no sparse file here";
    Collect({a}, {a});
    ASSERT_EQ(data_.SourceFiles.Count(), 1u);
    EXPECT_EQ(data_.SourceFiles.Objects(0)->FileSize, big);
    CollectAgain();
    ASSERT_EQ(data_.SourceFiles.Count(), 1u);
    EXPECT_EQ(data_.SourceFiles.Objects(0)->FileSize, big);
}

TEST_F(CollectTest, RunLogLines) {
    const std::string good = Image("good.bmp");
    const std::string bad = files_.path() + "bad.bmp";
    std::ofstream(bad) << "not a picture";
    Collect({good, bad}, {});
    ASSERT_EQ(view_.log.size(), 1u);
    EXPECT_TRUE(EndsWith(view_.log[0], kNoFiles));
    EXPECT_GT(view_.log[0].size(), std::string(kNoFiles).size() + 8);  // led by the date and time
    EXPECT_EQ(data_.FileNo, 0);
    EXPECT_EQ(view_.gaugeMax, -1);

    NewRun();
    view_.entries[1] = {good};
    engine_.GetFileListMain();
    EXPECT_EQ(view_.log, std::vector<std::string>{bad + "は正常に読み込めませんでした"});
    EXPECT_EQ(data_.SourceFiles.Count(), 1u);

    // No room for a signature: the work folder is reported once, not every
    // picture, and the collection ends as if stopped.
    NewRun();
    data_.WorkDir = work_.path() + "missing/";
    view_.entries[0] = {good, Image("more.bmp")};
    engine_.GetFileListMain();
    ASSERT_EQ(view_.log.size(), 1u);
    EXPECT_TRUE(EndsWith(view_.log[0], "：作業フォルダに書き込めません" + data_.WorkDir)) << view_.log[0];
    EXPECT_EQ(view_.log[0].substr(0, 4), DateToStr(Now()).substr(0, 4));
    EXPECT_EQ(data_.StopFlag, 1);
    EXPECT_EQ(data_.SourceFiles.Count(), 0u);
}

// The work folder runs out of numbers after three signatures: with workers
// writing behind the walk, the collection still ends at the fourth picture,
// and nothing after it (a broken picture here) reaches the log or the lists.
TEST_F(CollectTest, AFullWorkFolderEndsTheCollectionAtTheSamePictureWithWorkers) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"}) Image(name, 90, 90, name[0]);
    std::ofstream(files_.path() + "f.bmp") << "not a picture";
    auto outcome = [&](int threads) {
        test::TempDir work;
        data_.WorkDir = work.path();
        data_.Threads = threads;
        data_.StopFlag = 0;
        NewRun();
        engine_.SetSignatureNumberRange(2, 2);
        Collect({files_.path()}, {files_.path()});
        std::vector<std::string> out = Paths(data_.SourceFiles);
        for (const std::string& line : view_.log) {
            const std::string event = line.substr(line.find("："));
            out.push_back(EndsWith(event, work.path()) ? event.substr(0, event.size() - work.path().size()) : event);
        }
        for (const auto& e : fs::directory_iterator(work.path())) out.push_back(e.path().filename().string());
        std::sort(out.end() - 4, out.end());
        return out;
    };
    const std::vector<std::string> one = outcome(1);
    EXPECT_EQ(one, (std::vector<std::string>{"a.bmp", "b.bmp", "c.bmp", "：作業フォルダに書き込めません",
                                             "~OVTMP.Lst", "~OVTMP0.BMP", "~OVTMP1.BMP", "~OVTMP2.BMP"}));
    EXPECT_EQ(outcome(4), one);
}

TEST_F(CollectTest, CountingLabelEveryTenthFile) {
    std::vector<std::string> files;
    for (int i = 0; i < 25; ++i) files.push_back(Image("f" + std::to_string(100 + i) + ".bmp", 4, 4, i));
    for (int side = 0; side < 2; ++side)
        for (const std::string& f : files) engine_.GetImageInfo(f, side, TRunEngine::kModeCount);
    std::vector<std::string> captions;
    for (const auto& l : view_.labels) captions.push_back(l.caption);
    EXPECT_EQ(captions, (std::vector<std::string>{
                            "ファイル存在のチェック中 [10] " + files[9], "ファイル存在のチェック中 [20] " + files[19],
                            "ファイル存在のチェック中 [10] " + files[9], "ファイル存在のチェック中 [20] " + files[19]}));
    EXPECT_EQ(data_.FileCount[0], 25);
    EXPECT_EQ(data_.FileCount[1], 25);
    EXPECT_EQ(SignatureCount(), 0);
}

TEST_F(CollectTest, StopDuringCountingEndsTheCollection) {
    for (int i = 0; i < 5; ++i) Image("s/f" + std::to_string(i) + ".bmp");
    view_.entries[0] = {files_.path() + "s/"};
    view_.entries[1] = {files_.path() + "s/"};
    view_.onMessages = [&] {
        if (view_.messageCalls == 3) data_.StopFlag = 1;
    };
    engine_.GetFileListMain();
    EXPECT_LT(data_.FileCount[0], 5);
    EXPECT_EQ(data_.FileCount[1], 0);
    EXPECT_TRUE(view_.log.empty());
    EXPECT_EQ(data_.FileNo, 0);
    EXPECT_EQ(SignatureCount(), 0);
}

TEST_F(CollectTest, PauseWaitsUntilResumedOrStopped) {
    data_.PauseFlag = 1;
    view_.onMessages = [&] {
        if (view_.messageCalls == 3) data_.PauseFlag = 0;
    };
    engine_.PauseWait();
    EXPECT_EQ(view_.slept, 1500);
    EXPECT_EQ(view_.animationStops, 3);

    data_.PauseFlag = 1;
    view_.slept = 0;
    view_.onMessages = [&] { data_.StopFlag = 1; };
    engine_.PauseWait();
    EXPECT_EQ(data_.PauseFlag, 0);
    EXPECT_EQ(view_.slept, 500);
}

TEST_F(CollectTest, IdenticalLists) {
    for (const char* p : {"/a", "/b", "/c"}) {
        data_.SourceFiles.Add(p);
        data_.TargetFiles.Add(p);
    }
    EXPECT_TRUE(engine_.CheckSingleHikaku());
    data_.TargetFiles.Clear();
    for (const char* p : {"/a", "/c", "/b"}) data_.TargetFiles.Add(p);
    EXPECT_FALSE(engine_.CheckSingleHikaku());
    data_.TargetFiles.Add("/d");
    EXPECT_FALSE(engine_.CheckSingleHikaku());
}

}  // namespace
}  // namespace orv
