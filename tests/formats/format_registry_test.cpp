// The extension registry, its hand-over to the picture layer, and the
// library's start-up table.
#include "formats/format_registry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "formats/fmt_eps.h"
#include "formats/fmt_png.h"
#include "formats/fmt_targa.h"
#include "formats/image_format.h"
#include "formats/library.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/graphics/picture.h"

namespace orv {
namespace {

std::unique_ptr<TGraphic> MakeFormatGraphic() { return std::make_unique<TFormatGraphic>(); }

const TGraphicClass kClassA{"TClassA", &MakeFormatGraphic, nullptr, &TFormatGraphic::ClassInfo()};
const TGraphicClass kClassB{"TClassB", &MakeFormatGraphic, nullptr, &TFormatGraphic::ClassInfo()};

std::string PictureDescription(const std::string& ext) {
    for (const TPictureFormat& f : TPicture::FileFormats())
        if (f.Extension == ext) return f.Description;
    return "<none>";
}

class FormatRegistry : public ::testing::Test {
protected:
    void TearDown() override {
        list.reset();
        TPicture::UnregisterGraphicClass(kClassA);
        TPicture::UnregisterGraphicClass(kClassB);
    }
    std::unique_ptr<TFileFormatList> list = std::make_unique<TFileFormatList>();
};

TEST_F(FormatRegistry, ExtensionsIgnoreCaseAndRegisterOnce) {
    list->RegisterFileFormat("tga", "Truevision images", "", FormatRaster, false, kClassA);
    list->RegisterFileFormat("", "ignored", "", 0, false, kClassB);
    EXPECT_EQ(list->IndexOfExtension("TGA"), 0);
    EXPECT_EQ(list->IndexOfExtension("Tga"), 0);
    EXPECT_EQ(list->IndexOfExtension(""), -1);
    EXPECT_EQ(list->IndexOfClass(&kClassB), -1);
    EXPECT_EQ(TPicture::ClassForExtension("TGA"), &kClassA);
    EXPECT_EQ(PictureDescription("tga"), "Truevision images");

    try {
        list->RegisterFileFormat("TGA", "Other", "", 0, false, kClassB);
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Attempt to register TGA twice.");
    }
    EXPECT_EQ(list->ExtensionCount(), 1u);
    EXPECT_EQ(list->ClassCount(), 1u);
    EXPECT_EQ(list->ClassAt(0).Description, "Truevision images");
    EXPECT_EQ(TPicture::ClassForExtension("tga"), &kClassA);
}

TEST_F(FormatRegistry, DescriptionsPassedOn) {
    list->RegisterFileFormat("jfif", "JPG images", "JFIF images", FormatRaster, false, kClassA);
    list->RegisterFileFormat("jpg", "", "JPG images", FormatRaster, false, kClassA);
    list->RegisterFileFormat("jpe", "", "JPE images", FormatRaster, false, kClassA);
    list->RegisterFileFormat("vst", "", "", FormatRaster, false, kClassA);
    ASSERT_EQ(list->ClassCount(), 1u);
    EXPECT_EQ(list->ClassAt(0).Description, "JPG images");
    EXPECT_EQ(list->ClassAt(0).ExtensionCount, 4);
    EXPECT_EQ(PictureDescription("jfif"), "JFIF images");
    EXPECT_EQ(PictureDescription("jpe"), "JPE images");
    EXPECT_EQ(PictureDescription("vst"), "JPG images");  // falls back to the class's
}

TEST_F(FormatRegistry, ReplaceRebindsOrRepeats) {
    list->RegisterFileFormat("aaa", "Class A", "", FormatRaster, false, kClassA);
    list->RegisterFileFormat("bbb", "Class B", "", FormatRaster, false, kClassB);

    // Same class: the lists stay, the binding is passed on again.
    list->RegisterFileFormat("AAA", "New text", "", FormatVector, true, kClassA);
    EXPECT_EQ(list->ClassAt(0).Description, "Class A");
    EXPECT_EQ(list->ExtensionAt(0).Kinds, FormatRaster);
    EXPECT_EQ(PictureDescription("aaa"), "Class A");

    // Another class: the extension moves; a class left without extensions goes.
    list->RegisterFileFormat("aaa", "", "", FormatVector, true, kClassB);
    EXPECT_EQ(list->ClassCount(), 1u);
    EXPECT_EQ(list->IndexOfClass(&kClassA), -1);
    EXPECT_EQ(list->ClassAt(0).ExtensionCount, 2);
    EXPECT_EQ(list->ExtensionAt(0).Kinds, FormatRaster);  // the entry keeps its kinds
    EXPECT_EQ(TPicture::ClassForExtension("aaa"), &kClassB);
}

TEST_F(FormatRegistry, UnregisterByExtensionOrClass) {
    list->RegisterFileFormat("bmp", "Bitmaps", "", FormatRaster, false, kClassA);
    list->RegisterFileFormat("rle", "", "RLE", FormatRaster, false, kClassA);
    list->RegisterFileFormat("dib", "", "DIB", FormatRaster, false, kClassA);
    list->RegisterFileFormat("xyz", "Other", "", FormatRaster, false, kClassB);

    list->UnregisterFileFormat("RLE", kClassA);
    list->UnregisterFileFormat("none", kClassA);
    EXPECT_EQ(list->ExtensionCount(), 3u);
    EXPECT_EQ(list->ClassAt(0).ExtensionCount, 2);
    // The class keeps the picture layer's bindings while it has extensions.
    EXPECT_EQ(TPicture::ClassForExtension("bmp"), &kClassA);
    EXPECT_EQ(TPicture::ClassForExtension("rle"), &kClassA);

    list->UnregisterFileFormat("bmp", kClassA);
    list->UnregisterFileFormat("dib", kClassA);
    EXPECT_EQ(list->IndexOfClass(&kClassA), -1);
    EXPECT_EQ(TPicture::ClassForExtension("bmp"), nullptr);
    EXPECT_EQ(TPicture::ClassForExtension("rle"), nullptr);

    list->UnregisterFileFormat("", kClassA);  // no longer there: ignored
    list->UnregisterFileFormat("", kClassB);
    EXPECT_EQ(list->ExtensionCount(), 0u);
    EXPECT_EQ(list->ClassCount(), 0u);
    EXPECT_EQ(TPicture::ClassForExtension("xyz"), nullptr);

    list->RegisterFileFormat("xyz", "Other", "", FormatRaster, false, kClassB);
    list->Clear();
    EXPECT_EQ(TPicture::ClassForExtension("xyz"), nullptr);
}

TEST(FormatLibrary, StartUpRegistersTheTableAndShutDownEmptiesIt) {
    // Of the 40 extensions, icons and metafiles have no class here.
    std::vector<std::string> all, classless;
    for (const TFormatDescriptor* format : ImageFormats())
        for (const TFormatExtension& extension : format->Extensions)
            (format->Class ? all : classless).push_back(extension.Extension);
    EXPECT_EQ(all.size() + classless.size(), 40u);
    EXPECT_EQ(classless, (std::vector<std::string>{"ico", "wmf", "emf"}));

    InitializeImageFormats();
    InitializeImageFormats();  // a second user only counts
    TFileFormatList* registry = orv::FormatRegistry();
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(registry->ExtensionCount(), 37u);
    EXPECT_EQ(registry->ClassCount(), 16u);
    for (const TFormatDescriptor* format : ImageFormats()) {
        if (format->Class == nullptr) continue;
        for (const TFormatExtension& extension : format->Extensions)
            EXPECT_EQ(TPicture::ClassForExtension(extension.Extension), &format->Class()) << extension.Extension;
    }
    EXPECT_EQ(TPicture::ClassForExtension("TGA"), &TTargaGraphic::ClassInfo());
    EXPECT_EQ(TPicture::ClassForExtension("tif"), &TTIFFGraphic::ClassInfo());
    EXPECT_EQ(TPicture::ClassForExtension("eps"), &TEPSGraphic::ClassInfo());
    EXPECT_EQ(TPicture::ClassForExtension("png"), &TPNGGraphic::ClassInfo());
    EXPECT_EQ(TPicture::ClassForExtension("jpg"), &TJPEGImage::ClassInfo());
    EXPECT_EQ(TPicture::ClassForExtension("bmp"), &TBitmap::ClassInfo());
    EXPECT_EQ(registry->ClassAt(registry->IndexOfClass(&TJPEGImage::ClassInfo())).Description, "JPG images");
    EXPECT_EQ(PictureDescription("vda"), "Truevision images");
    EXPECT_EQ(PictureDescription("dib"), "Device independant Windows bitmaps");
    // The table's order: the bitmap's further extensions after the JPEG ones.
    EXPECT_EQ(registry->ExtensionAt(4).Extension, "jpeg");
    EXPECT_EQ(registry->ExtensionAt(5).Extension, "rle");

    FinalizeImageFormats();
    EXPECT_NE(orv::FormatRegistry(), nullptr);
    FinalizeImageFormats();
    EXPECT_EQ(orv::FormatRegistry(), nullptr);
    EXPECT_EQ(TPicture::ClassForExtension("tga"), nullptr);
    EXPECT_EQ(TPicture::ClassForExtension("eps"), nullptr);
    EXPECT_EQ(TPicture::ClassForExtension("bmp"), nullptr);
    FinalizeImageFormats();  // without users: nothing

    // The picture layer's own bindings come back for other tests.
    RegisterStandardPictures();
}

}  // namespace
}  // namespace orv
