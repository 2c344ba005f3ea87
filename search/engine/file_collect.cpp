// File collection: the counting and collecting passes over the two lists,
// the folder walk, the handling of one file and the identical-lists test.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <memory>

#include "filer/core/file_utils.h"
#include "platform/base/datetime.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/graphics/bitmap.h"
#include "search/engine/image_utils.h"
#include "search/engine/path_admission.h"
#include "search/engine/run_engine.h"
#include "search/engine/signature_index.h"

namespace orv {

namespace {

constexpr char kNoFilesText[] = "：比較元または対象にひとつもファイルが存在しません";
constexpr char kUnreadableText[] = "は正常に読み込めませんでした";
constexpr char kNoSizeText[] = "のサイズ取得に失敗しました";
constexpr char kWorkFolderText[] = "：作業フォルダに書き込めません";

}  // namespace

void TRunEngine::PauseWait() {
    while (data_.PauseFlag == 1) {
        view_.StopAnimation();
        pump_.Now();
        view_.Sleep(500);
        if (data_.StopFlag == 1) {
            data_.PauseFlag = 0;
            break;
        }
    }
}

void TRunEngine::LogEvent(const std::string& text) { view_.AppendLog(DateTimeToStr(Now()) + text); }

bool TRunEngine::CheckTaiouFileType(const std::string& path) const {
    const std::string ext = LowerAscii(ExtractFileExt(path));
    return std::find(data_.TaiouExts.begin(), data_.TaiouExts.end(), ext) != data_.TaiouExts.end();
}

void TRunEngine::ReportWorkFolderFailure() {
    LogEvent(kWorkFolderText + SignatureFolder());
    // Every further picture would fail alike, and a run over the pictures
    // collected so far would record its source rows as done.
    data_.StopFlag = 1;
}

bool TRunEngine::IsOwnWorkFile(const std::string& path) const {
    auto inWorkFolder = [this](const std::string& file) {
        return IsWorkFileName(ExtractFileName(file)) && SameFile(ExtractFilePath(file), SignatureFolder());
    };
    if (inWorkFolder(path)) return true;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    const std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr), &std::free);
    return target && inWorkFolder(target.get());
}

void TRunEngine::GetFileListMain() {
    data_.FileCount = {0, 0};
    runNumbers_.clear();
    workFolderFailed_ = false;

    // One pass over both sides; false when a stop ended it.
    auto pass = [&](int mode) -> bool {
        for (int side = 0; side < 2; ++side) {
            for (const std::string& entry : view_.ListEntries(side)) {
                pump_.Tick();
                if (IsDirectory(entry)) {
                    GetDirListOne(entry, side, mode);
                } else {
                    GetImageInfo(entry, side, mode);
                }
                if (data_.StopFlag == 1) return false;
                PauseWait();
            }
        }
        return true;
    };

    if (!pass(kModeCount)) return;
    if (data_.FileCount[0] == 0 || data_.FileCount[1] == 0) {
        LogEvent(kNoFilesText);
        return;
    }
    data_.FileNo = 0;
    view_.SetGaugeMax(static_cast<std::int64_t>(data_.FileCount[0]) + data_.FileCount[1] + 2);
    GetTempList();
    pass(kModeCollect);
}

void TRunEngine::GetDirListOne(const std::string& folder, int side, int mode) {
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, entries) || entries.empty()) return;
    const std::string base = IncludeTrailingPathDelimiter(folder);
    for (const FolderEntry& entry : entries) {
        pump_.Tick();
        if (entry.isDir && !entry.isSymlink) {
            // Linked folders are not entered: a link cycle would never end.
            if (data_.SubFolder == 1) GetDirListOne(base + entry.name + PathDelim, side, mode);
        } else if (!entry.isDir && !entry.linkToDir && CheckTaiouFileType(entry.name)) {
            GetImageInfo(base + entry.name, side, mode);
        }
        if (data_.StopFlag == 1) return;
        PauseWait();
    }
}

