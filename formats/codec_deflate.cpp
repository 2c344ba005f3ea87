#include "formats/codec_deflate.h"

#include "platform/graphics/messages.h"

#include <libdeflate.h>

#include <climits>
#include <cstring>

namespace orv {

TLZ77Decoder::TLZ77Decoder(int flushMode, bool autoReset) : flushMode_(flushMode), autoReset_(autoReset) {}

TLZ77Decoder::~TLZ77Decoder() { DecodeEnd(); }

void TLZ77Decoder::FreeWholeDecoder::operator()(libdeflate_decompressor* d) const noexcept {
    libdeflate_free_decompressor(d);
}

bool TLZ77Decoder::DecodeWhole(const std::uint8_t*& source, std::size_t packedSize, std::uint8_t*& dest,
                               std::size_t unpackedSize) {
    if (!whole_) {
        whole_.reset(libdeflate_alloc_decompressor());
        if (!whole_) return false;
    }
    std::uint8_t* to = dest;
    if (!scratchTail_) {
        if (scratchSize_ < unpackedSize) {
            scratch_.reset(new std::uint8_t[unpackedSize]);
            scratchSize_ = unpackedSize;
        }
        to = scratch_.get();
    }
    std::size_t in = 0, out = 0;
    if (libdeflate_zlib_decompress_ex(whole_.get(), source, packedSize, to, unpackedSize, &in, &out) !=
        LIBDEFLATE_SUCCESS)
        return false;
    if (out > 0 && to != dest) std::memcpy(dest, to, out);
    // What the streaming inflate leaves after the stream's end.
    source += in;
    dest += out;
    packedLeft_ = packedSize - in;
    unpackedLeft_ = unpackedSize - out;
    inflateResult_ = Z_STREAM_END;
    return true;
}

void TLZ77Decoder::DecodeInit() {
    DecodeEnd();
    stream_ = z_stream{};
    inflateResult_ = Z_OK;
    if (inflateInit(&stream_) < 0) RaiseDecoderError(msg::LZ77Error);
    initialised_ = true;
}

void TLZ77Decoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                          std::uint8_t*& dest, std::size_t unpackedSize) {
    if (!initialised_) RaiseDecoderError(msg::LZ77Error);
    // A strip or tile comes whole and ends its stream: the one-shot inflate
    // is about twice as fast as the streaming one.
    if (autoReset_ && packedSize <= UINT_MAX && unpackedSize <= UINT_MAX &&
        DecodeWhole(source, packedSize, dest, unpackedSize))
        return;
    // zlib counts in 32 bits; a larger block is taken in part and the rest
    // shows in PackedLeft/UnpackedLeft as unconsumed.
    stream_.next_in = const_cast<Bytef*>(source);
    stream_.avail_in = static_cast<uInt>(packedSize > UINT_MAX ? UINT_MAX : packedSize);
    if (autoReset_) inflateResult_ = inflateReset(&stream_);
    if (inflateResult_ != Z_OK) {
        packedLeft_ = stream_.avail_in;
        unpackedLeft_ = stream_.avail_out;
        return;
    }
    stream_.next_out = dest;
    stream_.avail_out = static_cast<uInt>(unpackedSize > UINT_MAX ? UINT_MAX : unpackedSize);
    inflateResult_ = inflate(&stream_, flushMode_);
    source = stream_.next_in;
    dest = stream_.next_out;
    packedLeft_ = stream_.avail_in;
    unpackedLeft_ = stream_.avail_out;
}

void TLZ77Decoder::DecodeEnd() {
    if (!initialised_) return;
    initialised_ = false;
    inflateEnd(&stream_);
}

}  // namespace orv
