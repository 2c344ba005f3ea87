#include "search/engine/saved_log.h"

#include "platform/base/codec.h"
#include "platform/base/file_system.h"

namespace orv {

std::string FormatSavedLog(const std::vector<TLogRow>& rows) {
    static const std::string kRule(56, '-');
    std::string text;
    const auto line = [&text](std::string_view label, std::string_view value) {
        text.append(label).append(value).append("\r\n");
    };
    for (const TLogRow& row : rows) {
        line("比較元    ：", row[0]);
        line("    サイズ：", row[1]);
        line("    日時  ：", row[2]);
        line("    大きさ：", row[3] + "x" + row[4]);
        line("比較対象  ：", row[5]);
        line("    サイズ：", row[6]);
        line("    日時  ：", row[7]);
        line("    大きさ：", row[8] + "x" + row[9]);
        line("処理  ：【", row[10] + "】");
        line(kRule, "");
    }
    // The whole file in one form: code page 932 while every row fits it,
    // else UTF-8 behind a byte-order mark.
    return ToStoredText(text);
}

void SaveLogFile(const std::string& path, const std::vector<TLogRow>& rows) {
    WriteFileAtomic(path, FormatSavedLog(rows));
}

}  // namespace orv
