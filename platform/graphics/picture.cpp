#include "platform/graphics/picture.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>

#include "platform/base/paths.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

std::vector<TPictureFormat>& Registry() {
    static std::vector<TPictureFormat> formats;
    return formats;
}

// Pictures load on worker threads too: lookups share the registry, changes
// to it are exclusive.
std::shared_mutex& RegistryLock() {
    static std::shared_mutex lock;
    return lock;
}

std::string NormalizeExtension(std::string_view ext) {
    if (!ext.empty() && ext.front() == '.') ext.remove_prefix(1);
    return LowerAscii(ext);
}

std::vector<TPictureFormat>::iterator FindExtension(const std::string& ext) {
    auto& reg = Registry();
    return std::find_if(reg.begin(), reg.end(), [&](const TPictureFormat& f) { return f.Extension == ext; });
}

}  // namespace

std::string PictureExtension(const std::string& fileName) { return NormalizeExtension(ExtractFileExt(fileName)); }

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  const TGraphicClass& graphicClass, bool replace) {
    const std::string ext = NormalizeExtension(extension);
    if (ext.empty()) return;
    std::unique_lock<std::shared_mutex> lock(RegistryLock());
    auto it = FindExtension(ext);
    if (it == Registry().end()) {
        Registry().push_back(TPictureFormat{ext, description, &graphicClass});
        return;
    }
    if (it->Class != &graphicClass && !replace) RaiseImageErrorFmt(msg::DuplicateFormat, ext);
    it->Class = &graphicClass;
    it->Description = description;
}

void TPicture::UnregisterGraphicClass(const TGraphicClass& graphicClass) {
    std::unique_lock<std::shared_mutex> lock(RegistryLock());
    auto& reg = Registry();
    reg.erase(std::remove_if(reg.begin(), reg.end(),
                             [&](const TPictureFormat& f) { return f.Class == &graphicClass; }),
              reg.end());
}

const TGraphicClass* TPicture::ClassForExtension(const std::string& extension) {
    const std::string ext = NormalizeExtension(extension);
    std::shared_lock<std::shared_mutex> lock(RegistryLock());
    auto it = FindExtension(ext);
    return it == Registry().end() ? nullptr : it->Class;
}

std::vector<TPictureFormat> TPicture::FileFormats() {
    std::shared_lock<std::shared_mutex> lock(RegistryLock());
    return Registry();
}

void TPicture::LoadFromFile(const std::string& fileName) {
    const std::string ext = PictureExtension(fileName);
    const TGraphicClass* cls = ext.empty() ? nullptr : ClassForExtension(ext);
    if (cls == nullptr || cls->Create == nullptr) RaiseImageErrorFmt(msg::UnknownExtension, ext);
    std::unique_ptr<TGraphic> graphic = cls->Create();
    graphic->OnProgress = OnProgress;
    graphic->LoadFromFile(fileName);
    graphic_ = std::move(graphic);
}

int TPicture::Width() const { return graphic_ ? graphic_->Width() : 0; }
int TPicture::Height() const { return graphic_ ? graphic_->Height() : 0; }

void RegisterStandardPictures() {
    TPicture::RegisterFileFormat("bmp", "Bitmaps", TBitmap::ClassInfo());
    TPicture::RegisterFileFormat("jpg", "JPEG Image File", TJPEGImage::ClassInfo());
    TPicture::RegisterFileFormat("jpeg", "JPEG Image File", TJPEGImage::ClassInfo());
}

}  // namespace orv
