#include "platform/base/codec.h"

#include <gtest/gtest.h>

#include "platform/base/errors.h"
#include "tests/support/stored_text.h"

namespace orv {
namespace {

TEST(Codec, JapaneseTextsRoundTrip) {
    const char* texts[] = {"既に起動中です。複数起動はできません", "新規プロジェクト.ovp", "比較元のファイル",
                           "ファイル進行記録済", "上書き警告", "2024/01/05 9:05:03：比較終了", "ソ表能",  // 0x5C trail bytes
                           "ｶﾀｶﾅ", "Ⅰ①㈱", ""};
    for (const char* t : texts) {
        SCOPED_TRACE(t);
        const std::string cp = Utf8ToCp932(t);
        EXPECT_EQ(Cp932ToUtf8(cp), t);
        EXPECT_TRUE(IsCp932Representable(t));
    }
    EXPECT_EQ(Utf8ToCp932("新規プロジェクト.ovp"),
              "\x90\x56\x8b\x4b\x83\x76\x83\x8d\x83\x57\x83\x46\x83\x4e\x83\x67.ovp");
    EXPECT_EQ(Utf8ToCp932("ソ"), "\x83\x5c");
}

TEST(Codec, AsciiBackslashTildeAndFullWidthColon) {
    // Code page 932 keeps 0x5C and 0x7E as ASCII (unlike plain Shift-JIS).
    EXPECT_EQ(Cp932ToUtf8("\x5c\x7e"), "\\~");
    EXPECT_EQ(Utf8ToCp932("C:\\a~b"), "C:\\a~b");
    EXPECT_EQ(Utf8ToCp932("："), "\x81\x46");
    EXPECT_EQ(Cp932ToUtf8("\x81\x46"), "：");
    // Every ASCII byte is itself, whether or not other characters need iconv.
    std::string ascii;
    for (int c = 0; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
    EXPECT_EQ(Utf8ToCp932(ascii + "あ"), ascii + "\x82\xa0");
    EXPECT_EQ(Cp932ToUtf8(ascii + "\x82\xa0"), ascii + "あ");
}

TEST(Codec, RefusesWhatDoesNotConvertExactly) {
    // No such character in code page 932.
    for (const char* t : {"😀", "한", "€", "a\xff", "\xe3\x81"}) {
        SCOPED_TRACE(t);
        EXPECT_THROW(Utf8ToCp932(t), EConvertError);
        EXPECT_FALSE(IsCp932Representable(t));
    }
    // These convert one way only (they come back as other characters): a
    // silent replacement would change a path.
    for (const char* t : {"〜", "¥", "‾"}) {
        SCOPED_TRACE(t);
        EXPECT_THROW(Utf8ToCp932(t), EConvertError);
        EXPECT_FALSE(IsCp932Representable(t));
    }
    // Truncated double-byte character, undefined single bytes.
    for (const char* b : {"\x83", "abc\x90", "\x80", "\xa0"}) {
        SCOPED_TRACE(b);
        EXPECT_THROW(Cp932ToUtf8(b), EConvertError);
    }
}

TEST(Codec, StoredTextIsCodePage932WhereItFitsElseMarkedUtf8) {
    for (const char* t : {"", "a/b~c\\", "新規プロジェクト.ovp", "ソ表\\"}) EXPECT_EQ(ToStoredText(t), Utf8ToCp932(t)) << t;
    std::vector<std::string> utf8Only = test::kUtf8OnlyNames;
    utf8Only.push_back("〜");       // converts one way only
    utf8Only.push_back("\uFEFFx");  // a text that itself begins with the mark
    for (const std::string& t : utf8Only) {
        SCOPED_TRACE(t);
        EXPECT_EQ(ToStoredText(t), test::Utf8Form(t));
        EXPECT_EQ(FromStoredText(test::Utf8Form(t)), t);
    }
    EXPECT_EQ(FromStoredText("\x90\x56\x8b\x4b"), "新規");
    EXPECT_EQ(FromStoredText(test::Utf8Form("新規")), "新規");  // accepted, though never written
    EXPECT_EQ(FromStoredText("\xEF\xBB\xBF"), "");

    // Strict both ways: no replacement for what is not UTF-8.
    for (const char* bad : {"a\xff", "\xe3\x81", "\xc0\x80", "\xe0\x80\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80",
                            "\xf5\x80\x80\x80", "\x80"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(bad)));
        EXPECT_FALSE(IsValidUtf8(bad));
        EXPECT_THROW(ToStoredText(bad), EConvertError);
        EXPECT_THROW(FromStoredText(test::Utf8Form(bad)), EConvertError);
    }
    EXPECT_TRUE(IsValidUtf8("\xf4\x8f\xbf\xbf\xed\x9f\xbf\x7f"));  // U+10FFFF, U+D7FF, DEL
    EXPECT_THROW(FromStoredText("\xEF\xBB"), EConvertError);         // a cut mark is no code page 932 either
}

}  // namespace
}  // namespace orv
