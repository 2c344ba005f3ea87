// Palettes of indexed and gray bitmaps, shaped to the colour manager's
// target depth and gamma.
#include "formats/palettes.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "formats/color_manager.h"

namespace orv {

namespace {

struct MapLayout {
    bool wide = false;       // 16-bit samples
    bool planar = false;
    std::size_t stride = 0;  // bytes per entry in an interleaved map
};

bool LayoutOf(std::uint8_t format, MapLayout& layout) {
    switch (format) {
        case cmf8Interleaved: layout = {false, false, 3}; return true;
        case cmf8Interleaved4: layout = {false, false, 4}; return true;
        case cmf8Planar:
        case cmf8Planar2: layout = {false, true, 1}; return true;
        case cmf16Interleaved: layout = {true, false, 6}; return true;
        case cmf16Interleaved4: layout = {true, false, 8}; return true;
        case cmf16Planar:
        case cmf16Planar2: layout = {true, true, 2}; return true;
        default: return false;
    }
}

}  // namespace

TPalette TColorManager::BuildIndexedPalette(std::span<const TRowBuffer> data, std::uint8_t format,
                                               std::uint32_t colorCount, bool bgrOrder) const {
    std::array<TPaletteEntry, TPalette::kMaxEntries> record{};
    std::size_t count = std::min<std::size_t>(colorCount, TPalette::kMaxEntries);

    MapLayout layout;
    std::size_t read = 0;  // entries actually taken from the data
    if (LayoutOf(format, layout) && !data.empty()) {
        // Take no more entries than every buffer holds.
        const std::size_t planes = layout.planar ? 3 : 1;
        std::size_t available = count;
        for (std::size_t i = 0; i < planes; ++i) {
            const std::size_t bytes = i < data.size() && data[i].Data != nullptr ? data[i].Size : 0;
            available = std::min(available, bytes / layout.stride);
        }
        read = available;

        const bool swap = SourceFlags & cfByteSwap;
        const bool gamma = TargetFlags & cfGamma;
        auto byteValue = [&](const std::uint8_t* p) -> std::uint8_t { return gamma ? gammaTable8_[*p] : *p; };
        auto wordValue = [&](const std::uint8_t* p) -> std::uint8_t {
            std::uint16_t w = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
            if (swap) w = SwapWord(w);
            const std::uint8_t v = static_cast<std::uint8_t>(w * 255u / 65535u);
            return gamma ? gammaTable8_[v] : v;
        };
        auto component = [&](const std::uint8_t* p) { return layout.wide ? wordValue(p) : byteValue(p); };
        const std::size_t sample = layout.wide ? 2 : 1;

        for (std::size_t i = 0; i < read; ++i) {
            TPaletteEntry& e = record[i];
            if (layout.planar) {
                e.Red = component(static_cast<const std::uint8_t*>(data[0].Data) + i * sample);
                e.Green = component(static_cast<const std::uint8_t*>(data[1].Data) + i * sample);
                e.Blue = component(static_cast<const std::uint8_t*>(data[2].Data) + i * sample);
            } else {
                const std::uint8_t* p = static_cast<const std::uint8_t*>(data[0].Data) + i * layout.stride;
                const std::uint8_t first = component(p);
                const std::uint8_t last = component(p + 2 * sample);
                e.Green = component(p + sample);
                // The 8-bit maps name their order by bgrOrder, the 16-bit ones
                // the other way round (as their writers stored them).
                const bool firstIsBlue = layout.wide ? !bgrOrder : bgrOrder;
                e.Blue = firstIsBlue ? first : last;
                e.Red = firstIsBlue ? last : first;
            }
        }
    }

    // Fit the entries to the target depth: target index t shows source index
    // t * SMax div TMax, the inverse of the row converters' index rescaling.
    const unsigned targetBits = targetBits_, sourceBits = sourceBits_;
    if (targetBits <= 8) {
        const std::uint32_t sMax = (1u << sourceBits) - 1u;
        const std::uint32_t tMax = (1u << targetBits) - 1u;
        if (sMax != tMax) {
            const auto original = record;
            for (std::uint32_t t = 0; t <= tMax; ++t) {
                std::size_t from = MulDivWord(t, sMax, tMax);
                // Sources deeper than 8 bits name entries the record does not
                // hold; stay with the entries that were read.
                if (from >= TPalette::kMaxEntries) from = read > 0 ? read - 1 : 0;
                record[t] = original[from];
            }
            count = tMax + 1;
        }
    }

    return TPalette(std::vector<TPaletteEntry>(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(count)));
}

TPalette TColorManager::BuildGrayPalette(bool minimumIsWhite) const {
    const unsigned depth = std::min(8u, static_cast<unsigned>(targetBits_) * targetSamples_);
    const unsigned entries = 1u << depth;
    const unsigned last = entries - 1;
    const unsigned step = 255 / last;
    const bool gamma = TargetFlags & cfGamma;

    std::vector<TPaletteEntry> ramp(entries);
    for (unsigned i = 0; i <= last; ++i) {
        const unsigned level = i * step;
        const std::uint8_t value = gamma ? gammaTable8_[level] : static_cast<std::uint8_t>(level);
        TPaletteEntry& e = ramp[minimumIsWhite ? last - i : i];
        e.Red = e.Green = e.Blue = value;
    }
    return TPalette(std::move(ramp));
}

}  // namespace orv
