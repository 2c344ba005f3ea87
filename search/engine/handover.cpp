#include "search/engine/handover.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <random>
#include <utility>

#include "platform/base/binary_io.h"
#include "platform/base/datetime.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/base/process.h"
#include "platform/base/stream.h"

namespace orv {

namespace {

constexpr int kPollMs = 50;

int gActiveHandOvers = 0;

// Marks a hand-over as running for its whole scope, also when it throws.
class TActiveMark {
public:
    explicit TActiveMark(bool& busy) : busy_(busy) {
        busy_ = true;
        ++gActiveHandOvers;
    }
    ~TActiveMark() {
        busy_ = false;
        --gActiveHandOvers;
    }
    TActiveMark(const TActiveMark&) = delete;
    TActiveMark& operator=(const TActiveMark&) = delete;

private:
    bool& busy_;
};

template <class Less> TAutoSide PickBy(Less less, TNearMode nearMode) {
    if (less(0)) return TAutoSide::Source;
    if (less(1)) return TAutoSide::Target;
    return nearMode == TNearMode::Source ? TAutoSide::Source : TAutoSide::Target;
}

// The stamp of an entry's record, unknown without one.
TFileStamp StampOfEntry(const TFileList::Entry& entry) { return entry.Item ? entry.Item->Stamp : TFileStamp{}; }

// The stamp the work list records for path, unknown when it has none.
TFileStamp RecordedStamp(const TFileList& list, const std::string& path) {
    const std::ptrdiff_t i = list.IndexOf(path);
    return i < 0 ? TFileStamp{} : StampOfEntry(list[static_cast<std::size_t>(i)]);
}

// A new identity for one hand-over: 64 random bits in hexadecimal (the
// clock's when the system gives no random ones).
std::string NewRequest() {
    auto bits = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    try {
        std::random_device random;
        bits ^= (std::uint64_t{random()} << 32) ^ random();
    } catch (...) {
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
    return text;
}

}  // namespace

TAutoSide ChooseAutoSide(const TSTitems& s, const TSTitems& t, TSelTgt selTgt, TNearMode nearMode) {
    // less(0): the source wins outright; less(1): the target does.
    const std::int64_t sumS = std::int64_t{s.Width} + s.Height;
    const std::int64_t sumT = std::int64_t{t.Width} + t.Height;
    switch (selTgt) {
        case TSelTgt::Source: return TAutoSide::Source;
        case TSelTgt::Target: return TAutoSide::Target;
        case TSelTgt::LargerFile:
            return PickBy([&](int w) { return w == 0 ? s.FileSize > t.FileSize : t.FileSize > s.FileSize; }, nearMode);
        case TSelTgt::SmallerFile:
            return PickBy([&](int w) { return w == 0 ? s.FileSize < t.FileSize : t.FileSize < s.FileSize; }, nearMode);
        case TSelTgt::OlderDate:
            return PickBy([&](int w) { return w == 0 ? s.FileDate < t.FileDate : t.FileDate < s.FileDate; }, nearMode);
        case TSelTgt::NewerDate:
            return PickBy([&](int w) { return w == 0 ? s.FileDate > t.FileDate : t.FileDate > s.FileDate; }, nearMode);
        case TSelTgt::LargerImage:
            return PickBy([&](int w) { return w == 0 ? sumS > sumT : sumT > sumS; }, nearMode);
        case TSelTgt::SmallerImage:
            return PickBy([&](int w) { return w == 0 ? sumS < sumT : sumT < sumS; }, nearMode);
        case TSelTgt::None:
        default: return TAutoSide::None;
    }
}

void WriteDoFilesAuto(const std::string& path, TPairAction action, const std::string& moveFolder,
                      const std::string& file, TPairSide side, const TFileStamp& stamp, const std::string& request) {
    TDoFiles files;
    files.No = THandOverMode::Automatic;
    files.Request = request;
    files.Syori = action;
    files.TgtDir = moveFolder;
    files.File = file;
    files.Target = side;
    files.Stamp = stamp;
    WriteDoFiles(path, files);
}

void WriteDoFilesPair(const std::string& path, const TFileList::Entry& source, const TFileList::Entry& target,
                      const std::string& request) {
    TDoFiles files;
    files.No = THandOverMode::OnePair;
    files.Request = request;
    auto side = [](const TFileList::Entry& entry, PairFile& out) {
        const TSTitems none;
        const TSTitems& item = entry.Item ? *entry.Item : none;
        out = {entry.Path,
               DateTimeToStr(item.FileDate),
               FormatSize(item.FileSize),
               std::to_string(item.Width),
               std::to_string(item.Height),
               item.Stamp};
    };
    side(source, files.L);
    side(target, files.R);
    WriteDoFiles(path, files);
}

void WriteDoFilesList(const std::string& path, std::int64_t loadNo, const std::string& request) {
    TDoFiles files;
    files.No = THandOverMode::WholeLog;
    files.Request = request;
    files.LoadNo = loadNo;
    WriteDoFiles(path, files);
}

std::string EncodeDoFiles2(const TLogTable& rows, const TMainData* data) {
    static_assert(kLogColumns == kDoFiles2RowStrings);
    std::vector<TPairStamps> stamps;
    if (data) {
        stamps.resize(rows.size());
        bool any = false;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            stamps[i].L = RecordedStamp(data->SourceFiles, std::string(rows.Cell(i, kLogSourcePath)));
            stamps[i].R = RecordedStamp(data->TargetFiles, std::string(rows.Cell(i, kLogTargetPath)));
            any = any || stamps[i].L.Known || stamps[i].R.Known;
        }
        if (!any) stamps.clear();
    }
    return orv::EncodeDoFiles2(
        rows.size(), [&rows](BinaryWriter& writer) { WriteStoredRows(writer, rows); }, stamps);
}

std::string NoAnswerLine(const std::string& files) { return "：" + files + " の処理結果を filer から受け取れません"; }

std::string OutcomeWithoutAnswer(TPairAction action, const std::string& file, TPairSide side) {
    const THandlerActionText* texts = ActionTexts(action);
    if (!texts) return {};
    const bool gone = !file.empty() && !PathExists(file);
    return std::string(SideText(side)) + (gone ? texts->done : texts->failed);
}

bool HandOverActive() { return gActiveHandOvers > 0; }

TPairHandOver::TPairHandOver(TMainData& data, TRunLog& log, IRunView& view, IRunWindow& window)
    : data_(data), log_(log), view_(view), window_(window) {}

void TPairHandOver::SetFolder(std::string folder) {
    folder_ = folder.empty() ? std::string() : IncludeTrailingPathDelimiter(folder);
}

std::string TPairHandOver::Folder() const { return folder_.empty() ? AppDir() : folder_; }

std::string TPairHandOver::HandOverPair(std::size_t source, std::size_t target) {
    if (data_.SyoriMode == TSyoriMode::Automatic) return DoAutoSyori(source, target);
    if (data_.SyoriMode == TSyoriMode::EachPair) return DoOneSyori(source, target);
    return {};
}

bool TPairHandOver::HandOverLog(std::size_t firstRow) { return DoEndSyori(firstRow); }

std::string TPairHandOver::TakeFirstResult() {
    std::string result;
    if (!data_.ResText.empty()) result = data_.ResText.front();
    data_.ResText.clear();
    return result;
}

std::string TPairHandOver::DoAutoSyori(std::size_t source, std::size_t target) {
    if (HandOverActive()) return {};
    const TFileList::Entry& s = data_.SourceFiles[source];
    const TFileList::Entry& t = data_.TargetFiles[target];
    const TSTitems none;
    const TAutoSide side =
        ChooseAutoSide(s.Item ? *s.Item : none, t.Item ? *t.Item : none, data_.SelTgt, data_.NearMode);
    const TFileList::Entry* chosen = side == TAutoSide::Source ? &s : side == TAutoSide::Target ? &t : nullptr;
    const std::string file = chosen ? chosen->Path : std::string();
    const TPairSide handedSide = file == s.Path ? TPairSide::Source : TPairSide::Target;
    const TFileStamp stamp = chosen ? StampOfEntry(*chosen) : TFileStamp{};
    const bool lost = LoadFileUtil(
        false,
        [&](const std::string& request) {
            WriteDoFilesAuto(Folder() + kDoFilesName, data_.DoAction, data_.TgtDir, file, handedSide, stamp, request);
        },
        file);
    // filer may have acted all the same: the file system tells.
    if (lost) return OutcomeWithoutAnswer(data_.DoAction, file, handedSide);
    return TakeFirstResult();
}

std::string TPairHandOver::DoOneSyori(std::size_t source, std::size_t target) {
    if (HandOverActive()) return {};
    const TFileList::Entry& s = data_.SourceFiles[source];
    const TFileList::Entry& t = data_.TargetFiles[target];
    LoadFileUtil(
        true, [&](const std::string& request) { WriteDoFilesPair(Folder() + kDoFilesName, s, t, request); },
        s.Path + "、" + t.Path);
    return TakeFirstResult();
}

bool TPairHandOver::DoEndSyori(std::size_t firstRow) {
    if (log_.Empty() || HandOverActive()) return false;
    const std::string folder = Folder();
    std::uint64_t handed = 0;
    LoadFileUtil(true, [&](const std::string& request) {
        TViewWaitCursor cursor(view_);
        WriteDoFilesList(folder + kDoFilesName, static_cast<std::int64_t>(firstRow), request);
        SaveFileAtomic(folder + kDoFiles2Name, EncodeDoFiles2(log_.Rows(), &data_), TLinks::NoFollow);
        handed = log_.Revision();
    });
    // The answers are for the rows as they were handed over: a log changed
    // meanwhile takes none of them, and says so.
    if (!data_.ResText.empty() && log_.Revision() != handed) {
        view_.AppendLog(DateTimeToStr(Now()) + kNoAnswer);
        data_.ResText.clear();
    }
    // Only rows that still exist take an answer, and an empty one never
    // clears a row's text.
    const std::size_t n = std::min(data_.ResText.size(), log_.Count());
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& text = data_.ResText[i];
        if (!text.empty() && text != log_.Rows().Cell(i, kLogResult)) log_.SetResult(i, text);
    }
    data_.ResText.clear();
    return true;
}

