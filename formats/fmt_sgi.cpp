#include "formats/fmt_sgi.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/codec_rle.h"
#include "formats/format_registry.h"
#include "platform/base/stream.h"
#include "platform/graphics/byte_order.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "sgi, bw or rgb(a)";
constexpr std::size_t kHeaderSize = 512;
constexpr std::uint16_t kMagic = 474;
constexpr TFormatExtension kExtensions[] = {{"sgi", "SGI true color images"},
                                            {"rgba", "SGI true color images with alpha"},
                                            {"rgb", "SGI true color images"},
                                            {"bw", "SGI black/white images"}};

struct SGIHeader {
    std::uint16_t Magic = 0;
    std::uint8_t Storage = 0;
    std::uint8_t BytesPerSample = 0;
    std::uint16_t Dimension = 0;
    std::uint16_t Width = 0;
    std::uint16_t Height = 0;
    std::uint8_t Channels = 0;  // low byte of the stored count

    static SGIHeader Parse(const std::uint8_t* b) {
        SGIHeader h;
        h.Magic = BigWord(b);
        h.Storage = b[2];
        h.BytesPerSample = b[3];
        h.Dimension = BigWord(b + 4);
        h.Width = BigWord(b + 6);
        h.Height = BigWord(b + 8);
        h.Channels = b[11];
        return h;
    }
};

// Bytes the stream holds from `position` on (0 past its end).
std::uint64_t BytesFrom(TStream& stream, std::int64_t position) {
    const std::int64_t size = stream.Size();
    return position >= 0 && size > position ? static_cast<std::uint64_t>(size - position) : 0;
}

// Reads as much of a table of 32-bit big-endian values as the stream holds;
// entries it does not reach stay zero.
std::vector<std::uint32_t> ReadTable(TStream& stream, std::size_t entries) {
    std::vector<std::uint32_t> table(entries, 0);
    const std::uint64_t left = BytesFrom(stream, stream.Position());
    const std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(entries * 4, left)) & ~std::size_t{3};
    const std::size_t got = stream.Read(table.data(), bytes);
    ReverseLongs(table.data(), got / 4);
    // The read leaves the stream at the next table even when it fell short.
    if (got < entries * 4) stream.Seek(static_cast<std::int64_t>(entries * 4 - got), SeekOrigin::Current);
    return table;
}

// Fetches one channel row of the image in file order.
class RowReader {
public:
    RowReader(TStream& stream, std::int64_t start, const SGIHeader& header)
        : stream_(stream), start_(start), header_(header),
          rowBytes_(static_cast<std::size_t>(header.Width) * header.BytesPerSample) {
        if (header.Storage == 1) {
            const std::size_t n = static_cast<std::size_t>(header.Height) * header.Channels;
            stream_.SetPosition(start_ + static_cast<std::int64_t>(kHeaderSize));
            starts_ = ReadTable(stream_, n);
            lengths_ = ReadTable(stream_, n);
            decoder_ = std::make_unique<TSGIRLEDecoder>(static_cast<std::uint8_t>(header.BytesPerSample * 8));
            decoder_->DecodeInit();
        }
    }

    std::size_t RowBytes() const { return rowBytes_; }

    // Channel `channel` of file row `row` into buffer (RowBytes() bytes);
    // what the file does not hold stays zero.
    void Read(std::uint32_t channel, std::uint32_t row, std::uint8_t* buffer) {
        std::memset(buffer, 0, rowBytes_);
        const std::size_t index = static_cast<std::size_t>(channel) * header_.Height + row;
        if (decoder_) {
            const std::int64_t position = start_ + starts_[index];
            const std::uint64_t left = BytesFrom(stream_, position);
            // A row of W samples never needs more than a one-sample run per
            // sample plus the closing packet, whatever length the table gives.
            const std::uint64_t useful = 2 * (static_cast<std::uint64_t>(rowBytes_) + header_.BytesPerSample);
            const std::size_t want = static_cast<std::size_t>(
                std::min({static_cast<std::uint64_t>(lengths_[index]) * header_.BytesPerSample, left, useful}));
            if (want == 0) return;
            if (packed_.size() < want) packed_.resize(want);
            stream_.SetPosition(position);
            const std::size_t got = stream_.Read(packed_.data(), want);
            const std::uint8_t* source = packed_.data();
            std::uint8_t* dest = buffer;
            decoder_->Decode(source, got, dest, rowBytes_);
        } else {
            const std::int64_t position = start_ + static_cast<std::int64_t>(kHeaderSize) +
                                          static_cast<std::int64_t>(index) * static_cast<std::int64_t>(rowBytes_);
            if (BytesFrom(stream_, position) == 0) return;
            stream_.SetPosition(position);
            stream_.Read(buffer, rowBytes_);
        }
    }

