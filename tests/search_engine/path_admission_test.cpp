#include "search/engine/path_admission.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(PathAdmission, RefusesControlCharactersAndTextOutsideCodePage932) {
    for (const char* ok : {"/home/u/写真/a b.jpg", "/pics/～①.png", "", "/a\\b~c/"}) EXPECT_TRUE(IsStorablePath(ok)) << ok;
    for (const char* bad : {"/a\tb", "/a\nb", "/a\rb", "/a\x01", "/a\x1f", "/a\x7f", "/\xF0\x9F\x98\x80.jpg",
                            "/caf\xC3\xA9.jpg", "/bad\xFF"})
        EXPECT_FALSE(IsStorablePath(bad)) << bad;
    EXPECT_FALSE(IsStorablePath(std::string("/a\0b", 4)));
    EXPECT_EQ(UnusablePathMessage("/x\ty"), "/x\tyは使用できない文字を含むため処理できません");
}

}  // namespace
}  // namespace orv
