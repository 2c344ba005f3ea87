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
#include <utility>

#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/base/single_instance.h"
#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture_loader.h"
#include "search/engine/run_engine.h"
#include "search/engine/signature.h"
#include "search/engine/signature_cache.h"
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

std::shared_ptr<const TWorkFolder> TRunEngine::FolderOpened(bool retry) const {
    const std::string folder = SignatureFolder();
    std::lock_guard<std::mutex> guard(folderMutex_);
    if (!folder_ || folder_->Path() != folder || (retry && !folder_->Ready())) {
        folder_.reset();
        // The default folder is the program's own to make and keep private.
        const bool isDefault = data_.WorkDir.empty() || folder == PrivateTempStem();
        folder_ = std::make_shared<TWorkFolder>(folder, isDefault);
    }
    return folder_;
}

TWorkFolder::TState TRunEngine::OpenWorkFolder() { return FolderOpened(true)->State(); }

void TRunEngine::CloseWorkFolder() {
    std::lock_guard<std::mutex> guard(folderMutex_);
    folder_.reset();
}

bool TRunEngine::WorkFolderUnlocked() const {
    std::lock_guard<std::mutex> guard(folderMutex_);
    return folder_ && folder_->Unlocked();
}

std::shared_ptr<const TWorkFolder> TRunEngine::Work() const { return FolderOpened(false); }

bool TRunEngine::NumberTaken(std::int32_t number) {
    std::lock_guard<std::mutex> guard(numbersMutex_);
    return takenNumbers_.count(number) != 0;
}

void TRunEngine::TakeNumber(std::int32_t number) {
    std::lock_guard<std::mutex> guard(numbersMutex_);
    takenNumbers_.insert(number);
}

