#include "platform/graphics/jpeg_image.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/base/stream.h"
#include "platform/graphics/jpeg_glue.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "JPEG";

// Fatal libjpeg errors jump back (see jpeg_glue.h) into the decoding step
// that called libjpeg, which then reports failure to C++ code outside every
// libjpeg frame. The steps that hold a setjmp own no object with a destructor.
struct Decoder {
    jpeg_decompress_struct cinfo{};
    TJpegErrorManager err{};
    bool created = false;

    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    // The guarded destroy sets a fresh jump target: the last one belonged to
    // a step that has returned.
    ~Decoder() {
        if (created) JpegDestroyDecompress(cinfo);
    }
};

// Reads the header and fixes the output colour space. False on any libjpeg error.
bool ReadHeader(Decoder& d, const unsigned char* data, unsigned long size) {
    InitJpegErrorManager(d.err);
    if (!JpegCreateDecompress(d.cinfo, d.err)) return false;
    d.created = true;
    if (setjmp(d.err.jump)) return false;
    jpeg_mem_src(&d.cinfo, data, size);
    jpeg_read_header(&d.cinfo, TRUE);
    const J_COLOR_SPACE in = d.cinfo.jpeg_color_space;
    d.cinfo.out_color_space = (in == JCS_CMYK || in == JCS_YCCK) ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&d.cinfo);
    return true;
}

// Has libjpeg decode at 1/denominator of the size. False on any libjpeg error.
bool ScaleOutput(Decoder& d, int denominator) {
    if (setjmp(d.err.jump)) return false;
    d.cinfo.scale_num = 1;
    d.cinfo.scale_denom = static_cast<unsigned int>(denominator);
    jpeg_calc_output_dimensions(&d.cinfo);
    return true;
}

// Adobe writers store CMYK inverted (0 = full ink); others store ink amounts.
void CmykRowToBgr(const JSAMPLE* cmyk, std::uint8_t* bgr, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        // c, m, y, k now hold the light left over by each ink.
        bgr[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
        bgr[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        bgr[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
    }
}

// Decodes every row. BGR output goes straight into `rows`; CMYK output
// passes through `cmykRow` (width * 4 bytes). False on any libjpeg error.
bool DecodeRows(Decoder& d, JSAMPROW* rows, JSAMPROW cmykRow) {
    if (setjmp(d.err.jump)) {
        JpegAbortDecompress(d.cinfo);  // frees the image state
        return false;
    }
    jpeg_start_decompress(&d.cinfo);
    const JDIMENSION height = d.cinfo.output_height;
    if (cmykRow == nullptr) {
        while (d.cinfo.output_scanline < height) {
            const JDIMENSION at = d.cinfo.output_scanline;
            if (jpeg_read_scanlines(&d.cinfo, rows + at, height - at) == 0) break;
        }
    } else {
        const bool inverted = d.cinfo.saw_Adobe_marker;
        while (d.cinfo.output_scanline < height) {
            const JDIMENSION at = d.cinfo.output_scanline;
            if (jpeg_read_scanlines(&d.cinfo, &cmykRow, 1) == 0) break;
            CmykRowToBgr(cmykRow, rows[at], d.cinfo.output_width, inverted);
        }
    }
    if (d.cinfo.output_scanline < height) {
        jpeg_abort_decompress(&d.cinfo);
        return false;
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

}  // namespace

int JpegFitDenominator(int width, int height, int boxWidth, int boxHeight) {
    if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0) return 1;
    // The shown size, as a proportional fit (64-bit products).
    const std::int64_t w = width, h = height, bw = boxWidth, bh = boxHeight;
    std::int64_t shownW = bw, shownH = bh;
    if (bw * h < bh * w) shownH = bw * h / w;
    else shownW = bh * w / h;
    for (int d : {8, 4, 2})
        if ((w + d - 1) / d >= shownW && (h + d - 1) / d >= shownH) return d;
    return 1;
}

const TGraphicClass& TJPEGImage::ClassInfo() {
    static const TGraphicClass info{"TJPEGImage",
                                    []() -> std::unique_ptr<TGraphic> { return std::make_unique<TJPEGImage>(); },
                                    &TJPEGImage::CanLoadStream, &TGraphic::ClassInfo()};
    return info;
}

bool TJPEGImage::CanLoadStream(TStream& stream) {
    const std::int64_t start = stream.Position();
    std::uint8_t soi[3] = {};
    const bool ok = stream.Read(soi, 3) == 3 && soi[0] == 0xFF && soi[1] == 0xD8 && soi[2] == 0xFF;
    stream.SetPosition(start);
    return ok;
}

void TJPEGImage::Assign(const TGraphic& source) {
    if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(&source)) {
        if (jpeg != this) bitmap_.Assign(jpeg->bitmap_);
        return;
    }
    TGraphic::Assign(source);
}

void TJPEGImage::LoadFromStream(TStream& stream) {
    const std::int64_t size = stream.Remaining();
    if (size < 4) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    stream.ReadBuffer(data.data(), data.size());

    Decoder d;
    if (!ReadHeader(d, data.data(), static_cast<unsigned long>(data.size())))
        RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    const int denominator = JpegFitDenominator(static_cast<int>(std::min<JDIMENSION>(d.cinfo.image_width, INT_MAX)),
                                               static_cast<int>(std::min<JDIMENSION>(d.cinfo.image_height, INT_MAX)),
                                               fitWidth_, fitHeight_);
    if (denominator > 1 && !ScaleOutput(d, denominator)) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    CheckImageSize(d.cinfo.output_width, d.cinfo.output_height, kFormatName);

    TBitmap image;
    image.SetPixelFormat(TPixelFormat::pf24bit);
    // libjpeg writes every byte of every row (padding data it lacks), and a
    // failed decode drops the image, so the pixels need no clearing first.
    image.SetSizeForOverwrite(static_cast<int>(d.cinfo.output_width), static_cast<int>(d.cinfo.output_height));
    std::vector<JSAMPROW> rows(static_cast<std::size_t>(image.Height()));
    for (int y = 0; y < image.Height(); ++y) rows[static_cast<std::size_t>(y)] = image.ScanLine(y);
    std::vector<JSAMPLE> cmyk;
    if (d.cinfo.out_color_space == JCS_CMYK) cmyk.resize(static_cast<std::size_t>(d.cinfo.output_width) * 4);

    Progress(TProgressStage::Starting, 0, false, TRect{0, 0, image.Width(), image.Height()}, "");
    if (image.Height() > 0 && !DecodeRows(d, rows.data(), cmyk.empty() ? nullptr : cmyk.data()))
        RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    bitmap_.MoveAssign(image);
    Progress(TProgressStage::Ending, 100, true, TRect{0, 0, bitmap_.Width(), bitmap_.Height()}, "");
}

void TJPEGImage::SaveToStream(TStream&) { throw EInvalidGraphicOperation(msg::CannotSaveJpeg); }

void TJPEGImage::Draw(TBitmap& target, int x, int y) const { bitmap_.Draw(target, x, y); }

void TJPEGImage::RenderToBitmap(TBitmap& target) { target.MoveAssign(bitmap_); }

}  // namespace orv
