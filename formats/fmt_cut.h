// Run-length coded 8-bit index pictures whose colours live in a separate
// palette file beside them (same name, extension ".pal"); without that file
// the indices show as gray.
#pragma once

#include <cstdint>
#include <string>

#include "formats/image_format.h"

namespace orv {

class TCUTGraphic : public TFormatGraphic {
public:
    TCUTGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // The format has no signature: always false.
    static bool CanLoadStream(TStream& stream);
    // Remembers the palette file beside `fileName`, then loads the file.
    void LoadFromFile(const std::string& fileName) override;
    // Reads width and height; false (a quiet empty picture on load) when the
    // stream is too short for them or either is 0.
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;

    // The palette file that loads look for; empty until LoadFromFile.
    const std::string& PaletteFileName() const { return paletteFileName_; }

    // The palette file to open for `name`: the name itself when it is a
    // file, else the first entry of its folder (byte order) whose name
    // differs from it only in ASCII letter case; empty when there is none.
    static std::string FindPaletteFile(const std::string& name);
    // Reads a palette file: the entry count at offset 12 of the first
    // 512-byte block, six-byte entries from offset 40, never across a block;
    // at most 256 entries. A file that ends inside a needed block raises
    // EReadError.
    static TPalette ReadPaletteFile(const std::string& path);

protected:
    void DecodeImage(TLoadContext& load) override;

private:
    std::string paletteFileName_;
};

}  // namespace orv