std::int32_t TRunEngine::StoreSignature(const std::string& bmpBytes, bool pump) {
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
        if (fd.WriteAll(bmpBytes.data(), bmpBytes.size()) && fd.Close()) {
            TakeNumber(number);
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
                                 const TFileStamp* stamp, std::uint64_t signatureChecksum) {
    // One record through the collection's appender, closed again unless a
    // collection holds it open.
    const bool open = indexOut_.Valid();
    const bool written = AppendIndexRecord(path, fileSize, fileDate, width, height, number, stamp, signatureChecksum);
    if (!open) CloseIndexAppend();
    return written;
}

bool TRunEngine::AppendIndexRecord(const std::string& path, std::int64_t fileSize, TDateTime fileDate,
                                   std::int32_t width, std::int32_t height, std::int32_t number,
                                   const TFileStamp* stamp, std::uint64_t signatureChecksum) {
    std::string record;
    try {
        record = EncodeIndexRecord(path, fileDate, fileSize, width, height, number, stamp, signatureChecksum);
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
                                         const TFileStamp& stamp, bool pump, std::uint64_t& signatureChecksum) {
    const std::int32_t number = StoreSignature(bmpBytes, pump);
    if (number < 0) return -1;
    signatureChecksum = SignatureChecksum(bmpBytes);
    if (!AppendIndexRecord(path, fileSize, fileDate, width, height, number, &stamp, signatureChecksum)) {
        // A signature without its record would be taken for the image of
        // an older record that names the same number.
        Work()->Remove(SignatureFileName(number));
        workFolderFailed_ = true;
        return -1;
    }
    return number;
}

void TRunEngine::GetTempList(const std::function<bool(const std::string& path)>& present) {
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
    // A record of a picture that is gone serves no run again. The walk has
    // just seen the pictures of the lists; the others are looked at only
    // when their being gone could make the dead records the majority.
    const std::size_t seen = present ? static_cast<std::size_t>(std::count_if(
                                           live.begin(), live.end(),
                                           [&present](const TIndexRecord& rec) { return present(rec.Path); }))
                                     : 0;
    // At most records - seen are dead even if every picture not seen is gone.
    if (records.size() - seen > seen) {
        std::erase_if(live, [this, &present](const TIndexRecord& rec) {
            if (present && present(rec.Path)) return false;
            pump_.Tick();
            struct stat st {};
            return ::stat(rec.Path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
        });
        if (records.size() - live.size() > live.size() && CompactIndex(records, live)) records = std::move(live);
    }
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
        item->SignatureSum = rec.SignatureSum;
        const bool current = IsCurrentRecord(rec);
        data_.TempIndex[rec.Path].push_back(data_.TempList.size());
        data_.TempList.push_back(TTmpList{std::move(item), std::move(rec.Path), current});
    }
}

std::vector<TRunEngine::TReuseCandidate> TRunEngine::ReuseCandidates(const std::string& path, TDateTime fileDate,
                                                                     const TFileStamp& now) const {
    std::vector<TReuseCandidate> candidates;
    const auto it = data_.TempIndex.find(path);
    if (it == data_.TempIndex.end()) return candidates;
    // The index holds at most 32 bits of the size.
    const std::int64_t storedSize = std::clamp<std::int64_t>(now.Size, 0, std::numeric_limits<std::int32_t>::max());
    for (const std::size_t index : it->second) {
        const TTmpList& entry = data_.TempList[index];
        // Made by other readers, or without the picture's stamp: made anew.
        if (!entry.Current) continue;
        // A file changed since its signature was made needs a new one: the
        // old one would pair it with pictures it no longer resembles. Date
        // and size alone stay as they were when a copy keeps them.
        const TSTitems& made = *entry.Item;
        if (made.FileDate != fileDate || made.FileSize != storedSize || made.Stamp.Inode != now.Inode ||
            made.Stamp.Size != now.Size || made.Stamp.ModifiedNs != now.ModifiedNs ||
            made.Stamp.ChangedNs != now.ChangedNs)
            continue;
        TReuseCandidate c;
        c.Entry = index;
        c.Number = made.TmpNo;
        c.Sum = made.SignatureSum;
        ExpectedSignatureSize(made.Width, made.Height, c.Width, c.Height);
        candidates.push_back(c);
    }
    return candidates;
}

bool TRunEngine::ReadKeptSignature(const TReuseCandidate& candidate, TCompactSignature& out) const {
    TCompactSignature read;
    if (!ReadSignatureFile(candidate.Number, candidate.Sum, read) || read.Width() != candidate.Width ||
        read.Height() != candidate.Height)
        return false;
    out = std::move(read);
    return true;
}

bool TRunEngine::CompactIndex(const std::vector<TIndexRecord>& records, const std::vector<TIndexRecord>& live) {
    std::string bytes;
    try {
        for (const TIndexRecord& rec : live)
            bytes += EncodeIndexRecord(rec.Path, rec.FileDate, rec.FileSize, rec.Width, rec.Height, rec.TmpNo,
                                       &rec.Stamp, rec.SignatureSum);
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
    // and no new signature takes one of them; only one this run reused for
    // an earlier entry of this path stays.
    const std::shared_ptr<const TWorkFolder> work = Work();
    for (const std::size_t index : it->second) {
        const std::int32_t number = data_.TempList[index].Item->TmpNo;
        if (runNumbers_.count(number) == 0) work->Remove(SignatureFileName(number));
    }
    data_.TempIndex.erase(it);
}

namespace {

std::uint32_t FileU32(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

// The signature files the store writes (24-bit, uncompressed, a 40-byte
// info header, at most kSignatureSide square) read straight from their
// bytes, as the bitmap reader would lay them out; false for any other file.
bool CompactFromSignatureBytes(std::string_view b, TCompactSignature& out) {
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

bool TRunEngine::ReadSignatureFile(std::int32_t number, std::uint64_t sum, TCompactSignature& out) const {
    // One read into a buffer larger than any signature file (a file that
    // fills it is no signature of the store's), left uninitialised so that
    // only the pages a read fills are ever touched.
    constexpr std::size_t kCapacity = kMaxSignatureFileBytes + 1;
    thread_local const std::unique_ptr<char[]> buffer(new char[kCapacity]);
    const std::int64_t got = Work()->ReadOnce(SignatureFileName(number), buffer.get(), kCapacity);
    if (got <= 0 || got > kMaxSignatureFileBytes) return false;
    const std::string_view bytes(buffer.get(), static_cast<std::size_t>(got));
    // Another file under the number (replaced, cut short) is not this one.
    if (SignatureChecksum(bytes) != sum) return false;
    if (CompactFromSignatureBytes(bytes, out)) return true;
    // Any other bitmap file goes through the bitmap reader as loaded.
    try {
        TMemoryStream stream(bytes.data(), bytes.size());
        TBitmap bitmap;
        bitmap.LoadFromStream(stream);
        out = CompactFromBitmap(bitmap);
    } catch (const std::exception&) {
        return false;
    }
    return !out.Empty();
}

TCompactSignature TRunEngine::LoadCompactSignature(const std::string& path, const TSTitems* item) const {
    try {
        TBitmap bitmap;
        if (GetChach(bitmap, path)) return CompactFromBitmap(bitmap);
        // A missing or unreadable file, or one that is not the file written
        // for the record, gives an empty signature.
        TCompactSignature signature;
        if (!item || !ReadSignatureFile(item->TmpNo, item->SignatureSum, signature)) return {};
        return signature;
    } catch (const std::exception&) {
        return {};
    }
}

void TRunEngine::KeepSignature(const TSTitemsPtr& item, TCompactSignature signature) {
    const std::size_t bytes = signature.MemoryBytes();
    // Beyond the memory for signatures the pair loop reads it again.
    if (signature.Empty() || keptBytes_ + bytes > keptBudget_) return;
    keptBytes_ += bytes;
    kept_[item.get()] = {item, std::move(signature)};
}

TRunEngine::TKeptSignatures TRunEngine::TakeKeptSignatures() {
    keptBytes_ = 0;
    return std::exchange(kept_, {});
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
        for (const FolderEntry& entry : ListFolder(work->Path())) {
            if (entry.isDir || !IsSignatureFileName(entry.name)) continue;
            // Through the locked folder, by name: a link goes itself. One
            // that cannot be removed is skipped silently.
            if (!work->Remove(entry.name)) continue;
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
