#include "platform/graphics/jpeg_glue.h"

#include <mutex>

#include "platform/graphics/graphic.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

TJpegErrorManager& ManagerOf(j_common_ptr cinfo) {
    // pub is the first member of a standard-layout struct.
    return *reinterpret_cast<TJpegErrorManager*>(cinfo->err);
}

void JpegErrorExit(j_common_ptr cinfo) { std::longjmp(ManagerOf(cinfo).jump, 1); }
void JpegEmitMessage(j_common_ptr, int) {}
void JpegOutputMessage(j_common_ptr) {}
void JpegFormatMessage(j_common_ptr, char* buffer) {
    if (buffer) buffer[0] = '\0';
}
void JpegResetErrorMgr(j_common_ptr cinfo) {
    cinfo->err->num_warnings = 0;
    cinfo->err->msg_code = 0;
}

std::mutex& WarningMutex() {
    static std::mutex mutex;
    return mutex;
}

TJpegWarningHandler& WarningHandler() {
    static TJpegWarningHandler handler;
    return handler;
}

}  // namespace

void InitJpegErrorManager(TJpegErrorManager& manager) {
    manager.pub = jpeg_error_mgr{};
    manager.pub.error_exit = JpegErrorExit;
    manager.pub.emit_message = JpegEmitMessage;
    manager.pub.output_message = JpegOutputMessage;
    manager.pub.format_message = JpegFormatMessage;
    manager.pub.reset_error_mgr = JpegResetErrorMgr;
}

std::string JpegErrorText(int messageCode) { return FormatMessage(msg::JPEGErrorNumber, messageCode); }

void RaiseJpegError(int messageCode) { RaiseImageError(JpegErrorText(messageCode)); }

void SetJpegWarningHandler(TJpegWarningHandler handler) {
    std::lock_guard<std::mutex> lock(WarningMutex());
    WarningHandler() = std::move(handler);
}

void ShowJpegWarning(const std::string& text) {
    TJpegWarningHandler handler;
    {
        std::lock_guard<std::mutex> lock(WarningMutex());
        handler = WarningHandler();
    }
    if (handler) handler(text);
}

// Each wrapper holds no object with a destructor between setjmp and the
// libjpeg call, so the jump back skips nothing that needs cleaning up.

bool JpegCreateDecompress(jpeg_decompress_struct& cinfo, TJpegErrorManager& manager) {
    cinfo.err = &manager.pub;
    if (setjmp(manager.jump)) return false;
    jpeg_create_decompress(&cinfo);
    // A progressive file keeps every coefficient of the whole picture, and a
    // few hundred bytes can declare a picture of any size: past this budget
    // libjpeg stops with an error instead of taking the memory.
    cinfo.mem->max_memory_to_use = kJpegWorkingMemory;
    return true;
}

bool JpegReadHeader(jpeg_decompress_struct& cinfo, bool requireImage, int& result) {
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(&cinfo)).jump)) return false;
    result = jpeg_read_header(&cinfo, requireImage ? TRUE : FALSE);
    return true;
}

bool JpegStartDecompress(jpeg_decompress_struct& cinfo) {
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(&cinfo)).jump)) return false;
    jpeg_start_decompress(&cinfo);
    return true;
}

bool JpegReadScanline(jpeg_decompress_struct& cinfo, std::uint8_t* row, unsigned& rowsRead) {
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(&cinfo)).jump)) return false;
    JSAMPROW rows[1] = {row};
    rowsRead = jpeg_read_scanlines(&cinfo, rows, 1);
    return true;
}

bool JpegFinishDecompress(jpeg_decompress_struct& cinfo) {
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(&cinfo)).jump)) return false;
    jpeg_finish_decompress(&cinfo);
    return true;
}

void JpegAbortDecompress(jpeg_decompress_struct& cinfo) noexcept {
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(&cinfo)).jump)) return;
    jpeg_abort_decompress(&cinfo);
}

void JpegDestroyDecompress(jpeg_decompress_struct& cinfo) noexcept {
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(&cinfo)).jump)) return;
    jpeg_destroy_decompress(&cinfo);
}

}  // namespace orv
