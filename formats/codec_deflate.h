// Deflate (zlib stream) decoder for PNG image data, TIFF compression 8/32946
// and Paint Shop Pro channels.
#pragma once

#include <zlib.h>

#include <memory>

#include "formats/codec_base.h"

struct libdeflate_decompressor;

namespace orv {

class TLZ77Decoder : public TDecoder {
public:
    // flushMode: zlib's flush value for every inflate call (Z_SYNC_FLUSH = 1,
    // Z_FINISH = 4). autoReset: each Decode call inflates a stream of its own.
    TLZ77Decoder(int flushMode, bool autoReset);
    ~TLZ77Decoder() override;

    // Raises EDecoderError "LZ77 decompression error." when zlib refuses.
    void DecodeInit() override;
    // One inflate call. source and dest are advanced to the first byte not
    // consumed and the first byte not written. zlib's errors are not raised:
    // the caller inspects InflateResult, PackedLeft and UnpackedLeft. Without
    // auto reset, a stream that has ended ignores further blocks.
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;
    // Ends the stream if one was started; never raises.
    void DecodeEnd() override;

    // With auto reset: the caller clears what lies past the output (dest as
    // advanced) itself, so the bytes there may be left changed. A block is
    // then inflated in one go straight into dest, without a copy.
    void SetScratchTail(bool scratchTail) { scratchTail_ = scratchTail; }

    int InflateResult() const { return inflateResult_; }
    std::size_t PackedLeft() const { return packedLeft_; }
    std::size_t UnpackedLeft() const { return unpackedLeft_; }

private:
    struct FreeWholeDecoder {
        void operator()(libdeflate_decompressor* d) const noexcept;
    };
    // A block that is a stream of its own and fits dest whole: inflated in
    // one go. False when it does not decode cleanly that way; zlib's
    // streaming inflate then takes it, so damaged data give exactly the
    // bytes they always gave.
    bool DecodeWhole(const std::uint8_t*& source, std::size_t packedSize, std::uint8_t*& dest,
                     std::size_t unpackedSize);

    std::unique_ptr<libdeflate_decompressor, FreeWholeDecoder> whole_;
    // The one-shot inflate writes here first unless the tail is scratch: on
    // bad data it may have written anywhere in its buffer, and the caller's
    // bytes must stay.
    std::unique_ptr<std::uint8_t[]> scratch_;
    std::size_t scratchSize_ = 0;
    z_stream stream_{};
    std::size_t packedLeft_ = 0;
    std::size_t unpackedLeft_ = 0;
    int inflateResult_ = Z_OK;
    int flushMode_;
    bool autoReset_;
    bool initialised_ = false;
    bool scratchTail_ = false;
};

}  // namespace orv