void TPairHandOver::DeleteExchangeFiles() const { RemoveHandOverFiles(Folder()); }

bool TPairHandOver::LoadFileUtil(bool showsWindow, const std::function<void(const std::string& request)>& write,
                                 const std::string& files) {
    TActiveMark mark(busy_);
    data_.ResText.clear();
    const std::string request = NewRequest();
    // Every hand-over starts from a clean folder, so neither a stale answer
    // nor an old DoFiles2.Dat can be taken for this one's.
    DeleteExchangeFiles();
    struct Cleanup {
        const TPairHandOver& self;
        IRunWindow& window;
        bool enable = false;
        ~Cleanup() {
            self.DeleteExchangeFiles();
            if (enable) {
                try {
                    window.SetWindowEnabled(true);
                } catch (...) {
                }
            }
        }
    } cleanup{*this, window_};

    try {
        write(request);
    } catch (const std::exception&) {
        view_.AppendLog(DateTimeToStr(Now()) + kHandOverWriteFailed);
        return false;
    }

    if (showsWindow) {
        cleanup.enable = true;
        window_.SetWindowEnabled(false);
    }
    ChildProcess child;
    const std::string program = program_.empty() ? AppDir() + kFilerProgramName : program_;
    if (!child.Start(program)) {
        view_.AppendLog(DateTimeToStr(Now()) + kFilerStartFailed);
        return false;
    }
    // Pending messages are handled at least once, however soon filer ends.
    for (;;) {
        view_.ProcessMessages();
        if (!child.Running()) break;
        view_.Sleep(kPollMs);
    }

    THandlerAnswer answer = ReadResultFile(Folder() + kResultName);
    // Only filer's answer to this hand-over is applied, to the pair or rows
    // it was asked about.
    if (!answer.Received || answer.Request != request) {
        // filer may have acted all the same: the user must learn that the
        // log does not show it.
        view_.AppendLog(DateTimeToStr(Now()) + (files.empty() ? std::string(kNoAnswer) : NoAnswerLine(files)));
        return true;
    }
    // The answer can ask for a stop but never withdraws one the user made.
    if (data_.SyoriMode != TSyoriMode::Automatic && answer.Stop) data_.StopFlag = 1;
    data_.ResText = std::move(answer.Texts);
    for (const std::string& line : answer.Logs) view_.AppendLog(line);
    return false;
}

std::unique_ptr<IPairHandOver> MakePairHandOver(TMainData& data, TRunLog& log, IRunView& view, IRunWindow& window) {
    return std::make_unique<TPairHandOver>(data, log, view, window);
}

}  // namespace orv
