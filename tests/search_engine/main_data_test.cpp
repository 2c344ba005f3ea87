#include <gtest/gtest.h>

#include "search/engine/main_data.h"

namespace orv {
namespace {

TEST(FileList, KeepsOrderAndDuplicatesAndFindsTheFirst) {
    TFileList list;
    auto shared = std::make_shared<TSTitems>();
    list.Add("/b", shared);
    list.Add("/a");
    list.Add("/b");
    list.Add("/B");
    EXPECT_EQ(list.Count(), 4u);
    EXPECT_EQ(list.IndexOf("/b"), 0);
    EXPECT_EQ(list.IndexOf("/B"), 3);
    EXPECT_EQ(list.IndexOf("/c"), -1);
    EXPECT_EQ(list.Objects(0), shared);
    list.Delete(0);
    EXPECT_EQ(list.Strings(0), "/a");
    EXPECT_EQ(list.IndexOf("/b"), 1);
    EXPECT_EQ(list.IndexOf("/B"), 2);
    list.Clear();
    EXPECT_FALSE(list.Contains("/a"));
}

}  // namespace
}  // namespace orv
