#include "formats/library.h"

#include <algorithm>
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
#include "formats/format_messages.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/jpeg_image.h"

namespace orv {

namespace {

// The format classes built into the library. Each reader adds the accessor
// of its class descriptor here when it lands; table rows whose class is not
// listed are skipped at start-up.
using ClassAccessor = const TGraphicClass& (*)();
const ClassAccessor kBuiltInClasses[] = {
    &TBitmap::ClassInfo,
    &TJPEGImage::ClassInfo,
    &TTargaGraphic::ClassInfo,
    &TPNGGraphic::ClassInfo,
    &TTIFFGraphic::ClassInfo,
    &TEPSGraphic::ClassInfo,
    &TSGIGraphic::ClassInfo,
    &TPCXGraphic::ClassInfo,
    &TCUTGraphic::ClassInfo,
    &TPSDGraphic::ClassInfo,
    &TPSPGraphic::ClassInfo,
    &TGIFGraphic::ClassInfo,
    &TPCDGraphic::ClassInfo,
    &TPPMGraphic::ClassInfo,
    &TRLAGraphic::ClassInfo,
    &TAutodeskGraphic::ClassInfo,
};

std::vector<const TGraphicClass*>& ExtraClasses() {
    static std::vector<const TGraphicClass*> classes;
    return classes;
}

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

const std::vector<TFormatTableRow>& FormatTable() {
    using namespace msg;
    constexpr TFormatKinds raster = FormatRaster;
    static const std::vector<TFormatTableRow> table = {
        {"bmp", "TBitmap", WindowsBitmaps, "", raster},
        {"ico", "TIcon", WindowsIcons, "", raster},
        {"wmf", "TMetafile", WindowsMetafiles, "", FormatVector},
        {"emf", "TMetafile", WindowsMetafiles, EnhancedMetafiles, FormatVector},
        {"jfif", "TJPEGImage", JPGImages, JFIFImages, raster},
        {"jpg", "TJPEGImage", "", JPGImages, raster},
        {"jpe", "TJPEGImage", "", JPEImages, raster},
        {"jpeg", "TJPEGImage", "", JPEGImages, raster},
        {"rle", "TBitmap", WindowsBitmaps, RLEBitmaps, raster},
        {"dib", "TBitmap", "", DIBBitmaps, raster},
        {"win", "TTargaGraphic", TruevisionImages, "", raster},
        {"vst", "TTargaGraphic", "", "", raster},
        {"vda", "TTargaGraphic", "", "", raster},
        {"tga", "TTargaGraphic", "", "", raster},
        {"icb", "TTargaGraphic", "", "", raster},
        {"tiff", "TTIFFGraphic", TIFFImages, MacTIFFImages, FormatMultiPage | raster},
        {"tif", "TTIFFGraphic", "", PCTIFImages, FormatMultiPage | raster},
        {"fax", "TTIFFGraphic", "", FaxImages, FormatMultiPage | raster},
        {"eps", "TEPSGraphic", EPSImages, "", raster},
        {"pcx", "TPCXGraphic", PCXImages, "", raster},
        {"pcc", "TPCXGraphic", "", "", raster},
        {"scr", "TPCXGraphic", "", ScreenCaptureImages, raster},
        {"rpf", "TRLAGraphic", RLAImages, "", raster},
        {"rla", "TRLAGraphic", "", "", raster},
        {"sgi", "TSGIGraphic", SGIImages, SGITrueColor, raster},
        {"rgba", "TSGIGraphic", "", SGITrueColorAlpha, raster},
        {"rgb", "TSGIGraphic", "", SGITrueColor, raster},
        {"bw", "TSGIGraphic", "", SGIMono, raster},
        {"psd", "TPSDGraphic", PSDImages, "", FormatLayers | raster},
        {"pdd", "TPSDGraphic", "", "", FormatLayers | raster},
        {"ppm", "TPPMGraphic", PortableMapImages, PortablePixelMaps, raster},
        {"pgm", "TPPMGraphic", "", PortableGrayMaps, raster},
        {"pbm", "TPPMGraphic", "", PortableBitmaps, raster},
        {"cel", "TAutodeskGraphic", AutodeskImages, "", raster},
        {"pic", "TAutodeskGraphic", AutodeskImages, "", raster},
        {"pcd", "TPCDGraphic", PhotoCDImages, "", raster},
        {"gif", "TGIFGraphic", GIFImages, "", FormatAnimated | FormatMultiPage | raster},
        {"cut", "TCUTGraphic", CUTImages, "", raster},
        {"psp", "TPSPGraphic", PSPImages, "", raster | FormatVector},
        {"png", "TPNGGraphic", PNGImages, "", raster},
    };
    return table;
}

void AddFormatClass(const TGraphicClass& graphicClass) {
    std::lock_guard guard(State().lock);
    auto& extra = ExtraClasses();
    if (std::find(extra.begin(), extra.end(), &graphicClass) == extra.end()) extra.push_back(&graphicClass);
}

namespace {

const TGraphicClass* FindClassLocked(std::string_view className) {
    for (ClassAccessor accessor : kBuiltInClasses) {
        const TGraphicClass& cls = accessor();
        if (cls.Name != nullptr && className == cls.Name) return &cls;
    }
    for (const TGraphicClass* cls : ExtraClasses())
        if (cls->Name != nullptr && className == cls->Name) return cls;
    return nullptr;
}

}  // namespace

const TGraphicClass* FindFormatClass(std::string_view className) {
    std::lock_guard guard(State().lock);
    return FindClassLocked(className);
}

void InitializeImageFormats() {
    LibraryState& state = State();
    std::lock_guard guard(state.lock);
    if (state.users++ > 0) return;
    try {
        auto registry = std::make_unique<TFileFormatList>();
        for (const TFormatTableRow& row : FormatTable()) {
            const TGraphicClass* cls = FindClassLocked(row.ClassName);
            if (cls == nullptr) continue;
            registry->RegisterFileFormat(row.Extension, row.Common, row.Individual, row.Kinds, false, *cls);
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
    std::unique_ptr<TFileFormatList> registry = std::move(state.registry);
    if (!registry) return;
    // The library's own classes first, in a fixed order; then the extra
    // bitmap extensions; whatever stays goes with the registry.
    static const char* const kClassOrder[] = {
        "TPSPGraphic", "TPSDGraphic", "TTargaGraphic", "TTIFFGraphic", "TSGIGraphic",  "TPCXGraphic",
        "TAutodeskGraphic", "TPCDGraphic", "TPPMGraphic", "TCUTGraphic", "TGIFGraphic", "TRLAGraphic",
    };
    for (const char* name : kClassOrder)
        if (const TGraphicClass* cls = FindClassLocked(name)) registry->UnregisterFileFormat("", *cls);
    registry->UnregisterFileFormat("rle", TBitmap::ClassInfo());
    registry->UnregisterFileFormat("dib", TBitmap::ClassInfo());
    if (const TGraphicClass* png = FindClassLocked("TPNGGraphic")) registry->UnregisterFileFormat("", *png);
    registry.reset();
}

TFileFormatList* FormatRegistry() {
    std::lock_guard guard(State().lock);
    return State().registry.get();
}

}  // namespace orv
