#include "platform/base/codec.h"

#include <cerrno>
#include <iconv.h>

#include "platform/base/errors.h"

namespace orv {
namespace {

// A conversion descriptor. iconv_t is not thread-safe, so each thread keeps
// its own pair (opening one costs more than a short conversion).
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(::iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw EConvertError(std::string("No converter from ") + from + " to " + to);
    }
    ~Iconv() { ::iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // False when the input holds a sequence that does not convert; glibc then
    // stops (without //TRANSLIT or //IGNORE it never substitutes).
    bool Convert(std::string_view in, std::string& out) {
        out.clear();
        if (in.empty()) return true;
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state after an earlier failure
        out.resize(in.size() * 2 + 16);
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        std::size_t done = 0;
        while (true) {
            char* outPtr = out.data() + done;
            std::size_t outLeft = out.size() - done;
            const std::size_t r = ::iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            done = out.size() - outLeft;
            if (r != static_cast<std::size_t>(-1)) {
                // Flush any shift state (none for these encodings, but cheap).
                outPtr = out.data() + done;
                outLeft = out.size() - done;
                if (::iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return false;
                done = out.size() - outLeft;
                // A non-reversible conversion count above zero means glibc
                // substituted something: refuse it.
                if (r != 0) return false;
                break;
            }
            if (errno != E2BIG) return false;  // EILSEQ or EINVAL (truncated input)
            out.resize(out.size() * 2);
        }
        out.resize(done);
        return true;
    }

private:
    iconv_t cd_;
};

bool Utf8ToCp932Raw(std::string_view utf8, std::string& out) {
    thread_local Iconv cv("CP932", "UTF-8");
    return cv.Convert(utf8, out);
}

bool Cp932ToUtf8Raw(std::string_view cp932, std::string& out) {
    thread_local Iconv cv("UTF-8", "CP932");
    return cv.Convert(cp932, out);
}

// ASCII is the same in both encodings (0x5C and 0x7E included, as code page
// 932 keeps them), so pure ASCII needs no conversion.
bool IsAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The code page 932 bytes of utf8 when they hold it exactly. Several Unicode
// characters map to one code page 932 byte sequence (for example both U+FF5E
// and U+301C on some tables); the round-trip test catches every such
// non-exact conversion.
bool ExactCp932(std::string_view utf8, std::string& cp932) {
    if (IsAscii(utf8)) {
        cp932.assign(utf8);
        return true;
    }
    std::string back;
    return Utf8ToCp932Raw(utf8, cp932) && Cp932ToUtf8Raw(cp932, back) && back == utf8;
}

}  // namespace

std::string Utf8ToCp932(std::string_view utf8) {
    std::string cp932;
    if (!ExactCp932(utf8, cp932)) throw EConvertError("Text cannot be converted to code page 932 exactly");
    return cp932;
}

std::string Cp932ToUtf8(std::string_view cp932) {
    if (IsAscii(cp932)) return std::string(cp932);
    std::string utf8;
    std::string back;
    if (!Cp932ToUtf8Raw(cp932, utf8) || !Utf8ToCp932Raw(utf8, back) || back != cp932)
        throw EConvertError("Bytes are not valid code page 932 text");
    return utf8;
}

bool IsCp932Representable(std::string_view utf8) {
    std::string cp932;
    return ExactCp932(utf8, cp932);
}

bool IsValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        std::size_t n;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            n = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 2;
            if (b == 0xE0) lo = 0xA0;  // overlong
            if (b == 0xED) hi = 0x9F;  // surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 3;
            if (b == 0xF0) lo = 0x90;  // overlong
            if (b == 0xF4) hi = 0x8F;  // beyond U+10FFFF
        } else {
            return false;
        }
        if (static_cast<std::size_t>(end - p) <= n || p[1] < lo || p[1] > hi) return false;
        for (std::size_t i = 2; i <= n; ++i)
            if (p[i] < 0x80 || p[i] > 0xBF) return false;
        p += n + 1;
    }
    return true;
}

std::string ToStoredText(std::string_view utf8) {
    std::string cp932;
    if (ExactCp932(utf8, cp932)) return cp932;
    if (!IsValidUtf8(utf8)) throw EConvertError("Text is not valid UTF-8");
    std::string stored(kUtf8Mark);
    stored += utf8;
    return stored;
}

std::string FromStoredText(std::string_view stored) {
    if (stored.substr(0, kUtf8Mark.size()) != kUtf8Mark) return Cp932ToUtf8(stored);
    const std::string_view utf8 = stored.substr(kUtf8Mark.size());
    if (!IsValidUtf8(utf8)) throw EConvertError("Stored text is not valid UTF-8");
    return std::string(utf8);
}

}  // namespace orv
