#include "formats/codec_jpeg.h"

#include <algorithm>

#include "platform/graphics/jpeg_glue.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kUnexpectedEnd = "JPEG decompression error. Unexpected end of input.";
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

// A memory source: the strip (or the tables). Running out hands libjpeg an
// end-of-image marker and counts a warning, shown once libjpeg has returned.
struct TMemorySource {
    jpeg_source_mgr pub;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    int warnings = 0;
};

TMemorySource& SourceOf(j_decompress_ptr cinfo) { return *reinterpret_cast<TMemorySource*>(cinfo->src); }

void TiffJpegInitSource(j_decompress_ptr cinfo) {
    TMemorySource& src = SourceOf(cinfo);
    src.pub.next_input_byte = src.data;
    src.pub.bytes_in_buffer = src.size;
}

boolean TiffJpegFillInput(j_decompress_ptr cinfo) {
    TMemorySource& src = SourceOf(cinfo);
    ++src.warnings;
    src.pub.next_input_byte = kEndOfImage;
    src.pub.bytes_in_buffer = 2;
    return TRUE;
}

void TiffJpegSkipInput(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    TMemorySource& src = SourceOf(cinfo);
    if (static_cast<unsigned long>(count) > src.pub.bytes_in_buffer) {
        TiffJpegFillInput(cinfo);
        return;
    }
    src.pub.next_input_byte += count;
    src.pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TiffJpegTermSource(j_decompress_ptr) {}

}  // namespace

struct TTIFFJPEGDecoder::State {
    jpeg_decompress_struct cinfo{};
    TJpegErrorManager error{};
    TMemorySource source{};
    bool created = false;
};

TTIFFJPEGDecoder::TTIFFJPEGDecoder(TTIFFJPEGImage image) : image_(std::move(image)) {}

TTIFFJPEGDecoder::~TTIFFJPEGDecoder() { Release(); }

void TTIFFJPEGDecoder::Release() noexcept {
    if (state_ && state_->created) JpegDestroyDecompress(state_->cinfo);
    state_.reset();
}

void TTIFFJPEGDecoder::FlushWarnings() {
    for (; state_->source.warnings > 0; --state_->source.warnings) ShowJpegWarning(kUnexpectedEnd);
}

// Raises libjpeg's error (after the warnings it produced) when a guarded call failed.
void TTIFFJPEGDecoder::Check(bool ok) {
    FlushWarnings();
    if (ok) return;
    const int code = state_->error.pub.msg_code;
    JpegAbortDecompress(state_->cinfo);
    RaiseJpegError(code);
}

void TTIFFJPEGDecoder::DecodeInit() {
    Release();
    state_ = std::make_unique<State>();
    State& s = *state_;
    InitJpegErrorManager(s.error);
    if (!JpegCreateDecompress(s.cinfo, s.error)) RaiseJpegError(s.error.pub.msg_code);
    s.created = true;

    s.source.pub.init_source = TiffJpegInitSource;
    s.source.pub.fill_input_buffer = TiffJpegFillInput;
    s.source.pub.skip_input_data = TiffJpegSkipInput;
    s.source.pub.resync_to_restart = jpeg_resync_to_restart;
    s.source.pub.term_source = TiffJpegTermSource;
    s.cinfo.src = &s.source.pub;

    if (!image_.JPEGTables.empty()) {
        // The tables stay in the decompression record for every strip.
        s.source.data = image_.JPEGTables.data();
        s.source.size = image_.JPEGTables.size();
        int result = 0;
        Check(JpegReadHeader(s.cinfo, false, result));
        if (result != JPEG_HEADER_TABLES_ONLY) RaiseDecoderError(msg::JPEGBogusTables);
    }
    s.source.data = nullptr;
    s.source.size = 0;
    s.source.pub.next_input_byte = nullptr;
    s.source.pub.bytes_in_buffer = 0;
}

void TTIFFJPEGDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                              std::uint8_t*& dest, std::size_t unpackedSize) {
    if (!state_) RaiseDecoderError(msg::JPEGNotInitialised);
    State& s = *state_;
    jpeg_decompress_struct& cinfo = s.cinfo;

    JpegAbortDecompress(cinfo);  // the tables stay
    s.source.data = source;
    s.source.size = packedSize;
    s.source.pub.bytes_in_buffer = 0;
    int result = 0;
    Check(JpegReadHeader(cinfo, true, result));

    const std::uint32_t rowsLeft = image_.Height > image_.RowIndex ? image_.Height - image_.RowIndex : 0;
    const std::uint32_t expectedHeight = std::min(image_.RowsPerStrip, rowsLeft);
    if (cinfo.image_width != image_.Width || cinfo.image_height != expectedHeight)
        RaiseDecoderError(msg::JPEGStripSize);
    const bool interleaved = image_.PlanarLayout == 1;
    const std::uint32_t components = interleaved ? image_.SamplesPerPixel : 1;
    if (static_cast<std::uint32_t>(cinfo.num_components) != components)
        RaiseDecoderError(msg::JPEGComponentCount);
    if (static_cast<std::uint32_t>(cinfo.data_precision) != image_.BitsPerSample)
        RaiseDecoderError(msg::JPEGDataPrecision);
    bool samplingOk = true;
    if (interleaved) {
        samplingOk = cinfo.comp_info[0].h_samp_factor == image_.SubsamplingH &&
                     cinfo.comp_info[0].v_samp_factor == image_.SubsamplingV;
        for (int c = 1; c < cinfo.num_components; ++c)
            samplingOk = samplingOk && cinfo.comp_info[c].h_samp_factor == 1 && cinfo.comp_info[c].v_samp_factor == 1;
    } else {
        samplingOk = cinfo.comp_info[0].h_samp_factor == 1 && cinfo.comp_info[0].v_samp_factor == 1;
    }
    if (!samplingOk) RaiseDecoderError(msg::JPEGSamplingFactors);

    switch (cinfo.num_components) {
    case 3:
        cinfo.jpeg_color_space = image_.YCbCr ? JCS_YCbCr : JCS_RGB;
        cinfo.out_color_space = JCS_EXT_BGR;
        break;
    case 1:
        cinfo.jpeg_color_space = JCS_GRAYSCALE;
        cinfo.out_color_space = JCS_GRAYSCALE;
        break;
    default:
        cinfo.jpeg_color_space = JCS_UNKNOWN;
        cinfo.out_color_space = JCS_UNKNOWN;
        break;
    }
    cinfo.raw_data_out = FALSE;
    Check(JpegStartDecompress(cinfo));

    const std::size_t rowLength = image_.RowBytes;
    if (rowLength == 0 || unpackedSize % rowLength != 0) {
        JpegAbortDecompress(cinfo);
        RaiseDecoderError(msg::JPEGFractionalScanline);
    }
    // libjpeg writes a whole scanline: it must fit the caller's row.
    const std::size_t scanline = static_cast<std::size_t>(cinfo.output_width) * cinfo.output_components;
    if (scanline > rowLength) {
        JpegAbortDecompress(cinfo);
        RaiseDecoderError(msg::JPEGStripSize);
    }

    const std::size_t rows = std::min<std::size_t>(cinfo.output_height, unpackedSize / rowLength);
    std::size_t done = 0;
    for (; done < rows; ++done) {
        unsigned got = 0;
        Check(JpegReadScanline(cinfo, dest + done * rowLength, got));
        if (got == 0) break;
    }
    // Finishing checks that every row was read; a strip cut short is aborted.
    if (cinfo.output_scanline >= cinfo.output_height)
        Check(JpegFinishDecompress(cinfo));
    else
        JpegAbortDecompress(cinfo);
}

void TTIFFJPEGDecoder::DecodeEnd() { Release(); }

}  // namespace orv
