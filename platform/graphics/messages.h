// The texts of the picture layer and the format library: progress captions
// and error messages, in one table. All English; the %s and %d places are
// filled by the caller (a format's name or a file extension, an error
// number). Each format's description stands in its descriptor.
#pragma once

namespace orv::msg {

// Progress captions.
inline constexpr const char* Upsampling = "Upsampling...";
inline constexpr const char* Transfering = "Transfering...";
inline constexpr const char* Preparing = "Preparing...";
inline constexpr const char* LoadingData = "Loading data...";

// Decoders.
inline constexpr const char* LZ77Error = "LZ77 decompression error.";
inline constexpr const char* JPEGStripSize = "Improper JPEG strip/tile size.";
inline constexpr const char* JPEGComponentCount = "Improper JPEG component count.";
inline constexpr const char* JPEGDataPrecision = "Improper JPEG data precision.";
inline constexpr const char* JPEGSamplingFactors = "Improper JPEG sampling factors.";
inline constexpr const char* JPEGBogusTables = "Bogus JPEG tables field.";
inline constexpr const char* JPEGFractionalScanline = "Fractional JPEG scanline unsupported.";
inline constexpr const char* JPEGErrorNumber = "JPEG error #%d";  // every fatal libjpeg error
inline constexpr const char* JPEGNotInitialised = "JPEG decoder not initialised.";
inline constexpr const char* GIFCodeSize = "Invalid GIF LZW code size.";
inline constexpr const char* TargaRLEBuffer = "Targa RLE output buffer too small.";

// Readers and writers, raised through RaiseImageError (graphic.h).
inline constexpr const char* InvalidImage = "Cannot load image. Invalid or unexpected %s image format.";
inline constexpr const char* StreamReadError = "Stream read error in %s file.";
inline constexpr const char* NotSupported = "Cannot load image. %s not supported for %s files.";
inline constexpr const char* CRCError = "Cannot load image. CRC error found in %s file.";
inline constexpr const char* CompressionError = "Cannot load image. Compression error found in %s file.";
inline constexpr const char* ExtraCompressedData = "Cannot load image. Extra compressed data found in %s file.";
inline constexpr const char* InvalidPalette = "Cannot load image. Palette in %s file is invalid.";
inline constexpr const char* UnknownCriticalChunk = "Cannot load PNG image. Unexpected but critical chunk detected.";
inline constexpr const char* CompressionScheme = "The compression scheme is";
inline constexpr const char* InvalidColorFormat = "Invalid color format in %s file.";
inline constexpr const char* TargaSideTooLarge = "Cannot save image. A Targa image side is at most 65535 pixels.";
// A header number that is no decimal number (the runtime's conversion error).
inline constexpr const char* NotAnInteger = "'%s' is not a valid integer value";

// Colour manager.
inline constexpr const char* IndexedNotSupported =
    "Conversion between indexed and non-indexed pixel formats is not supported.";
inline constexpr const char* NoConversionFound = "Color conversion failed. Could not find a proper method.";
inline constexpr const char* InvalidColorDepth = "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
inline constexpr const char* InvalidSampleCount = "Sample count per pixel does not correspond to the given color scheme.";
inline constexpr const char* InvalidSubsampling = "Subsampling value is invalid. Allowed are 1, 2 and 4.";
inline constexpr const char* VerticalSubsampling = "Vertical subsampling value must be <= horizontal subsampling value.";

// Registries (the picture layer's extensions, the format library's formats).
inline constexpr const char* DuplicateFormat = "Attempt to register %s twice.";
inline constexpr const char* UnknownExtension = "Unknown picture file extension (.%s)";

// Bitmaps and other pictures, and their use.
inline constexpr const char* ScanLineRange = "Scan line index out of range";
inline constexpr const char* InvalidPixelFormat = "Invalid pixel format";
inline constexpr const char* CannotAssign = "Cannot assign a %s to a %s";
inline constexpr const char* CannotSaveJpeg = "Cannot save a JPEG picture";
inline constexpr const char* AviFrameRange = "AVI frame index out of range";
inline constexpr const char* CanvasDepth = "Canvas needs a 24-bit or 32-bit bitmap";

}  // namespace orv::msg
