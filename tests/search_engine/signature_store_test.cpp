#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine_test_util.h"
#include "platform/base/file_system.h"
#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/picture_loader.h"
#include "search/engine/run_engine.h"
#include "search/engine/signature_index.h"
#include "tests/support/le_bytes.h"
#include "tests/support/lock_holder.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

class SignatureStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        data_.WorkDir = dir_.path();
        data_.Random.seed(12345);
        engine_.SetMessageSlice(std::chrono::milliseconds(0));
    }
    std::int32_t Store(int width, int height, int seed = 1) {
        TBitmap bmp;
        test::FillPattern(bmp, width, height, seed);
        return engine_.MakeTmpBMPFile(bmp);
    }
    void Touch(const std::string& name) { std::ofstream(dir_.path() + name) << "x"; }
    // A picture that exists, so its index records are live.
    std::string Picture(const std::string& name) {
        std::ofstream(pics_.path() + name) << "x";
        return pics_.path() + name;
    }
    // An index record of the current revision.
    static std::string Rec(const std::string& path, double date, std::int64_t size, std::int32_t w, std::int32_t h,
                           std::int32_t n) {
        const TFileStamp stamp{true, 0, 1, 1, 1, 1};
        return EncodeIndexRecord(path, date, size, w, h, n, &stamp, 1);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir dir_, pics_;
    test::RecordingView view_;
    TMainData data_;
    TRunEngine engine_{data_, view_};
};

TEST_F(SignatureStoreTest, SignatureIsGrayAndAtMost80Square) {
    TBitmap bmp;
    test::FillPattern(bmp, 50, 30, 3);
    const std::int32_t n = engine_.MakeTmpBMPFile(bmp);
    ASSERT_GE(n, 0);
    ASSERT_LE(n, kSignatureRandomMax);
    std::int32_t w = 0, h = 0;
    ASSERT_TRUE(SignatureBmpSize(test::ReadAll(engine_.SignaturePath(n)), w, h));
    EXPECT_EQ(w, 50);
    EXPECT_EQ(h, 30);
    // The caller's bitmap is now the signature: gray, three equal bytes.
    EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pf24bit);
    const std::uint8_t* px = bmp.ScanLine(7) + 3 * 9;
    EXPECT_EQ(px[0], px[1]);
    EXPECT_EQ(px[1], px[2]);

    const std::int32_t m = Store(81, 10);
    ASSERT_GE(m, 0);
    EXPECT_NE(m, n);
    ASSERT_TRUE(SignatureBmpSize(test::ReadAll(engine_.SignaturePath(m)), w, h));
    EXPECT_EQ(w, 80);
    EXPECT_EQ(h, 80);
}

TEST_F(SignatureStoreTest, CrowdedNumbersFallBackToTheFirstFreeOne) {
    engine_.SetSignatureNumberRange(9, 12);
    for (int i = 0; i <= 9; ++i) Touch(SignatureFileName(i));
    // A link under a free-looking name is never followed or written through.
    const std::string outside = dir_.path() + "outside.txt";
    std::ofstream(outside) << "keep";
    ASSERT_EQ(::symlink(outside.c_str(), (dir_.path() + SignatureFileName(10)).c_str()), 0);
    EXPECT_EQ(Store(4, 4), 11);
    EXPECT_EQ(Store(4, 4), 12);
    // Nothing left: no number, and nothing was written anywhere.
    const auto before = Names();
    EXPECT_EQ(Store(4, 4), -1);
    EXPECT_EQ(Names(), before);
    // A number set free again is found after the search wraps around.
    fs::remove(dir_.path() + SignatureFileName(3));
    EXPECT_EQ(Store(4, 4), 3);
    std::ifstream in(outside);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "keep");
}

TEST_F(SignatureStoreTest, AFailedWriteLeavesNoPartialFile) {
    // A file-size limit makes the write fail part-way, as a full disk does.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::int32_t n = Store(40, 40);
    const bool indexed = engine_.WriteTmpBMPInfo("/p/a.jpg", 1, 1, 40, 40, 1) &&
                         engine_.WriteTmpBMPInfo(std::string(200, 'a'), 1, 1, 40, 40, 2);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(n, -1);
    EXPECT_FALSE(indexed);
    // The first record fitted; the second was cut back off.
    TFileStream stream(engine_.IndexPath(), FileMode::OpenRead);
    EXPECT_EQ(stream.Size(), 26 + 9);
    for (const std::string& name : Names()) EXPECT_FALSE(IsSignatureFileName(name)) << name;
}

