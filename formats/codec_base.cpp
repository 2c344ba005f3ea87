#include "formats/codec_base.h"

namespace orv {

void TDecoder::Encode(const std::uint8_t*, std::uint8_t*, std::size_t, std::uint32_t, std::uint32_t&) {}

void RaiseDecoderError(const std::string& message) { throw EDecoderError(message); }

}  // namespace orv
