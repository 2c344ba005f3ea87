#include "search/engine/saved_log.h"

#include "platform/base/codec.h"
#include "platform/base/file_system.h"

namespace orv {

std::string FormatSavedLog(const TLogTable& rows) {
    // Code page 932 is stateless, so the lines convert piece by piece: the
    // labels once, each distinct text of the log once.
    const auto cp = [](const char* utf8) { return Utf8ToCp932(utf8); };
    const std::string source = cp("比較元    ："), target = cp("比較対象  ："), size = cp("    サイズ："),
                      date = cp("    日時  ："), dims = cp("    大きさ："), result = cp("処理  ：【"),
                      resultEnd = cp("】\r\n"), eol = "\r\n", by = "x", rule = std::string(56, '-') + "\r\n";
    TLogTextCache text(rows, [](std::string_view utf8) { return Utf8ToCp932(utf8); });
    // The length first, so the text is laid down once, not copied as it grows.
    std::size_t length = rows.size() * (source.size() + target.size() + 2 * (size.size() + date.size() + dims.size()) +
                                        8 * eol.size() + 2 * by.size() + result.size() + resultEnd.size() + rule.size());
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < kLogColumns; ++c) length += text.Get(r, c).size();
    std::string out;
    out.reserve(length);
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
        out.append(rule);
    }
    return out;
}

void SaveLogFile(const std::string& path, const TLogTable& rows) {
    WriteFileAtomic(path, FormatSavedLog(rows));
}

}  // namespace orv
