// The format library's registry of file extensions: binds each extension
// (ASCII case ignored) to a picture class and a description, and passes
// every binding on to the picture layer's registry, through which the
// programs' loaders pick the class for a file.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/graphic.h"

namespace orv {

// What kind of pictures a format holds (a set in one byte).
using TFormatKinds = std::uint8_t;
inline constexpr TFormatKinds FormatAnimated = 1u << 0;
inline constexpr TFormatKinds FormatLayers = 1u << 1;
inline constexpr TFormatKinds FormatMultiPage = 1u << 2;
inline constexpr TFormatKinds FormatRaster = 1u << 3;
inline constexpr TFormatKinds FormatVector = 1u << 4;

// One extension a format registers, without a dot, and its own description
// ("" for none: the format's description stands for it).
struct TFormatExtension {
    const char* Extension;
    const char* Description = "";
};

// What the library registers for one picture class: the class, its common
// description, its extensions in order of registration and the kinds of
// picture it holds. Class is null for a class this platform does not have;
// its extensions stay unregistered.
struct TFormatDescriptor {
    const TGraphicClass& (*Class)();
    const char* Description;
    std::span<const TFormatExtension> Extensions;
    TFormatKinds Kinds;
};

struct TClassEntry {
    const TGraphicClass* ImageClass = nullptr;
    std::string Description;  // common description of the class
    int ExtensionCount = 0;   // extension entries that point here
};

struct TExtensionEntry {
    std::string Extension;    // as registered, without a dot
    std::string Description;  // this extension's own description; may be empty
    TFormatKinds Kinds = 0;
    TClassEntry* ClassEntry = nullptr;
};

class TFileFormatList {
public:
    TFileFormatList() = default;
    // Clears, which also unbinds the classes in the picture layer.
    ~TFileFormatList();
    TFileFormatList(const TFileFormatList&) = delete;
    TFileFormatList& operator=(const TFileFormatList&) = delete;

    // Position of the extension (ASCII case ignored), -1 when absent or empty.
    int IndexOfExtension(std::string_view extension) const;
    // Position of the class's entry, -1 when absent.
    int IndexOfClass(const TGraphicClass* graphicClass) const;

    // Registers one extension. A second registration of an extension raises
    // EInvalidGraphic "Attempt to register %s twice." unless `replace` is
    // set, which rebinds it to the new class. An empty extension is ignored.
    void RegisterFileFormat(std::string_view extension, std::string_view common, std::string_view individual,
                            TFormatKinds kinds, bool replace, const TGraphicClass& graphicClass);
    // Removes one extension, or with an empty extension the class and all
    // its extensions. Unknown extensions and classes are ignored.
    void UnregisterFileFormat(std::string_view extension, const TGraphicClass& graphicClass);
    // Removes everything, unbinding every class in the picture layer.
    void Clear();

    std::size_t ExtensionCount() const { return extensions_.size(); }
    std::size_t ClassCount() const { return classes_.size(); }
    const TExtensionEntry& ExtensionAt(std::size_t index) const { return *extensions_.at(index); }
    const TClassEntry& ClassAt(std::size_t index) const { return *classes_.at(index); }

private:
    void ReleaseClass(TClassEntry* entry);

    std::vector<std::unique_ptr<TClassEntry>> classes_;
    std::vector<std::unique_ptr<TExtensionEntry>> extensions_;
};

}  // namespace orv
