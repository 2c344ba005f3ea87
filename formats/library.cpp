#include "formats/library.h"

#include <memory>
#include <mutex>

#include "formats/fmt_autodesk.h"
#include "formats/fmt_cut.h"
#include "formats/fmt_eps.h"
#include "formats/fmt_gif.h"
#include "formats/fmt_pcd.h"
#include "formats/fmt_pcx.h"
#include "formats/fmt_png.h"
#include "formats/fmt_ppm.h"
#include "formats/fmt_psd.h"
#include "formats/fmt_psp.h"
#include "formats/fmt_rla.h"
#include "formats/fmt_sgi.h"
#include "formats/fmt_targa.h"
#include "formats/fmt_tiff.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/jpeg_image.h"

namespace orv {

namespace {

// The picture layer's own classes. Icons and metafiles have no class on
// this platform.
constexpr TFormatExtension kBitmapExtensions[] = {{"bmp"}};
constexpr TFormatExtension kIconExtensions[] = {{"ico"}};
constexpr TFormatExtension kMetafileExtensions[] = {{"wmf"}, {"emf", "Windows enhanced meta files"}};
constexpr TFormatExtension kJPEGExtensions[] = {
    {"jfif", "JFIF images"}, {"jpg", "JPG images"}, {"jpe", "JPE images"}, {"jpeg", "JPEG images"}};
constexpr TFormatExtension kMoreBitmapExtensions[] = {{"rle", "Run length encoded Windows bitmaps"},
                                                      {"dib", "Device independant Windows bitmaps"}};

constexpr TFormatDescriptor kBitmapFormat{&TBitmap::ClassInfo, "Windows bitmaps", kBitmapExtensions, FormatRaster};
constexpr TFormatDescriptor kIconFormat{nullptr, "Windows icons", kIconExtensions, FormatRaster};
constexpr TFormatDescriptor kMetafileFormat{nullptr, "Windows metafiles", kMetafileExtensions, FormatVector};
constexpr TFormatDescriptor kJPEGFormat{&TJPEGImage::ClassInfo, "JPG images", kJPEGExtensions, FormatRaster};
constexpr TFormatDescriptor kMoreBitmapFormat{&TBitmap::ClassInfo, "Windows bitmaps", kMoreBitmapExtensions,
                                              FormatRaster};

// In order of registration; the bitmap's further extensions come after the
// JPEG ones.
constexpr const TFormatDescriptor* kFormats[] = {
    &kBitmapFormat,         &kIconFormat,          &kMetafileFormat,     &kJPEGFormat,
    &kMoreBitmapFormat,     &TTargaGraphic::Format, &TTIFFGraphic::Format, &TEPSGraphic::Format,
    &TPCXGraphic::Format,   &TRLAGraphic::Format,   &TSGIGraphic::Format,  &TPSDGraphic::Format,
    &TPPMGraphic::Format,   &TAutodeskGraphic::Format, &TPCDGraphic::Format, &TGIFGraphic::Format,
    &TCUTGraphic::Format,   &TPSPGraphic::Format,   &TPNGGraphic::Format,
};

struct LibraryState {
    std::mutex lock;
    int users = 0;
    std::unique_ptr<TFileFormatList> registry;
};

LibraryState& State() {
    static LibraryState state;
    return state;
}

}  // namespace

std::span<const TFormatDescriptor* const> ImageFormats() { return kFormats; }

void InitializeImageFormats() {
    LibraryState& state = State();
    std::lock_guard guard(state.lock);
    if (state.users++ > 0) return;
    try {
        auto registry = std::make_unique<TFileFormatList>();
        for (const TFormatDescriptor* format : kFormats) {
            if (format->Class == nullptr) continue;
            for (const TFormatExtension& extension : format->Extensions)
                registry->RegisterFileFormat(extension.Extension, format->Description, extension.Description,
                                             format->Kinds, false, format->Class());
        }
        state.registry = std::move(registry);
    } catch (...) {
        state.users = 0;
        throw;
    }
}

void FinalizeImageFormats() {
    LibraryState& state = State();
    std::lock_guard guard(state.lock);
    if (state.users == 0 || --state.users > 0) return;
    state.registry.reset();
}

TFileFormatList* FormatRegistry() {
    std::lock_guard guard(State().lock);
    return State().registry.get();
}

}  // namespace orv
