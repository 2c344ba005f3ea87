// Random colour-manager configurations converting rows held in buffers of
// exactly the size the configuration asks for: any access past a row shows
// up under the sanitizers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/color_manager.h"

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::size_t Left() const { return size_ - pos_; }
    const std::uint8_t* Rest() const { return data_ + pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orv;
    Input in(data, size);
    TColorManager cm;
    try {
        cm.SetSourceModel(static_cast<TColorModel>(in.Byte() % 14));
        cm.SetTargetModel(static_cast<TColorModel>(in.Byte() % 14));
        cm.SetSourceBits(static_cast<std::uint8_t>(in.Byte() % 16 + 1));
        cm.SetTargetBits(static_cast<std::uint8_t>(in.Byte() % 16 + 1));
        cm.SourceFlags = in.Byte() & 0x1F;
        cm.TargetFlags = in.Byte() & 0x1F;
        if (in.Byte() & 1) cm.SetGammaCorrection(static_cast<float>(in.Byte()) / 64.0f, 2.2f);
        if (in.Byte() & 1) cm.SetChromaParameters({in.Byte() / 255.0f, in.Byte() / 255.0f, in.Byte() / 255.0f}, 1, 1);
        const std::uint32_t count = in.Byte() | (in.Byte() << 8 & 0x300);
        const std::uint8_t mask = in.Byte();
        const std::size_t planes = in.Byte() % 5 + 1;

        const std::size_t sourceBytes = cm.RequiredSourceBytes(planes, count, mask);
        const std::size_t targetBytes = cm.RequiredTargetBytes(count);
        std::vector<std::vector<std::uint8_t>> data(planes);
        std::vector<TRowBuffer> buffers;
        for (auto& plane : data) {
            plane.resize(sourceBytes);
            for (auto& b : plane) b = in.Byte();
            buffers.push_back({plane.data(), plane.size()});
        }
        std::vector<std::uint8_t> target(targetBytes);
        cm.ConvertLine(buffers, target.data(), target.size(), count, mask);

        // Palettes from whatever is left, with a claimed count of its own.
        const std::uint8_t format = in.Byte() % 9;
        const std::uint32_t colors = in.Byte() * 3u;
        const TRowBuffer map{in.Rest(), in.Left()};
        const std::vector<TRowBuffer> maps{map, map, map};
        (void)cm.BuildIndexedPalette(maps, format, colors, (format & 1) != 0);
        (void)cm.BuildGrayPalette((format & 2) != 0);
    } catch (const EColorConversionError&) {
        // A refused configuration is an expected outcome.
    }
    return 0;
}
