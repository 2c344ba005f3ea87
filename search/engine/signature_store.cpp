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

int TRunEngine::CreateSignatureFile(std::int32_t number) const {
    // Exclusive creation: no race between "is the name free" and the write,
    // and never through a link someone placed under a signature's name.
    return ::open(SignaturePath(number).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

std::int32_t TRunEngine::StoreSignature(const std::string& bmpBytes, bool pump) {
    auto tryNumber = [&](std::int32_t number, bool& giveUp) -> bool {
        TFileHandle fd(CreateSignatureFile(number));
        if (fd.Get() < 0) {
            // A taken name lets the search go on; anything else (a missing
            // or read-only folder) will not get better with another number.
            giveUp = errno != EEXIST;
            return false;
        }
        if (fd.WriteAll(bmpBytes.data(), bmpBytes.size()) && fd.Close()) return true;
        fd.Close();
        ::unlink(SignaturePath(number).c_str());
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
                                 const TFileStamp* stamp) {
    std::string record;
    try {
        record = EncodeIndexRecord(path, fileDate, fileSize, width, height, number, stamp);
    } catch (const Exception&) {
        return false;
    }
    TFileHandle fd(OpenRegularFile(IndexPath(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW, 0600));
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
                                   const TFileStamp& stamp) {
    std::string record;
    try {
        record = EncodeIndexRecord(path, fileDate, fileSize, width, height, number, &stamp);
    } catch (const Exception&) {
        return false;
    }
    if (!indexOut_.Valid()) {
        indexOut_ = OpenRegularFile(IndexPath(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW, 0600);
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
                                         const TFileStamp& stamp, bool pump) {
    const std::int32_t number = StoreSignature(bmpBytes, pump);
    if (number < 0) return -1;
    if (!AppendIndexRecord(path, fileSize, fileDate, width, height, number, stamp)) {
        // A signature without its record would be taken for the image of
        // an older record that names the same number.
        DeleteFile(SignaturePath(number));
        workFolderFailed_ = true;
        return -1;
    }
    return number;
}

void TRunEngine::GetTempList() {
    data_.TempList.clear();
    data_.TempIndex.clear();
    indexWrittenNs_ = 0;
    std::vector<TIndexRecord> records;
    try {
        TFileStream stream(IndexPath(), FileMode::OpenRead);
        indexWrittenNs_ = ReadFileStamp(IndexPath()).ModifiedNs;
        records = ReadSignatureIndex(stream);
    } catch (const Exception&) {
        return;  // no index yet
    }
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
        data_.TempIndex[rec.Path].push_back(data_.TempList.size());
        data_.TempList.push_back(TTmpList{std::move(item), std::move(rec.Path)});
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
        // A file changed since its signature was made needs a new one: the
        // old one would pair it with pictures it no longer resembles. Date
        // and size alone stay as they were when a copy keeps them.
        if (entry.Item->FileDate != fileDate || entry.Item->FileSize != storedSize) continue;
        const TFileStamp& made = entry.Item->Stamp;
        if (made.Known ? made.Inode != now.Inode || made.Size != now.Size || made.ModifiedNs != now.ModifiedNs ||
                             made.ChangedNs != now.ChangedNs
                       : now.ChangedNs > indexWrittenNs_)
            continue;
        // The number was free when this run made another picture's signature
        // under it: the record's own file had gone.
        const auto used = runNumbers_.find(entry.Item->TmpNo);
        if (used != runNumbers_.end() && used->second != path) continue;
        if (!checkSignatureFile) return &entry;
        // A signature whose size disagrees with its record belongs to another
        // image (its number was given anew after the file vanished).
        std::int32_t expectW = 0, expectH = 0, sigW = 0, sigH = 0;
        ExpectedSignatureSize(entry.Item->Width, entry.Item->Height, expectW, expectH);
        TFileStamp signature;
        if (!ReadBmpFileSize(SignaturePath(entry.Item->TmpNo), sigW, sigH, &signature) || sigW != expectW ||
            sigH != expectH)
            continue;
        // Without a stamp, the picture must be older than its signature too
        // (the index's time moves on with every record appended).
        if (!made.Known && (now.ChangedNs > signature.ModifiedNs || now.ChangedNs > signature.ChangedNs)) continue;
        return &entry;
    }
    return nullptr;
}

bool TRunEngine::CompactIndex(const std::vector<TIndexRecord>& records, const std::vector<TIndexRecord>& live) {
    const std::string index = IndexPath();
    struct stat st {};
    // Never written through a link placed under the index's name.
    if (::lstat(index.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::string bytes;
    try {
        for (const TIndexRecord& rec : live)
            bytes += EncodeIndexRecord(rec.Path, rec.FileDate, rec.FileSize, rec.Width, rec.Height, rec.TmpNo,
                                       &rec.Stamp);
    } catch (const Exception&) {
        return false;
    }
    if (!WriteFileAtomic(index, bytes)) return false;  // the old index stays as it was
    std::unordered_set<std::int32_t> kept;
    for (const TIndexRecord& rec : live) kept.insert(rec.TmpNo);
    for (const TIndexRecord& rec : records) {
        if (kept.count(rec.TmpNo) != 0) continue;
        const std::string name = SignatureFileName(rec.TmpNo);
        if (IsSignatureFileName(name)) DeleteFile(SignatureFolder() + name);
    }
    return true;
}

void TRunEngine::RemoveSupersededSignatures(const std::string& path) {
    const auto it = data_.TempIndex.find(path);
    if (it == data_.TempIndex.end()) return;
    // After the number rule of GetTempList these numbers are path's alone,
    // unless this run has used one since (given afresh to another picture,
    // or reused for an earlier entry of this path).
    for (const std::size_t index : it->second) {
        const std::int32_t number = data_.TempList[index].Item->TmpNo;
        if (runNumbers_.count(number) == 0) DeleteFile(SignaturePath(number));
    }
    data_.TempIndex.erase(it);
}

namespace {

// Largest signature file read whole into memory; a larger file under a
// signature's name is left to the picture loader.
constexpr std::int64_t kMaxSignatureFileBytes = 1 << 20;

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
        // One read of the whole file; a missing or unreadable one gives an
        // empty signature.
        const std::string file = SignaturePath(item->TmpNo);
        std::string bytes;
        if (!ReadFileBytes(file, bytes, nullptr, kMaxSignatureFileBytes)) {
            if (errno == EFBIG) LoadPictureToBitmap(file, bitmap);
            return CompactFromBitmap(bitmap);
        }
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

void TRunEngine::DeleteChashFile() {
    const std::string folder = SignatureFolder();
    // Another program's run reads them (a run of this one shares the lock).
    if (TFolderLock(folder).HeldElsewhere()) return;
    {
        TViewWaitCursor cursor(view_);
        std::int64_t count = 0;
        for (const FolderEntry& entry : ListFolder(folder)) {
            if (entry.isDir || !IsSignatureFileName(entry.name)) continue;
            if (!DeleteFile(folder + entry.name)) continue;  // skipped silently
            ++count;
            const std::string text = "終了処理一時ファイル削除中 [" + std::to_string(count) + "]";
            view_.SetLabelInfo(1, text, text);
            pump_.Tick();
        }
    }
    DeleteFile(IndexPath());
}

}  // namespace orv
