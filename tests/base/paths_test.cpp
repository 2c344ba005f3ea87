#include "platform/base/paths.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(Paths, Delimiters) {
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/b"), "/a/b/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/b/"), "/a/b/");
    EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/a/b/"), "/a/b");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");  // never strips the root
    EXPECT_EQ(ExcludeTrailingPathDelimiter("a"), "a");
}

TEST(Paths, Parts) {
    EXPECT_EQ(ExtractFileName("/a/b/c.JPG"), "c.JPG");
    EXPECT_EQ(ExtractFileName("/a/b/"), "");
    EXPECT_EQ(ExtractFileName("plain"), "plain");
    EXPECT_EQ(ExtractFileName("/a\\b"), "a\\b");  // only '/' splits
    EXPECT_EQ(ExtractFilePath("/a/b/c.jpg"), "/a/b/");
    EXPECT_EQ(ExtractFilePath("c.jpg"), "");
    EXPECT_EQ(ExtractFileExt("/a/b/c.tar.GZ"), ".GZ");
    EXPECT_EQ(ExtractFileExt("/a.b/c"), "");  // a dot in a folder name is no extension
    EXPECT_EQ(ExtractFileExt("/a/.hidden"), ".hidden");
    EXPECT_EQ(ExtractFileExt("/a/b."), ".");
    EXPECT_EQ(ChangeFileExt("/p/新規.ovp", ".ovl"), "/p/新規.ovl");
    EXPECT_EQ(ChangeFileExt("/p.d/name", ".ovl"), "/p.d/name.ovl");
    EXPECT_EQ(ChangeFileExt("/p/a.b", ""), "/p/a");
}

TEST(Paths, AsciiCase) {
    EXPECT_EQ(LowerAscii("A.JPG Ä"), "a.jpg Ä");  // non-ASCII untouched
    EXPECT_TRUE(SameTextAscii(".Jpg", ".jPG"));
    EXPECT_FALSE(SameTextAscii(".jpg", ".jpeg"));
    EXPECT_FALSE(SameTextAscii("@", "`"));  // neighbours of the letters stay apart
}

TEST(Paths, AppDir) {
    const std::string exe = AppDir();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.front(), '/');
    EXPECT_EQ(exe.back(), '/');
    SetAppDir("/opt/orvalis");
    EXPECT_EQ(AppDir(), "/opt/orvalis/");
    SetAppDir("");
    EXPECT_EQ(AppDir(), exe);
}

}  // namespace
}  // namespace orv
