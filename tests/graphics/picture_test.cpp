#include <gtest/gtest.h>

#include "platform/graphics/jpeg_image.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/picture_loader.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

const std::string kDir = std::string(ORV_TEST_DATA) + "/graphics/";

// A graphic of its own class that is not a bitmap: a 2 x 1 picture
// drawing red and green.
class TwoPixels : public TGraphic {
public:
    static const TGraphicClass& ClassInfo() {
        static const TGraphicClass info{"TwoPixels", []() -> std::unique_ptr<TGraphic> { return std::make_unique<TwoPixels>(); },
                                        nullptr, &TGraphic::ClassInfo()};
        return info;
    }
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    bool Empty() const override { return false; }
    int Width() const override { return 2; }
    int Height() const override { return 1; }
    void SetWidth(int) override {}
    void SetHeight(int) override {}
    void LoadFromStream(TStream&) override {}
    void SaveToStream(TStream&) override {}
    void Draw(TBitmap& target, int x, int y) const override {
        target.SetPixel(x, y, RGBColor(255, 0, 0));
        target.SetPixel(x + 1, y, RGBColor(0, 255, 0));
    }
};

class PictureRegistry : public ::testing::Test {
protected:
    void SetUp() override { RegisterStandardPictures(); }
    void TearDown() override { TPicture::UnregisterGraphicClass(TwoPixels::ClassInfo()); }
};

TEST_F(PictureRegistry, ExtensionsIgnoreCaseAndRefuseASecondClass) {
    TPicture::RegisterFileFormat(".TWO", "two pixels", TwoPixels::ClassInfo());
    EXPECT_EQ(TPicture::ClassForExtension("two"), &TwoPixels::ClassInfo());
    EXPECT_EQ(TPicture::ClassForExtension("Two"), &TwoPixels::ClassInfo());
    EXPECT_NO_THROW(TPicture::RegisterFileFormat("two", "again", TwoPixels::ClassInfo()));
    try {
        TPicture::RegisterFileFormat("TWO", "other", TBitmap::ClassInfo());
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Attempt to register two twice.");
    }
    EXPECT_EQ(TPicture::ClassForExtension("two"), &TwoPixels::ClassInfo());
    TPicture::RegisterFileFormat("tw2", "", TwoPixels::ClassInfo());
    TPicture::UnregisterGraphicClass(TwoPixels::ClassInfo());
    EXPECT_EQ(TPicture::ClassForExtension("two"), nullptr);
    EXPECT_EQ(TPicture::ClassForExtension("tw2"), nullptr);
    EXPECT_EQ(TPicture::ClassForExtension("bmp"), &TBitmap::ClassInfo());
    EXPECT_EQ(TPicture::ClassForExtension("JPEG"), &TJPEGImage::ClassInfo());
}

TEST_F(PictureRegistry, PictureLoadsByExtension) {
    TPicture picture;
    picture.LoadFromFile(kDir + "jpeg_gray.jpg");
    EXPECT_EQ(picture.Graphic()->ClassType().Name, std::string("TJPEGImage"));
    EXPECT_FALSE(IsBitmap(*picture.Graphic()));
    EXPECT_THROW(picture.LoadFromFile(kDir + "make_data.sh"), EInvalidGraphic);
    EXPECT_THROW(picture.LoadFromFile(kDir + "bmp1.rgb"), EInvalidGraphic);
    EXPECT_EQ(picture.Width(), 37);  // a failed load keeps the earlier picture
    EXPECT_EQ(PictureExtension("/a.b/c"), "");
    EXPECT_EQ(PictureExtension("/x/Y.JpEg"), "jpeg");
}

TEST_F(PictureRegistry, LoaderKeepsBitmapsAndDrawsOtherPicturesAt24Bits) {
    TBitmap dest;
    ASSERT_TRUE(LoadPictureToBitmap(kDir + "bmp8.bmp", dest));
    EXPECT_EQ(dest.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(dest.Width(), 13);

    ASSERT_TRUE(LoadPictureToBitmap(kDir + "jpeg_baseline.jpg", dest));
    EXPECT_EQ(dest.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(dest.Width(), 37);
    EXPECT_EQ(dest.Height(), 23);

    // A picture class that is not a bitmap goes through drawing.
    const test::TempDir dir;
    const std::string path = dir / "two.two";
    test::WriteAll(path, "x");
    TPicture::RegisterFileFormat("two", "two pixels", TwoPixels::ClassInfo());
    ASSERT_TRUE(LoadPictureToBitmap(path, dest));
    EXPECT_EQ(dest.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(dest.GetPixel(0, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(dest.GetPixel(1, 0), RGBColor(0, 255, 0));

    // Failures answer false and leave the destination as it was.
    EXPECT_FALSE(LoadPictureToBitmap(kDir + "missing.bmp", dest));
    EXPECT_FALSE(LoadPictureToBitmap(kDir + "make_data.sh", dest));
    EXPECT_FALSE(LoadPictureToBitmap(kDir + "bmp24.rgb", dest));
    EXPECT_FALSE(LoadPictureToBitmap(kDir, dest, TLoadCheck::FileMustExist));
    EXPECT_EQ(dest.Width(), 2);
    EXPECT_TRUE(LoadPictureToBitmap(kDir + "bmp1.bmp", dest, TLoadCheck::FileMustExist));
}

}  // namespace
}  // namespace orv
