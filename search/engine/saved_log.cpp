#include "search/engine/saved_log.h"

#include "platform/base/codec.h"
#include "platform/base/file_system.h"

namespace orv {

std::string FormatSavedLog(const TLogTable& rows) {
    // Code page 932 is stateless, so the lines convert piece by piece: the
    // labels once, each distinct text of the log once.
    static const std::string kRule = std::string(56, '-') + "\r\n";
    const std::string labels[] = {"比較元    ：", "    サイズ：", "    日時  ：", "    大きさ：", "比較対象  ：",
                                  "処理  ：【",   "】\r\n",     "\r\n",       "x"};
    std::vector<std::string> cp;
    for (const std::string& label : labels) cp.push_back(Utf8ToCp932(label));
    const std::string &source = cp[0], &size = cp[1], &date = cp[2], &dims = cp[3], &target = cp[4], &result = cp[5],
                      &resultEnd = cp[6], &eol = cp[7], &by = cp[8];
    TLogTextCache text(rows, [](std::string_view utf8) { return Utf8ToCp932(utf8); });
    std::string out;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const auto side = [&](const std::string& label, std::size_t first) {
            out.append(label).append(text.Get(r, first)).append(eol);
            out.append(size).append(text.Get(r, first + 1)).append(eol);
            out.append(date).append(text.Get(r, first + 2)).append(eol);
            out.append(dims).append(text.Get(r, first + 3)).append(by).append(text.Get(r, first + 4)).append(eol);
        };
        side(source, kLogSourcePath);
        side(target, kLogTargetPath);
        out.append(result).append(text.Get(r, kLogResult)).append(resultEnd);
        out.append(kRule);
    }
    return out;
}

void SaveLogFile(const std::string& path, const TLogTable& rows) {
    WriteFileAtomic(path, FormatSavedLog(rows));
}

}  // namespace orv
