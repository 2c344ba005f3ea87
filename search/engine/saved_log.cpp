#include "search/engine/saved_log.h"

#include "platform/base/codec.h"
#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "platform/base/stream.h"

namespace orv {

namespace {

// The text laid down in one encoding. Both encodings are stateless, so the
// lines convert piece by piece: the labels once, each distinct text of the
// log once.
std::string LayOut(const TLogTable& rows, const TLogTextCache::TConvert& convert) {
    const auto cp = [&convert](const char* utf8) { return convert(utf8); };
    const std::string source = cp("比較元    ："), target = cp("比較対象  ："), size = cp("    サイズ："),
                      date = cp("    日時  ："), dims = cp("    大きさ："), result = cp("処理  ：【"),
                      resultEnd = cp("】\r\n"), eol = "\r\n", by = "x", rule = std::string(56, '-') + "\r\n";
    TLogTextCache text(rows, convert);
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

}  // namespace

std::string FormatSavedLog(const TLogTable& rows) {
    // The whole file in one form: code page 932 while every row fits it,
    // else UTF-8 behind a byte-order mark.
    try {
        return LayOut(rows, [](std::string_view utf8) { return Utf8ToCp932(utf8); });
    } catch (const EConvertError&) {
    }
    return "\xEF\xBB\xBF" + LayOut(rows, [](std::string_view utf8) {
               if (!IsValidUtf8(utf8)) throw EConvertError("Not valid UTF-8: " + std::string(utf8));
               return std::string(utf8);
           });
}

void SaveLogFile(const std::string& path, const TLogTable& rows) {
    SaveFileAtomic(path, FormatSavedLog(rows));
}

}  // namespace orv