    void Finish() {
        if (decoder_) decoder_->DecodeEnd();
    }

private:
    TStream& stream_;
    std::int64_t start_;
    SGIHeader header_;
    std::size_t rowBytes_;
    std::vector<std::uint32_t> starts_;
    std::vector<std::uint32_t> lengths_;
    std::vector<std::uint8_t> packed_;
    std::unique_ptr<TSGIRLEDecoder> decoder_;
};

}  // namespace

TSGIGraphic::TSGIGraphic() : TFormatGraphic(kFormatName) {}

const TGraphicClass& TSGIGraphic::ClassInfo() { return FormatClassInfo<TSGIGraphic>("TSGIGraphic"); }

const TFormatDescriptor TSGIGraphic::Format{&TSGIGraphic::ClassInfo, "SGI images", kExtensions, FormatRaster};

bool TSGIGraphic::CanLoadStream(TStream& stream) {
    std::uint8_t bytes[kHeaderSize];
    if (!PeekHeader(stream, bytes, sizeof bytes)) return false;
    const SGIHeader h = SGIHeader::Parse(bytes);
    return h.Magic == kMagic && (h.BytesPerSample == 1 || h.BytesPerSample == 2) && h.Dimension >= 1 &&
           h.Dimension <= 3;
}

bool TSGIGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    std::uint8_t bytes[kHeaderSize];
    if (stream.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    const SGIHeader h = SGIHeader::Parse(bytes);
    if (h.Magic != kMagic) return false;

    TImageProperties& p = ImageProperties;
    p.Options = OptionBigEndian;
    p.BitsPerSample = static_cast<std::uint8_t>(h.BytesPerSample * 8);
    p.Width = h.Width;
    p.Height = h.Height;
    p.SamplesPerPixel = h.Channels;
    p.ColorScheme = h.Channels == 3   ? TColorModel::cmRGB
                    : h.Channels == 4 ? TColorModel::cmRGBA
                                      : TColorModel::cmIndexed;
    p.BitsPerPixel = static_cast<std::uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    p.Compression = h.Storage == 1 ? ctRLE : ctNone;
    // Any other sample size would wrap the bit depth to a valid-looking one
    // while the rows are read at the stored size.
    if (h.BytesPerSample != 1 && h.BytesPerSample != 2) return false;
    return h.Channels >= 1 && h.Channels <= 4;
}

void TSGIGraphic::DecodeImage(TLoadContext& load) {
    TStream& stream = load.Stream;
    load.Progress.SetEndNotice(100, true);
    const TImageProperties& props = ImageProperties;
    CheckImageSize(props.Width, props.Height, kFormatName);

    load.Progress.Start(msg::Preparing);
    stream.SetPosition(load.StartPosition);
    std::uint8_t bytes[kHeaderSize];
    stream.ReadBuffer(bytes, sizeof bytes);
    const SGIHeader h = SGIHeader::Parse(bytes);

    // Two channels (gray and alpha) show as their gray channel alone.
    const bool color = h.Channels >= 3;
    const std::uint8_t samples = color ? h.Channels : 1;
    SetUpDisplay(color ? props.ColorScheme : TColorModel::cmIndexed, props.BitsPerSample, samples, cfByteSwap);
    SetImageSize(h.Width, h.Height);
    if (!color) SetPalette(ColorManager.BuildGrayPalette(false));

    RowReader reader(stream, load.StartPosition, h);

    load.Progress.End();
    load.Progress.Start(msg::Transfering);

    const std::size_t rowBytes = reader.RowBytes();
    std::vector<std::uint8_t> planes(rowBytes * samples);
    TRowBuffer sources[4];
    for (std::size_t k = 0; k < samples; ++k) sources[k] = {planes.data() + k * rowBytes, rowBytes};
    const std::span<const TRowBuffer> sourceSpan(sources, samples);

    for (std::uint32_t r = 0; r < h.Height && rowBytes > 0; ++r) {
        for (std::uint32_t k = 0; k < samples; ++k) reader.Read(k, r, planes.data() + k * rowBytes);
        std::uint8_t* target = ScanLine(static_cast<int>(h.Height - 1 - r));
        ColorManager.ConvertLine(sourceSpan, target, RowBytes(), h.Width);
        load.Progress.RowDone(r, h.Height);
    }
    reader.Finish();
}

}  // namespace orv
