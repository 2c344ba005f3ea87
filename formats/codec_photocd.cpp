#include "formats/codec_photocd.h"

#include <array>
#include <vector>

namespace orv {

namespace {

struct HuffmanEntry {
    std::uint8_t length;  // 1 to 16
    std::uint32_t code;   // left-aligned
    std::uint8_t key;     // a signed delta
    std::uint32_t mask;   // the top `length` bits
};

// A 32-bit window on the stream. Bits are consumed at the top; the stream
// is read in blocks of up to 2048 bytes. Only bits that came from the stream
// (and the register's initial 32) may be consumed: running out is the end of
// the data.
class BitWindow {
public:
    explicit BitWindow(TStream& stream) : stream_(stream) {}

    std::uint32_t Register() const { return register_; }

    bool Take(unsigned n) {
        if (n > consumable_) return false;
        register_ = n >= 32 ? 0 : register_ << n;
        count_ -= static_cast<int>(n);
        consumable_ -= n;
        while (count_ <= 24) {
            std::uint8_t byte = 0;
            if (NextByte(byte)) {
                register_ |= static_cast<std::uint32_t>(byte) << (24 - count_);
                consumable_ += 8;
            }
            count_ += 8;
        }
        return true;
    }

private:
    bool NextByte(std::uint8_t& byte) {
        if (pos_ == length_) {
            if (ended_) return false;
            length_ = stream_.Read(buffer_.data(), buffer_.size());
            pos_ = 0;
            if (length_ == 0) {
                ended_ = true;
                return false;
            }
        }
        byte = buffer_[pos_++];
        return true;
    }

    TStream& stream_;
    std::array<std::uint8_t, 2048> buffer_{};
    std::size_t length_ = 0;
    std::size_t pos_ = 0;
    bool ended_ = false;
    std::uint32_t register_ = 0;
    int count_ = 32;
    std::size_t consumable_ = 32;
};

bool AtSync(std::uint32_t reg) { return (reg & 0xFFFFFF00u) == 0xFFFFFE00u; }

bool Synchronise(BitWindow& bits) {
    while ((bits.Register() & 0xFFF000u) != 0xFFF000u)
        if (!bits.Take(8)) return false;
    while (!AtSync(bits.Register()))
        if (!bits.Take(1)) return false;
    return true;
}

bool ReadTable(BitWindow& bits, std::vector<HuffmanEntry>& table) {
    if (!bits.Take(8)) return false;
    const unsigned entries = (bits.Register() & 0xFFu) + 1;
    table.reserve(entries);
    for (unsigned i = 0; i < entries; ++i) {
        if (!bits.Take(8)) return false;
        const unsigned length = (bits.Register() & 0xFFu) + 1;
        if (length > 16) return false;
        if (!bits.Take(16)) return false;
        const std::uint32_t code = (bits.Register() & 0xFFFFu) << 16;
        if (!bits.Take(8)) return false;
        const auto key = static_cast<std::uint8_t>(bits.Register() & 0xFFu);
        const std::uint32_t mask = ~std::uint32_t{0} << (32 - length);
        table.push_back({static_cast<std::uint8_t>(length), code, key, mask});
    }
    return true;
}

}  // namespace

TPCDDecoder::TPCDDecoder(TStream& stream) : stream_(stream) {}

void TPCDDecoder::Decode(const std::uint8_t*&, std::size_t, std::uint8_t*&, std::size_t) {}

TPCDStop TPCDDecoder::DecodePlanes(const TPCDPlanes& planes, std::size_t rowLength, std::uint32_t stopRow) {
    BitWindow bits(stream_);
    const std::size_t tableCount = rowLength <= 1536 ? 1 : 3;
    std::vector<HuffmanEntry> tables[3];
    for (std::size_t t = 0; t < tableCount; ++t)
        if (!ReadTable(bits, tables[t])) return TPCDStop::EndOfData;

    if (!bits.Take(16) || !bits.Take(16) || !Synchronise(bits)) return TPCDStop::EndOfData;

    // Codes before the first header decode with table 1 but go nowhere.
    const std::vector<HuffmanEntry>* table = &tables[0];
    std::uint8_t* plane = nullptr;
    std::size_t planeSize = 0;
    std::size_t pos = 0;
    for (;;) {
        const std::uint32_t reg = bits.Register();
        if (AtSync(reg)) {
            if (!bits.Take(16)) return TPCDStop::EndOfData;
            const std::uint32_t row = (bits.Register() >> 9) & 0x1FFFu;
            if (row == stopRow) return TPCDStop::StopRow;
            if (!bits.Take(8)) return TPCDStop::EndOfData;
            const std::uint32_t which = bits.Register() >> 30;
            if (!bits.Take(16)) return TPCDStop::EndOfData;
            if (which == 1) return TPCDStop::Aborted;
            const std::size_t index = which == 0 ? 0 : which - 1;
            if (index >= tableCount) return TPCDStop::EndOfData;
            table = &tables[index];
            plane = planes.Data[index];
            planeSize = plane ? planes.Size[index] : 0;
            pos = static_cast<std::size_t>(which == 0 ? row : row / 2) * rowLength;
            continue;
        }
        const HuffmanEntry* match = nullptr;
        for (const HuffmanEntry& e : *table) {
            if ((reg & e.mask) == e.code) {
                match = &e;
                break;
            }
        }
        if (!match) {
            if (!Synchronise(bits)) return TPCDStop::EndOfData;
            continue;
        }
        if (pos < planeSize) {
            int value = plane[pos] + static_cast<std::int8_t>(match->key);
            plane[pos] = static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
        }
        ++pos;
        if (!bits.Take(match->length)) return TPCDStop::EndOfData;
    }
}

}  // namespace orv
