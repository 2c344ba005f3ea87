// The data files laid into the program folder load with our own readers.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/graphics/avi.h"
#include "platform/graphics/bitmap.h"

namespace orv {
namespace {

const std::string kAppDir = ORV_APPDIR_BUILT "/";

TEST(ShippedData, ButtonStripsHoldThreeLooks) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kAppDir + "BMP/Buttons")) {
        TBitmap strip;
        strip.LoadFromFile(entry.path().string());
        EXPECT_TRUE(strip.Width() == 116 || strip.Width() == 40) << entry.path();
        EXPECT_EQ(strip.Height(), 120) << entry.path();
        ++count;
    }
    EXPECT_EQ(count, 26);
}

TEST(ShippedData, AnimationsDecodeEveryFrame) {
    for (const char* name : {"ani01.avi", "ani02.avi", "ani03.avi"}) {
        TAviReader avi;
        avi.LoadFromFile(kAppDir + "BMP/" + name);
        EXPECT_EQ(avi.Width(), 50);
        EXPECT_EQ(avi.Height(), 50);
        ASSERT_GT(avi.FrameCount(), 1) << name;
        TBitmap frame;
        for (int i = 0; i < avi.FrameCount(); ++i) avi.Frame(i, frame);
        // Corners show the panel colour behind the player.
        EXPECT_EQ(frame.GetPixel(0, 0), RGBColor(240, 240, 240)) << name;
    }
}

TEST(ShippedData, FoldersAndSoundsExist) {
    for (const char* path : {"BMP/folder.bmp", "BMP/Click.wav", "Sound/Comp.wav", "Sound/Beep.wav", "Ver.ini"})
        EXPECT_TRUE(std::filesystem::is_regular_file(kAppDir + path)) << path;
    EXPECT_TRUE(std::filesystem::is_directory(kAppDir + "Set"));
    TBitmap folder;
    folder.LoadFromFile(kAppDir + "BMP/folder.bmp");
    EXPECT_EQ(folder.Width(), 96);
}

}  // namespace
}  // namespace orv
