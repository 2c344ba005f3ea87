#include "filer/core/pair_data.h"

#include <exception>

#include "filer/core/file_utils.h"
#include "filer/core/result_file.h"
#include "platform/base/binary_io.h"
#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "platform/base/ini_file.h"
#include "platform/base/storable_path.h"

namespace orv {

namespace {

constexpr const char* kDoing = "Doing";
constexpr int kStringsPerRow = 11;
// A stored string takes at least its length field and the zero byte.
constexpr std::int64_t kMinRowBytes = kStringsPerRow * 3;

void ReadSide(const TIniFile& ini, const std::string& suffix, PairFile& side) {
    side.File = ini.ReadString(kDoing, "File" + suffix, "");
    side.Data = ini.ReadString(kDoing, "Data" + suffix, "");
    side.Size = ini.ReadString(kDoing, "Size" + suffix, "");
    side.Width = ini.ReadString(kDoing, "Width" + suffix, "0");
    side.Height = ini.ReadString(kDoing, "Height" + suffix, "0");
}

}  // namespace

void ReadDoFiles2(TStream& stream, TPairData& data) {
    BinaryReader reader(stream);
    const std::int32_t n = reader.ReadInt32();
    if (n < 0) throw EReadError("DoFiles2.Dat: negative row count");
    const std::int64_t rows = std::int64_t{n} + 1;
    reader.CheckCount(rows, kMinRowBytes);
    std::vector<PairFile> left(static_cast<std::size_t>(rows)), right(static_cast<std::size_t>(rows));
    std::vector<std::string> texts(static_cast<std::size_t>(rows));
    for (std::size_t r = 0; r < left.size(); ++r) {
        // The size comes before the date, as in the log row.
        for (PairFile* side : {&left[r], &right[r]}) {
            side->File = reader.ReadStoredString();
            side->Size = reader.ReadStoredString();
            side->Data = reader.ReadStoredString();
            side->Width = reader.ReadStoredString();
            side->Height = reader.ReadStoredString();
        }
        texts[r] = reader.ReadStoredString();
    }
    data.PairL = std::move(left);
    data.PairR = std::move(right);
    data.ResText = std::move(texts);
}

TPairData ReadPairData(const std::string& folder) {
    TPairData data;
    try {
        const std::string path = folder + kDoFilesName;
        // Something under the name that cannot be read (a folder, a pipe, a
        // link leading nowhere) is no hand-over; only a missing file reads
        // as the defaults.
        std::string bytes;
        if (PathExists(path) && !ReadFileBytes(path, bytes, nullptr, kMaxIniFileBytes))
            throw EReadError(path);
        TIniFile ini(path);
        // A line that does not decode could hide the key a later line repeats.
        if (!ini.SectionDecodes(kDoing)) throw EReadError(path);
        data.DoingNo = ini.ReadInteger(kDoing, "No", 0);
        const int loadNo = ini.ReadInteger(kDoing, "Load No", 0);
        switch (data.DoingNo) {
            case 0:
                data.Syori = ini.ReadInteger(kDoing, "Syori", 1);
                data.TgtDir = ini.ReadString(kDoing, "Tgt Dir", "");
                data.PairL.resize(1);
                data.ResText.resize(1);
                data.PairL[0].File = ini.ReadString(kDoing, "File", "");
                data.Target = ini.ReadInteger(kDoing, "Target", 0);
                break;
            case 1:
                data.PairL.resize(1);
                data.PairR.resize(1);
                data.ResText.resize(1);
                ReadSide(ini, " L", data.PairL[0]);
                ReadSide(ini, " R", data.PairR[0]);
                break;
            case 2: {
                TFileStream file(folder + kDoFiles2Name, FileMode::OpenRead);
                ReadDoFiles2(file, data);
                break;
            }
            default:
                data.Usable = false;
                break;
        }
        // A first pair outside the list starts at the first one.
        data.LoadNo = loadNo >= 0 && static_cast<std::size_t>(loadNo) < data.PairL.size()
                          ? static_cast<std::size_t>(loadNo)
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
    const auto& [done, failed] = kHandlerActionTexts[static_cast<int>(action)];
    switch (action) {
        case TPairAction::Recycle:
            return {done, failed, "のごみ箱への移動に失敗しました", "のごみ箱への移動で予期せぬエラーが発生"};
        case TPairAction::Erase:
            return {done, failed, "の完全削除に失敗しました", "の完全削除で予期せぬエラーが発生"};
        case TPairAction::Move:
        default:
            return {done, failed, "の移動に失敗しました", "の移動で予期せぬエラーが発生"};
    }
}

constexpr const char* kSameFileLine = "は比較元と比較対象が同じファイルのため処理しませんでした";

void RecordAction(TPairData& data, TPairAction action, const std::string& path, const std::string& folder,
                  std::size_t index, int side) {
    const TActionTexts texts = TextsOf(action);
    std::string& result = data.ResText[index];
    result = side == 0 ? kSideSource : kSideTarget;

    // Both sides naming one file (through two paths): acting on "one of
    // them" would act on the file the user keeps too.
    if ((data.DoingNo == 1 || data.DoingNo == 2) && index < data.PairL.size() && index < data.PairR.size() &&
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
        // The file routines refuse empty and relative paths themselves.
        bool ok = false;
        switch (action) {
            case TPairAction::Recycle: ok = RecycleFile(path); break;
            case TPairAction::Erase: ok = RemoveFile(path); break;
            case TPairAction::Move: ok = MoveCopyFile(path, folder, true); break;
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
                  std::size_t index, int side) {
    if (index >= data.ResText.size()) return;
    data.Answered = false;
    RecordAction(data, action, path, folder, index, side);
    if (data.AnswerPath.empty()) return;
    try {
        WriteResultFile(data.AnswerPath, false, data.ResText, data.ResLog);
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
    if (data.DoingNo != 0 || data.PairL.empty()) return;
    const std::string& path = data.PairL[0].File;
    const int side = data.Target == 0 ? 0 : 1;
    switch (data.Syori) {
        case 0: DoPairAction(data, TPairAction::Recycle, path, {}, 0, side); break;
        case 1: DoPairAction(data, TPairAction::Erase, path, {}, 0, side); break;
        case 2: DoPairAction(data, TPairAction::Move, path, data.TgtDir, 0, side); break;
        default: break;  // no action was chosen: nothing is touched
    }
}

}  // namespace orv
