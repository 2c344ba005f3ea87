#include "search/engine/path_admission.h"

#include <gtest/gtest.h>

#include "tests/support/stored_text.h"

namespace orv {
namespace {

TEST(PathAdmission, RefusesControlCharactersAndWhatIsNotUtf8) {
    for (const char* ok : {"/home/u/写真/a b.jpg", "/pics/～①.png", "", "/a\\b~c/", "/\xC2\xA0nbsp", "/\xEF\xBB\xBF"})
        EXPECT_TRUE(IsStorablePath(ok)) << ok;
    for (const std::string& name : test::kUtf8OnlyNames) EXPECT_TRUE(IsStorablePath("/home/" + name + "/")) << name;
    // C0 controls, DEL, C1 controls (U+0080, U+009F); broken, overlong and
    // surrogate UTF-8.
    for (const char* bad : {"/a\tb", "/a\nb", "/a\rb", "/a\x01", "/a\x1f", "/a\x7f", "/a\xC2\x80", "/a\xC2\x9F", "/bad\xFF",
                            "/caf\xC3", "/\xC0\xAF", "/\xED\xA0\x80"})
        EXPECT_FALSE(IsStorablePath(bad)) << testing::PrintToString(std::string(bad));
    EXPECT_FALSE(IsStorablePath(std::string("/a\0b", 4)));
    // Shown on one line: controls and broken bytes escaped, the rest kept.
    EXPECT_EQ(UnusablePathMessage("/x\ty\n写\xFF\xC2\x85\xE5\x86"),
              "/x\\x09y\\x0A写\\xFF\\xC2\\x85\\xE5\\x86は使用できない文字を含むため処理できません");
}

}  // namespace
}  // namespace orv
