// The signature files, their index and the memory cache of signatures.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <limits>
#include <random>
#include <unordered_set>

#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/base/single_instance.h"
#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture_loader.h"
#include "search/engine/run_engine.h"
#include "search/engine/signature.h"
#include "search/engine/signature_index.h"

namespace orv {

namespace {

// Largest signature file read: the store writes at most 80 x 80 pixels of
// 24 bits; any larger file under a signature's name is not the store's.
constexpr std::int64_t kMaxSignatureFileBytes = 1 << 20;

}  // namespace

TRunEngine::TRunEngine(TMainData& data, IRunView& view)
    : data_(data), view_(view), pump_(view), randomMax_(kSignatureRandomMax), numberMax_(kSignatureNumberMax) {}

void TRunEngine::SetSignatureNumberRange(std::int32_t randomMax, std::int32_t max) {
    randomMax_ = std::max<std::int32_t>(0, randomMax);
    numberMax_ = std::max(randomMax_, max);
}

std::string TRunEngine::SignatureFolder() const {
    if (data_.WorkDir.empty()) return PrivateTempDir();
    return IncludeTrailingPathDelimiter(data_.WorkDir);
}

std::string TRunEngine::SignaturePath(std::int32_t number) const {
    return SignatureFolder() + SignatureFileName(number);
}

std::string TRunEngine::IndexPath() const { return SignatureFolder() + kSignatureIndexName; }

TWorkFolder::TState TRunEngine::OpenWorkFolder() {
    const std::string folder = SignatureFolder();
    std::lock_guard<std::mutex> guard(folderMutex_);
    if (!folder_ || folder_->Path() != folder || !folder_->Ready()) {
        folder_.reset();
        // The default folder is the program's own to make and keep private.
        const bool isDefault = data_.WorkDir.empty() || folder == PrivateTempStem();
        folder_ = std::make_shared<TWorkFolder>(folder, isDefault);
    }
    return folder_->State();
}

void TRunEngine::CloseWorkFolder() {
    std::lock_guard<std::mutex> guard(folderMutex_);
    folder_.reset();
}

bool TRunEngine::WorkFolderUnlocked() const {
    std::lock_guard<std::mutex> guard(folderMutex_);
    return folder_ && folder_->Unlocked();
}

std::shared_ptr<const TWorkFolder> TRunEngine::Work() const {
    {
        std::lock_guard<std::mutex> guard(folderMutex_);
        if (folder_ && folder_->Path() == SignatureFolder()) return folder_;
    }
    // Opened on first use outside a run (a run opens it at its start).
    const_cast<TRunEngine*>(this)->OpenWorkFolder();
    std::lock_guard<std::mutex> guard(folderMutex_);
    return folder_;
}

bool TRunEngine::NumberTaken(std::int32_t number) {
    std::lock_guard<std::mutex> guard(numbersMutex_);
    return takenNumbers_.count(number) != 0;
}

void TRunEngine::TakeNumber(std::int32_t number) {
    std::lock_guard<std::mutex> guard(numbersMutex_);
    takenNumbers_.insert(number);
}

std::int32_t TRunEngine::StoreSignature(const std::string& bmpBytes, bool pump, std::uint64_t* inode) {
    const std::shared_ptr<const TWorkFolder> work = Work();
    auto tryNumber = [&](std::int32_t number, bool& giveUp) -> bool {
        // A number an index record or this run names is never given again,
        // even when its file is gone: that record would stand for this
        // picture then.
        if (NumberTaken(number)) return false;
        // Exclusive creation: no race between "is the name free" and the
        // write, and never through a link placed under a signature's name.
        const std::string name = SignatureFileName(number);
        TFileHandle fd(work->CreateNew(name));
        if (fd.Get() < 0) {
            // A taken name lets the search go on; anything else (a missing
            // or read-only folder) will not get better with another number.
            giveUp = errno != EEXIST;
            return false;
        }
        struct stat st {};
        if (fd.WriteAll(bmpBytes.data(), bmpBytes.size()) && ::fstat(fd.Get(), &st) == 0 && fd.Close()) {
            TakeNumber(number);
            if (inode) *inode = static_cast<std::uint64_t>(st.st_ino);
            return true;
        }
        fd.Close();
        work->Remove(name);
        giveUp = true;  // disk full or an I/O error: no partial file stays
        return false;
    };

    bool giveUp = false;
    std::uniform_int_distribution<std::int32_t> draw(0, randomMax_);
    for (int i = 0; i < kRandomTries && !giveUp; ++i) {
        const std::int32_t n = draw(data_.Random);
        if (tryNumber(n, giveUp)) return n;
    }
    // The random range is crowded: take the next free number, going on from
    // the last one found so a crowded folder is not scanned from 0 each time.
    const std::int64_t span = std::int64_t{numberMax_} + 1;
    const std::int64_t start = std::min<std::int64_t>(sequentialFrom_, numberMax_);
    for (std::int64_t i = 0; i < span && !giveUp; ++i) {
        const auto n = static_cast<std::int32_t>((start + i) % span);
        if (tryNumber(n, giveUp)) {
            sequentialFrom_ = n + 1;
            return n;
        }
        if (pump && (i & 1023) == 0) pump_.Tick();
    }
    workFolderFailed_ = true;  // unwritable, full, or every number taken
    return -1;
}

std::int32_t TRunEngine::MakeTmpBMPFile(TBitmap& bitmap) {
    std::string bytes;
    if (!ReduceToSignature(bitmap, bytes)) return -1;
    return StoreSignature(bytes);
}

bool TRunEngine::WriteTmpBMPInfo(const std::string& path, std::int64_t fileSize, TDateTime fileDate,
                                 std::int32_t width, std::int32_t height, std::int32_t number,
                                 const TFileStamp* stamp, std::uint64_t signatureInode) {
    std::string record;
    try {
        record = EncodeIndexRecord(path, fileDate, fileSize, width, height, number, stamp, signatureInode);
    } catch (const Exception&) {
        return false;
    }
    TFileHandle fd(Work()->OpenAppend(kSignatureIndexName));
    if (fd.Get() < 0) return false;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return false;
    if (fd.WriteAll(record.data(), record.size())) return fd.Close();
    // A record cut short would hide every record appended after it: cut the
    // index back to what it was.
    if (::ftruncate(fd.Get(), st.st_size) != 0) {
        // Nothing more to do; the reader stops at the damaged record.
    }
    return false;
}

bool TRunEngine::AppendIndexRecord(const std::string& path, std::int64_t fileSize, TDateTime fileDate,
                                   std::int32_t width, std::int32_t height, std::int32_t number,
                                   const TFileStamp& stamp, std::uint64_t signatureInode) {
    std::string record;
    try {
        record = EncodeIndexRecord(path, fileDate, fileSize, width, height, number, &stamp, signatureInode);
    } catch (const Exception&) {
        return false;
    }
    if (!indexOut_.Valid()) {
        indexOut_ = Work()->OpenAppend(kSignatureIndexName);
        struct stat st {};
        if (!indexOut_.Valid() || ::fstat(indexOut_.Get(), &st) != 0) {
            indexOut_.Reset();
            return false;
        }
        indexOutSize_ = static_cast<std::int64_t>(st.st_size);
    }
    if (indexOut_.WriteAll(record.data(), record.size())) {
        indexOutSize_ += static_cast<std::int64_t>(record.size());
        return true;
    }
    // A record cut short would hide every record appended after it: cut the
    // index back to what it was.
    if (::ftruncate(indexOut_.Get(), indexOutSize_) != 0) {
        // Nothing more to do; the reader stops at the damaged record.
    }
    indexOut_.Reset();
    return false;
}

void TRunEngine::CloseIndexAppend() { indexOut_.Reset(); }

std::int32_t TRunEngine::StoreWithRecord(const std::string& path, const std::string& bmpBytes, std::int64_t fileSize,
                                         TDateTime fileDate, std::int32_t width, std::int32_t height,
                                         const TFileStamp& stamp, bool pump, std::uint64_t& signatureInode) {
    const std::int32_t number = StoreSignature(bmpBytes, pump, &signatureInode);
    if (number < 0) return -1;
    if (!AppendIndexRecord(path, fileSize, fileDate, width, height, number, stamp, signatureInode)) {
        // A signature without its record would be taken for the image of
        // an older record that names the same number.
        Work()->Remove(SignatureFileName(number));
        workFolderFailed_ = true;
        return -1;
    }
    return number;
}

void TRunEngine::GetTempList() {
    data_.TempList.clear();
    data_.TempIndex.clear();
    {
        std::lock_guard<std::mutex> guard(numbersMutex_);
        takenNumbers_.clear();
    }
    std::vector<TIndexRecord> records;
    {
        std::string bytes;
        if (!Work()->ReadWhole(kSignatureIndexName, bytes)) return;  // no index yet
        records = ParseSignatureIndex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    for (const TIndexRecord& rec : records) TakeNumber(rec.TmpNo);
    std::vector<TIndexRecord> live = LiveIndexRecords(records);
    // A record of a picture that is gone serves no run again.
    std::erase_if(live, [this](const TIndexRecord& rec) {
        pump_.Tick();
        struct stat st {};
        return ::stat(rec.Path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
    });
    if (records.size() - live.size() > live.size() && CompactIndex(records, live)) records = std::move(live);
    DropSupersededRecords(records);
    data_.TempList.reserve(records.size());
    for (TIndexRecord& rec : records) {
        if (!IsUsableRecord(rec)) continue;
        auto item = std::make_shared<TSTitems>();
        item->FileDate = rec.FileDate;
        item->FileSize = rec.FileSize;
        item->Width = rec.Width;
        item->Height = rec.Height;
        item->TmpNo = rec.TmpNo;
        item->Stamp = rec.Stamp;
        item->SignatureInode = rec.SignatureInode;
        const bool current = IsCurrentRecord(rec);
        data_.TempIndex[rec.Path].push_back(data_.TempList.size());
        data_.TempList.push_back(TTmpList{std::move(item), std::move(rec.Path), current});
    }
}

const TTmpList* TRunEngine::FindReusable(const std::string& path, TDateTime fileDate, const TFileStamp& now,
                                         bool checkSignatureFile) {
    const auto it = data_.TempIndex.find(path);
    if (it == data_.TempIndex.end()) return nullptr;
    // The index holds at most 32 bits of the size.
    const std::int64_t storedSize = std::clamp<std::int64_t>(now.Size, 0, std::numeric_limits<std::int32_t>::max());
    for (const std::size_t index : it->second) {
        const TTmpList& entry = data_.TempList[index];
        // Made by other readers, or without the picture's stamp: made anew.
        if (!entry.Current) continue;
        // A file changed since its signature was made needs a new one: the
        // old one would pair it with pictures it no longer resembles. Date
        // and size alone stay as they were when a copy keeps them.
        const TFileStamp& made = entry.Item->Stamp;
        if (entry.Item->FileDate != fileDate || entry.Item->FileSize != storedSize || made.Inode != now.Inode ||
            made.Size != now.Size || made.ModifiedNs != now.ModifiedNs || made.ChangedNs != now.ChangedNs)
            continue;
        // The number was free when this run made another picture's signature
        // under it: the record's own file had gone.
        const auto used = runNumbers_.find(entry.Item->TmpNo);
        if (used != runNumbers_.end() && used->second != path) continue;
        if (!checkSignatureFile) return &entry;
        // The file under the record's number must be the one written for it,
        // whole, and of the size the record's picture gives.
        std::int32_t expectW = 0, expectH = 0, sigW = 0, sigH = 0;
        ExpectedSignatureSize(entry.Item->Width, entry.Item->Height, expectW, expectH);
        std::string bytes;
        struct stat st {};
        if (!Work()->ReadWhole(SignatureFileName(entry.Item->TmpNo), bytes, kMaxSignatureFileBytes, &st) ||
            static_cast<std::uint64_t>(st.st_ino) != entry.Item->SignatureInode ||
            !SignatureBmpSize(bytes, sigW, sigH) || sigW != expectW || sigH != expectH)
            continue;
        return &entry;
    }
    return nullptr;
}

bool TRunEngine::CompactIndex(const std::vector<TIndexRecord>& records, const std::vector<TIndexRecord>& live) {
    std::string bytes;
    try {
        for (const TIndexRecord& rec : live)
            bytes += EncodeIndexRecord(rec.Path, rec.FileDate, rec.FileSize, rec.Width, rec.Height, rec.TmpNo,
                                       &rec.Stamp, rec.SignatureInode);
    } catch (const Exception&) {
        return false;
    }
    const std::shared_ptr<const TWorkFolder> work = Work();
    // Replaces the index's name itself: a link there is never written through.
    if (!work->Replace(kSignatureIndexName, bytes)) return false;  // the old index stays as it was
    std::unordered_set<std::int32_t> kept;
    for (const TIndexRecord& rec : live) kept.insert(rec.TmpNo);
    for (const TIndexRecord& rec : records) {
        if (kept.count(rec.TmpNo) != 0) continue;
        const std::string name = SignatureFileName(rec.TmpNo);
        if (IsSignatureFileName(name)) work->Remove(name);
    }
    return true;
}

void TRunEngine::RemoveSupersededSignatures(const std::string& path) {
    const auto it = data_.TempIndex.find(path);
    if (it == data_.TempIndex.end()) return;
    // After the number rule of GetTempList these numbers are path's alone,
    // unless this run has used one since (given afresh to another picture,
    // or reused for an earlier entry of this path).
    const std::shared_ptr<const TWorkFolder> work = Work();
    for (const std::size_t index : it->second) {
        const std::int32_t number = data_.TempList[index].Item->TmpNo;
        if (runNumbers_.count(number) == 0) work->Remove(SignatureFileName(number));
    }
    data_.TempIndex.erase(it);
}

namespace {

std::uint32_t FileU32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

// The signature files the store writes (24-bit, uncompressed, a 40-byte
// info header, at most kSignatureSide square) read straight from their
// bytes, as the bitmap reader would lay them out; false for any other file.
bool CompactFromSignatureBytes(const std::string& b, TCompactSignature& out) {
    constexpr std::size_t kHeaders = 14 + 40;
    if (b.size() < kHeaders || b[0] != 'B' || b[1] != 'M' || FileU32(b, 14) != 40) return false;
    const auto width = static_cast<std::int32_t>(FileU32(b, 18));
    const auto rawHeight = static_cast<std::int32_t>(FileU32(b, 22));
    const std::uint32_t bits = FileU32(b, 28) & 0xFFFFu;
    if (bits != 24 || FileU32(b, 30) != 0) return false;
    const bool topDown = rawHeight < 0;
    const std::int64_t rows = topDown ? -static_cast<std::int64_t>(rawHeight) : rawHeight;
    if (width < 1 || width > kSignatureSide || rows < 1 || rows > kSignatureSide) return false;
    const auto height = static_cast<int>(rows);
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
    const std::size_t offBits = FileU32(b, 10);
    const std::size_t start = offBits != 0 && offBits >= kHeaders && offBits < b.size() ? offBits : kHeaders;
    if (stride * static_cast<std::size_t>(height) > b.size() - start) return false;
    const auto* data = reinterpret_cast<const std::uint8_t*>(b.data()) + start;
    // Bottom-up rows unless the height is negative.
    const TGrayView view = topDown ? TGrayView{data, width, height, static_cast<std::ptrdiff_t>(stride), 3}
                                   : TGrayView{data + stride * static_cast<std::size_t>(height - 1), width, height,
                                               -static_cast<std::ptrdiff_t>(stride), 3};
    out = TCompactSignature(view);
    return true;
}

}  // namespace

TCompactSignature TRunEngine::LoadCompactSignature(const std::string& path, const TSTitems* item) const {
    try {
        TBitmap bitmap;
        if (GetChach(bitmap, path)) return CompactFromBitmap(bitmap);
        if (!item) return {};
        // One read of the whole file; a missing or unreadable one, or one
        // that is not the file written or found for the record (replaced
        // since), gives an empty signature.
        std::string bytes;
        struct stat st {};
        if (!Work()->ReadWhole(SignatureFileName(item->TmpNo), bytes, kMaxSignatureFileBytes, &st) ||
            static_cast<std::uint64_t>(st.st_ino) != item->SignatureInode)
            return {};
        TCompactSignature signature;
        if (CompactFromSignatureBytes(bytes, signature)) return signature;
        // Any other bitmap file goes through the bitmap reader as loaded.
        try {
            TMemoryStream stream(bytes.data(), bytes.size());
            bitmap.LoadFromStream(stream);
        } catch (const std::exception&) {
            return {};
        }
        return CompactFromBitmap(bitmap);
    } catch (const std::exception&) {
        return {};
    }
}

void TRunEngine::InitChach() {
    FreeChach();
    data_.ChachItems.resize(static_cast<std::size_t>(std::max<std::int32_t>(0, data_.Chach)));
    data_.ChachPos = 0;
}

void TRunEngine::FreeChach() {
    data_.ChachItems.clear();
    data_.ChachItems.shrink_to_fit();
    data_.ChachIndex.clear();
}

bool TRunEngine::GetChach(TBitmap& dest, const std::string& path) const {
    const auto it = data_.ChachIndex.find(path);
    if (it == data_.ChachIndex.end() || it->second >= data_.ChachItems.size()) return false;
    const TChach& slot = data_.ChachItems[it->second];
    if (!slot.Bitmap || slot.Path != path) return false;
    dest.Assign(*slot.Bitmap);
    return true;
}

void TRunEngine::SetChach(const TBitmap& signature, const std::string& path) {
    if (data_.ChachItems.empty()) return;
    if (data_.ChachIndex.count(path) != 0) return;  // the cached copy stays
    if (data_.ChachPos < 0 || static_cast<std::size_t>(data_.ChachPos) >= data_.ChachItems.size())
        data_.ChachPos = 0;
    const std::size_t pos = static_cast<std::size_t>(data_.ChachPos);
    TChach& slot = data_.ChachItems[pos];
    if (slot.Bitmap) {
        data_.ChachIndex.erase(slot.Path);
    } else {
        slot.Bitmap = std::make_unique<TBitmap>();
    }
    slot.Bitmap->Assign(signature);
    slot.Path = path;
    data_.ChachIndex[path] = pos;
    data_.ChachPos = static_cast<std::int32_t>(pos + 1 >= data_.ChachItems.size() ? 0 : pos + 1);
}

bool TRunEngine::LeftoverSignaturesExist() const {
    const std::vector<FolderEntry> entries = ListFolder(SignatureFolder());
    return std::any_of(entries.begin(), entries.end(),
                       [](const FolderEntry& e) { return !e.isDir && IsSignatureFileName(e.name); });
}

TWorkFolder::TState TRunEngine::DeleteChashFile() {
    // The folder stays locked until every file is gone, so no run of
    // another program starts on an index whose files are being removed (a
    // run of this one shares the lock).
    const std::shared_ptr<const TWorkFolder> work = Work();
    if (!work->Ready()) return work->State();
    {
        TViewWaitCursor cursor(view_);
        std::int64_t count = 0;
        for (const std::string& name : work->FileNames()) {
            if (!IsSignatureFileName(name) || !work->Remove(name)) continue;  // skipped silently
            ++count;
            const std::string text = "終了処理一時ファイル削除中 [" + std::to_string(count) + "]";
            view_.SetLabelInfo(1, text, text);
            pump_.Tick();
        }
    }
    work->Remove(kSignatureIndexName);
    return TWorkFolder::TState::Ready;
}

}  // namespace orv
