#include "filer/core/pair_data.h"

#include <exception>

#include "filer/core/file_utils.h"
#include "filer/core/result_file.h"
#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "platform/base/storable_path.h"

namespace orv {

namespace {

// A taken hand-over file, removed once it has been read, however the read
// ends.
struct TTakenFile {
    std::string path;
    TTakenFile() = default;
    TTakenFile(const TTakenFile&) = delete;
    TTakenFile& operator=(const TTakenFile&) = delete;
    ~TTakenFile() {
        if (path.empty()) return;
        try {
            DeleteFile(path);
        } catch (...) {
        }
    }
};

}  // namespace

TPairData ReadPairData(const std::string& folder) {
    TPairData data;
    TTakenFile doFiles, doFiles2;
    try {
        // Both files go before anything is read or done. A DoFiles2.Dat that
        // is no regular file is gone too, and counts as missing.
        try {
            doFiles2.path = TakeHandOverFile(folder + kDoFiles2Name);
        } catch (const std::exception&) {
        }
        doFiles.path = TakeHandOverFile(folder + kDoFilesName);
        const TDoFiles files = doFiles.path.empty() ? TDoFiles{} : ReadDoFiles(doFiles.path);
        data.Request = files.Request;
        data.DoingNo = files.No;
        switch (data.DoingNo) {
            case THandOverMode::Automatic:
                data.Syori = files.Syori;
                data.TgtDir = files.TgtDir;
                data.PairL.resize(1);
                data.ResText.resize(1);
                data.PairL[0].File = files.File;
                data.PairL[0].Stamp = files.Stamp;
                data.Target = files.Target;
                break;
            case THandOverMode::OnePair:
                data.PairL = {files.L};
                data.PairR = {files.R};
                data.ResText.resize(1);
                break;
            case THandOverMode::WholeLog: {
                if (doFiles2.path.empty()) throw EReadError(folder + kDoFiles2Name);
                TFileStream file(doFiles2.path, FileMode::OpenRead, TLinks::NoFollow);
                TDoFiles2 log = ReadDoFiles2(file);
                data.PairL = std::move(log.PairL);
                data.PairR = std::move(log.PairR);
                data.ResText = std::move(log.ResText);
                break;
            }
            default:
                data.Usable = false;
                break;
        }
        // A first pair outside the list starts at the first one.
        data.LoadNo = files.LoadNo >= 0 && static_cast<std::uint64_t>(files.LoadNo) < data.PairL.size()
                          ? static_cast<std::size_t>(files.LoadNo)
                          : 0;
    } catch (const std::exception&) {
        data.Usable = false;
    }
    if (!data.Usable) {
        data.PairL.clear();
        data.PairR.clear();
        data.ResText.clear();
        data.LoadNo = 0;
    }
    return data;
}

namespace {

struct TActionTexts {
    const char* done;        // appended to the side text on success
    const char* failed;      // appended on a false answer
    const char* failedLine;  // after the path in ResLog
    const char* errorLine;   // after the path when the operation raised
};

TActionTexts TextsOf(TPairAction action) {
    const auto& [done, failed] = *ActionTexts(action);
    switch (action) {
        case TPairAction::Recycle:
            return {done, failed, "のごみ箱への移動に失敗しました", "のごみ箱への移動で予期せぬエラーが発生"};
        case TPairAction::Erase:
            return {done, failed, "の完全削除に失敗しました", "の完全削除で予期せぬエラーが発生"};
        case TPairAction::Move:
        case TPairAction::None:
        default:
            return {done, failed, "の移動に失敗しました", "の移動で予期せぬエラーが発生"};
    }
}

constexpr const char* kSameFileLine = "は比較元と比較対象が同じファイルのため処理しませんでした";

// The hand-over's side of pair index: in the automatic mode its one file.
const PairFile* HandedFile(const TPairData& data, std::size_t index, TPairSide side) {
    const auto& files = data.DoingNo == THandOverMode::Automatic || side == TPairSide::Source ? data.PairL : data.PairR;
    return index < files.size() ? &files[index] : nullptr;
}

// The file path names now is not the one compared or shown. A file that is
// not there is left to the action, which then fails as for any missing file;
// one that is there where nothing was shown differs.
bool Changed(const TFileStamp& now, const PairFile* handed, const TFileStamp* shown) {
    if (!now.Known) return false;
    if (handed && handed->Stamp.Known && !SameStamp(handed->Stamp, now)) return true;
    return shown && !(shown->Known && SameStamp(*shown, now));
}

void RecordAction(TPairData& data, TPairAction action, const std::string& path, const std::string& folder,
                  std::size_t index, TPairSide side, const TFileStamp* shown) {
    const TActionTexts texts = TextsOf(action);
    std::string& result = data.ResText[index];
    result = SideText(side);

    // Both sides naming one file (through two paths): acting on "one of
    // them" would act on the file the user keeps too.
    const bool pairs = data.DoingNo == THandOverMode::OnePair || data.DoingNo == THandOverMode::WholeLog;
    if (pairs && index < data.PairL.size() && index < data.PairR.size() &&
        SameFile(data.PairL[index].File, data.PairR[index].File)) {
        result += texts.failed;
        data.ResLog.push_back(path + kSameFileLine);
        return;
    }
    // The main program's admission rule: a name it would refuse is never
    // acted on here either.
    for (const std::string* name : {&path, &folder}) {
        if (action != TPairAction::Move && name == &folder) continue;
        if (IsStorablePath(*name)) continue;
        result += texts.failed;
        data.ResLog.push_back(UnusablePathMessage(*name));
        return;
    }
    try {
        // Right before the action: the file must be the one compared and
        // shown. Erasing checks once more on the file it removes.
        const TFileStamp now = ReadFileStamp(path);
        if (Changed(now, HandedFile(data, index, side), shown)) {
            result += texts.failed;
            data.ResLog.push_back(path + kChangedSinceCompared);
            return;
        }
        // The file routines refuse empty and relative paths themselves.
        bool ok = false;
        switch (action) {
            case TPairAction::Recycle: ok = RecycleFile(path); break;
            case TPairAction::Erase: ok = RemoveFile(path, now.Known ? &now : nullptr); break;
            case TPairAction::Move: ok = MoveCopyFile(path, folder, true); break;
            case TPairAction::None: break;
        }
        if (ok) {
            result += texts.done;
        } else {
            result += texts.failed;
            data.ResLog.push_back(path + texts.failedLine);
        }
    } catch (...) {
        data.ResLog.push_back(path + texts.errorLine);
    }
}

}  // namespace

void DoPairAction(TPairData& data, TPairAction action, const std::string& path, const std::string& folder,
                  std::size_t index, TPairSide side, const TFileStamp* shown) {
    if (index >= data.ResText.size() || !ActionTexts(action)) return;
    data.Answered = false;
    RecordAction(data, action, path, folder, index, side, shown);
    if (data.AnswerPath.empty()) return;
    try {
        WriteResultFile(data.AnswerPath, data.Request, false, data.ResText, data.ResLog);
        data.Answered = true;
    } catch (...) {
        // Disk full or the like: the window tries again when it closes.
    }
}

bool IsHandledText(const std::string& text) {
    if (text.empty()) return false;
    for (const THandlerActionText& texts : kHandlerActionTexts)
        if (text.ends_with(texts.failed)) return false;
    return true;
}

void RunAutomatic(TPairData& data) {
    if (data.DoingNo != THandOverMode::Automatic || data.PairL.empty()) return;
    // No action chosen (or an unknown one): nothing is touched.
    if (!ActionTexts(data.Syori)) return;
    const TPairSide side = data.Target == TPairSide::Source ? TPairSide::Source : TPairSide::Target;
    DoPairAction(data, data.Syori, data.PairL[0].File, NeedsFolder(data.Syori) ? data.TgtDir : std::string(), 0, side);
}

}  // namespace orv
