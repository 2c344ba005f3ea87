// The glue between our JPEG decoders and the system's libjpeg: an error
// manager whose error exit jumps back (setjmp/longjmp) out of libjpeg's C
// frames, guarded wrappers for each libjpeg call, and the warning callback.
// No C++ exception ever travels through libjpeg: a wrapper reports a libjpeg
// error as false, and its caller raises after libjpeg has returned.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE
#include <functional>
#include <string>

#include <jpeglib.h>

namespace orv {

// libjpeg's error manager with the jump target of the current guarded call.
// `pub` comes first: libjpeg only knows a pointer to it.
struct TJpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

// Fills the error manager: the error exit jumps to `jump`; warnings, trace
// and message formatting are silent (no message table is attached); the reset
// entry clears the warning count and the message code.
void InitJpegErrorManager(TJpegErrorManager& manager);

// "JPEG error #<code>", the invalid-graphic error every fatal libjpeg error becomes.
std::string JpegErrorText(int messageCode);
[[noreturn]] void RaiseJpegError(int messageCode);

// Warnings meant for the user (the programs show them in a message box titled
// "Warning"; tests record them). Called outside libjpeg, never from C frames.
using TJpegWarningHandler = std::function<void(const std::string&)>;
void SetJpegWarningHandler(TJpegWarningHandler handler);
void ShowJpegWarning(const std::string& text);

// Guarded libjpeg calls: each answers false when libjpeg took its error exit
// (the code is then in the error manager's msg_code). cinfo.err must point at
// a TJpegErrorManager.
// The most memory one decompression may take (a progressive picture of some
// 170 megapixels in 4:2:0 fits).
inline constexpr long kJpegWorkingMemory = 512L * 1024 * 1024;

bool JpegCreateDecompress(jpeg_decompress_struct& cinfo, TJpegErrorManager& manager);
bool JpegReadHeader(jpeg_decompress_struct& cinfo, bool requireImage, int& result);
bool JpegStartDecompress(jpeg_decompress_struct& cinfo);
bool JpegReadScanline(jpeg_decompress_struct& cinfo, std::uint8_t* row, unsigned& rowsRead);
bool JpegFinishDecompress(jpeg_decompress_struct& cinfo);
// Aborting and destroying never fail as far as the caller is concerned.
void JpegAbortDecompress(jpeg_decompress_struct& cinfo) noexcept;
void JpegDestroyDecompress(jpeg_decompress_struct& cinfo) noexcept;

}  // namespace orv