void TRunEngine::GetImageInfo(const std::string& path, int side, int mode) {
    if (!CheckTaiouFileType(path)) return;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    // A signature written by this very run would match its own picture.
    if (IsOwnWorkFile(path)) return;

    std::string caption;
    if (mode == kModeCount) {
        const std::int32_t count = ++data_.FileCount[side == 0 ? 0 : 1];
        if (count % 10 == 0) {
            caption = "ファイル存在のチェック中 [" + std::to_string(count) + "] " + path;
            view_.SetLabelInfo(1, caption, caption);
        }
        pump_.Tick();
        return;
    }
    ++data_.FileNo;
    view_.SetGaugePosition(data_.FileNo);
    caption = "情報収集と一時ファイル作成中 [" + std::to_string(data_.FileNo) + "] " + path;
    view_.SetLabelInfo(1, caption, caption);
    pump_.Tick();

    if (!IsStorablePath(path)) {
        view_.AppendLog(UnusablePathMessage(path));
        return;
    }

    TFileList& work = data_.WorkList(side);
    // First: a target that is also a source shares the source's record.
    if (side == 1) {
        const std::ptrdiff_t index = data_.SourceFiles.IndexOf(path);
        if (index >= 0) {
            work.Add(path, data_.SourceFiles.Objects(static_cast<std::size_t>(index)));
            return;
        }
    }
    const TDateTime fileDate = FileDateToDateTime(static_cast<std::int64_t>(st.st_mtime));
    // Second: a signature made by an earlier run of this very file. The size
    // comes from the file, since the index holds only 32 bits of it.
    if (const TTmpList* reuse = FindReusable(path, fileDate, static_cast<std::int64_t>(st.st_size))) {
        auto item = std::make_shared<TSTitems>(*reuse->Item);
        item->FileSize = static_cast<std::int64_t>(st.st_size);
        runNumbers_.emplace(item->TmpNo, path);
        work.Add(path, std::move(item));
        return;
    }
    // Third: load the image and make its signature.
    try {
        TBitmap bitmap;
        if (!LoadPictureToBitmap(path, bitmap)) {
            view_.AppendLog(path + kUnreadableText);
            return;
        }
        if (bitmap.Width() <= 0 || bitmap.Height() <= 0) {
            view_.AppendLog(path + kNoSizeText);
            return;
        }
        auto item = std::make_shared<TSTitems>();
        item->FileDate = fileDate;
        item->FileSize = static_cast<std::int64_t>(st.st_size);
        item->Width = bitmap.Width();
        item->Height = bitmap.Height();
        item->TmpNo = MakeTmpBMPFile(bitmap);
        if (item->TmpNo < 0) {
            if (WorkFolderFailed()) {
                ReportWorkFolderFailure();
            } else {
                view_.AppendLog(path + kUnreadableText);
            }
            return;
        }
        if (!WriteTmpBMPInfo(path, item->FileSize, item->FileDate, item->Width, item->Height, item->TmpNo)) {
            // A signature without its record would be taken for the image of
            // an older record that names the same number.
            RemoveFile(SignaturePath(item->TmpNo));
            ReportWorkFolderFailure();
            return;
        }
        runNumbers_[item->TmpNo] = path;
        RemoveSupersededSignatures(path);
        SetChach(bitmap, path);
        work.Add(path, std::move(item));
    } catch (const std::exception&) {
        view_.AppendLog(path + kUnreadableText);
    }
}

bool TRunEngine::CheckSingleHikaku() {
    if (data_.SourceFiles.Count() != data_.TargetFiles.Count()) return false;
    for (std::size_t i = 0; i < data_.SourceFiles.Count(); ++i) {
        pump_.Tick();
        if (data_.SourceFiles.Strings(i) != data_.TargetFiles.Strings(i)) return false;
        if (data_.StopFlag == 1) return true;
    }
    return true;
}

}  // namespace orv
