#include "formats/codec_deflate.h"

#include <climits>

namespace orv {

namespace {
constexpr const char* kInflateError = "LZ77 decompression error.";
}

TLZ77Decoder::TLZ77Decoder(int flushMode, bool autoReset) : flushMode_(flushMode), autoReset_(autoReset) {}

TLZ77Decoder::~TLZ77Decoder() { DecodeEnd(); }

void TLZ77Decoder::DecodeInit() {
    DecodeEnd();
    stream_ = z_stream{};
    inflateResult_ = Z_OK;
    if (inflateInit(&stream_) < 0) RaiseDecoderError(kInflateError);
    initialised_ = true;
}

void TLZ77Decoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                          std::uint8_t*& dest, std::size_t unpackedSize) {
    if (!initialised_) RaiseDecoderError(kInflateError);
    // zlib counts in 32 bits; a larger block is taken in part and the rest
    // shows in PackedLeft/UnpackedLeft as unconsumed.
    stream_.next_in = const_cast<Bytef*>(source);
    stream_.avail_in = static_cast<uInt>(packedSize > UINT_MAX ? UINT_MAX : packedSize);
    if (autoReset_) inflateResult_ = inflateReset(&stream_);
    if (inflateResult_ != Z_OK) return;
    stream_.next_out = dest;
    stream_.avail_out = static_cast<uInt>(unpackedSize > UINT_MAX ? UINT_MAX : unpackedSize);
    inflateResult_ = inflate(&stream_, flushMode_);
    source = stream_.next_in;
    dest = stream_.next_out;
}

void TLZ77Decoder::DecodeEnd() {
    if (!initialised_) return;
    initialised_ = false;
    inflateEnd(&stream_);
}

}  // namespace orv