TEST_F(SignatureStoreTest, IndexRecordsAreAppendedByteForByte) {
    const std::string a = Picture("a.jpg"), b = Picture("写真b.png");
    const TFileStamp stamp{true, 0, 1, 1, 1, 1};
    ASSERT_TRUE(engine_.WriteTmpBMPInfo(a, 1234, 45000.5, 640, 480, 17, &stamp, 1));
    ASSERT_TRUE(engine_.WriteTmpBMPInfo(b, std::int64_t{3} << 31, 45001.0, 50, 30, 99999, &stamp, 1));
    TMemoryStream disk;
    disk.LoadFromFile(dir_.path() + "~OVTMP.Lst");
    const std::string expected = Rec(a, 45000.5, 1234, 640, 480, 17) + Rec(b, 45001.0, 0x7FFFFFFF, 50, 30, 99999);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(disk.Memory()), disk.Bytes().size()), expected);

    engine_.GetTempList();
    ASSERT_EQ(data_.TempList.size(), 2u);
    EXPECT_EQ(data_.TempList[1].Path, b);
    EXPECT_EQ(data_.TempList[1].Item->TmpNo, 99999);
    EXPECT_EQ(data_.TempIndex.at(a), std::vector<std::size_t>{0});
}

TEST_F(SignatureStoreTest, TempListKeepsWholeAndCurrentRecords) {
    const std::string a = Picture("a.jpg"), fresh = Picture("new.jpg");
    std::string bytes = Rec(Picture("old.jpg"), 1, 1, 10, 10, 5) + Rec(a, 1, 1, 10, 10, 6) +
                        Rec(fresh, 1, 1, 20, 20, 5) + Rec(a, 1, 1, 10, 10, 7);
    bytes += Rec(Picture("cut.jpg"), 1, 1, 1, 1, 8).substr(0, 20);
    std::ofstream(dir_.path() + "~OVTMP.Lst", std::ios::binary) << bytes;
    engine_.GetTempList();
    ASSERT_EQ(data_.TempList.size(), 3u);
    EXPECT_EQ(data_.TempIndex.count(pics_.path() + "old.jpg"), 0u);
    EXPECT_EQ(data_.TempIndex.count(pics_.path() + "cut.jpg"), 0u);
    EXPECT_EQ(data_.TempIndex.at(a), (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(data_.TempList[data_.TempIndex.at(fresh)[0]].Item->Width, 20);

    // No index: an empty list.
    fs::remove(dir_.path() + "~OVTMP.Lst");
    engine_.GetTempList();
    EXPECT_TRUE(data_.TempList.empty());
    EXPECT_TRUE(data_.TempIndex.empty());
}

TEST_F(SignatureStoreTest, AnIndexMostlyDeadIsRewrittenWithItsLiveRecords) {
    // a's signatures 1 and 2 were replaced by 3; b's number 5 was given anew
    // to c, whose signature was replaced by 6 later.
    auto rec = [&](const char* name, std::int32_t n) { return Rec(Picture(name), 1, 1, 10, 10, n); };
    const std::string live = rec("a.jpg", 3) + rec("c.jpg", 6);
    std::ofstream(dir_.path() + "~OVTMP.Lst", std::ios::binary)
        << rec("a.jpg", 1) + rec("a.jpg", 2) + rec("b.jpg", 5) + rec("c.jpg", 5) + live;
    for (int n : {1, 2, 3, 5, 6}) Touch(SignatureFileName(n));
    engine_.GetTempList();
    ASSERT_EQ(data_.TempList.size(), 2u);
    EXPECT_EQ(data_.TempList[1].Item->TmpNo, 6);
    std::ifstream in(dir_.path() + "~OVTMP.Lst", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), live);
    EXPECT_EQ(Names(), (std::vector<std::string>{"~OVTMP.Lst", "~OVTMP3.BMP", "~OVTMP6.BMP"}));

    // Half dead is kept as it is.
    const std::string half = live + rec("a.jpg", 4) + rec("c.jpg", 7);
    std::ofstream(dir_.path() + "~OVTMP.Lst", std::ios::binary | std::ios::trunc) << half;
    engine_.GetTempList();
    EXPECT_EQ(fs::file_size(dir_.path() + "~OVTMP.Lst"), half.size());
}

// A BMP file of bits 8 (grey palette) or 24 with pixel bytes from a formula;
// rows stored top-down when the height is negative.
std::string BmpBytes(int width, int height, int bits) {
    const int rows = std::abs(height);
    const std::size_t stride = (static_cast<std::size_t>(width) * bits / 8 + 3) / 4 * 4;
    const std::size_t palette = bits == 8 ? 1024 : 0;
    std::string b = "BM";
    test::PutLe32(b, 54 + palette + stride * rows);
    test::PutLe32(b, 0);
    test::PutLe32(b, 54 + palette);
    for (const std::int64_t v : {40, width, height})
        test::PutLe32(b, static_cast<std::uint32_t>(v));
    test::PutLe16(b, 1);
    test::PutLe16(b, bits);
    for (int n = 0; n < 6; ++n) test::PutLe32(b, 0);
    for (int n = 0; n < (bits == 8 ? 256 : 0); ++n) test::PutLe32(b, n * 0x010101u);
    for (int y = 0; y < rows; ++y)
        for (std::size_t x = 0; x < stride; ++x) b.push_back(static_cast<char>(x * 37 + y * 11 + x * y));
    return b;
}

TEST_F(SignatureStoreTest, SignatureFilesReadAsThePictureLoaderReadsThem) {
    RegisterStandardPictures();
    std::string cut;
    ASSERT_TRUE(ReadFileBytes(engine_.SignaturePath(Store(50, 30)), cut));
    cut.resize(cut.size() - 10);
    const std::string files[] = {BmpBytes(7, 5, 24), BmpBytes(7, -5, 24), BmpBytes(80, 80, 24),
                                 BmpBytes(90, 20, 24), BmpBytes(9, 4, 8), cut};
    auto item = std::make_shared<TSTitems>();
    for (const std::string& bytes : files) {
        item->TmpNo = 7;
        ASSERT_TRUE(WriteFileAtomic(engine_.SignaturePath(item->TmpNo), bytes));
        item->SignatureSum = SignatureChecksum(bytes);
        TBitmap bitmap;
        LoadPictureToBitmap(engine_.SignaturePath(item->TmpNo), bitmap);
        const TCompactSignature expected = CompactFromBitmap(bitmap);
        const TCompactSignature got = engine_.LoadCompactSignature("/p.jpg", item.get());
        ASSERT_EQ(got.Width(), expected.Width());
        ASSERT_EQ(got.Height(), expected.Height());
        EXPECT_TRUE(std::equal(got.Words(), got.Words() + 3 * got.PlaneWords(), expected.Words()));
    }
    item->TmpNo = 8;  // no such file
    EXPECT_TRUE(engine_.LoadCompactSignature("/p.jpg", item.get()).Empty());
    // Another file put in the place of the one written for the record.
    item->TmpNo = 7;
    ASSERT_TRUE(WriteFileAtomic(engine_.SignaturePath(7), files[1]));
    EXPECT_TRUE(engine_.LoadCompactSignature("/p.jpg", item.get()).Empty());
}

TEST_F(SignatureStoreTest, RingCacheOverwritesItsOldestSlot) {
    data_.Chach = 3;
    engine_.InitChach();
    TBitmap sig[4];
    for (int i = 0; i < 4; ++i) {
        test::FillPattern(sig[i], 8, 8, i);
        engine_.SetChach(sig[i], "P" + std::to_string(i + 1));
    }
    ASSERT_EQ(data_.ChachItems.size(), 3u);
    EXPECT_EQ(data_.ChachItems[0].Path, "P4");
    EXPECT_EQ(data_.ChachItems[1].Path, "P2");
    EXPECT_EQ(data_.ChachItems[2].Path, "P3");
    EXPECT_EQ(data_.ChachPos, 1);
    // Storing a cached path again changes nothing.
    engine_.SetChach(sig[0], "P2");
    EXPECT_EQ(data_.ChachPos, 1);

    TBitmap out;
    test::FillPattern(out, 2, 2, 9);
    EXPECT_FALSE(engine_.GetChach(out, "P1"));
    EXPECT_EQ(out.Width(), 2);
    ASSERT_TRUE(engine_.GetChach(out, "P2"));
    ASSERT_EQ(out.Width(), 8);
    for (int y = 0; y < 8; ++y) EXPECT_EQ(0, std::memcmp(out.ScanLine(y), sig[1].ScanLine(y), 8 * 3));

    engine_.FreeChach();
    EXPECT_FALSE(engine_.GetChach(out, "P4"));
    // A cache of length 0 caches nothing.
    data_.Chach = 0;
    engine_.InitChach();
    engine_.SetChach(sig[0], "P1");
    EXPECT_FALSE(engine_.GetChach(out, "P1"));
}

TEST_F(SignatureStoreTest, DeleteRemovesSignaturesAndTheIndexOnly) {
    for (const char* name : {"~OVTMP1.BMP", "~OVTMP22.bmp", "~OVTMP123456.BMP", "~OVTMP.Lst", "~OVTMPx.BMP",
                             "~OVTMP1234567.BMP", "holiday.BMP", "~OVTMP.lst"})
        Touch(name);
    EXPECT_TRUE(engine_.LeftoverSignaturesExist());
    engine_.DeleteChashFile();
    EXPECT_FALSE(engine_.LeftoverSignaturesExist());
    EXPECT_EQ(Names(), (std::vector<std::string>{"holiday.BMP", "~OVTMP.lst", "~OVTMP1234567.BMP", "~OVTMPx.BMP"}));
    ASSERT_EQ(view_.labels.size(), 3u);
    EXPECT_EQ(view_.labels.back().index, 1);
    EXPECT_EQ(view_.labels.back().caption, "終了処理一時ファイル削除中 [3]");
    EXPECT_EQ(view_.lastHint, "終了処理一時ファイル削除中 [3]");
    EXPECT_EQ(view_.cursor, (std::vector<bool>{true, false}));

    // Nothing to delete: the index still goes, the label stays as it was.
    Touch("~OVTMP.Lst");
    view_.labels.clear();
    engine_.DeleteChashFile();
    EXPECT_TRUE(view_.labels.empty());
    EXPECT_FALSE(fs::exists(dir_.path() + "~OVTMP.Lst"));
}

// A run of another program that starts while the files are being removed
// would take over index records whose files go: the folder stays locked
// until the clean-up ends.
TEST_F(SignatureStoreTest, TheCleanUpHoldsTheFolderUntilItEnds) {
    for (int n = 1; n <= 3; ++n) Touch(SignatureFileName(n));
    test::TempDir runtime;
    int tries = 0, took = 0;
    view_.onMessages = [&] {
        test::LockHolder other("TOV_MainForm_clean" + std::to_string(::getpid()), dir_.path(), runtime.path());
        ++tries;
        took += other.Took() ? 1 : 0;
    };
    engine_.CloseWorkFolder();
    EXPECT_EQ(engine_.DeleteChashFile(), TWorkFolder::TState::Ready);
    EXPECT_GT(tries, 0);
    EXPECT_EQ(took, 0);
    EXPECT_EQ(Names(), std::vector<std::string>{});
}

TEST_F(SignatureStoreTest, WorkFolderWithoutDelimiter) {
    data_.WorkDir = dir_.path().substr(0, dir_.path().size() - 1);
    EXPECT_EQ(engine_.SignaturePath(3), dir_.path() + "~OVTMP3.BMP");
    EXPECT_EQ(engine_.IndexPath(), dir_.path() + "~OVTMP.Lst");
    data_.WorkDir.clear();
    EXPECT_EQ(engine_.SignatureFolder(), PrivateTempDir());
}

}  // namespace
}  // namespace orv
