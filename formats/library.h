// Start-up and shut-down of the format library. Each program's main calls
// InitializeImageFormats before it creates a window and
// FinalizeImageFormats before it returns.
//
// A change to any reader of the library that gives a file other pixels or
// another size, or refuses a file it read before (or the reverse), moves
// kPictureRevision in platform/graphics/picture_loader.h: the main program
// makes anew every signature kept under an earlier revision.
#pragma once

#include <span>

#include "formats/format_registry.h"

namespace orv {

// Every format the library registers at start-up, in order of registration.
std::span<const TFormatDescriptor* const> ImageFormats();

// Creates the registry and registers the extensions of every format whose
// class this platform has. Further calls only count users.
void InitializeImageFormats();
// When the last user leaves: frees the registry, which unbinds its classes.
void FinalizeImageFormats();

// The registry while the library is started, else null.
TFileFormatList* FormatRegistry();

// RAII form of the two calls for a program's main.
class TImageFormatsScope {
public:
    TImageFormatsScope() { InitializeImageFormats(); }
    ~TImageFormatsScope() {
        try {
            FinalizeImageFormats();
        } catch (...) {
        }
    }
    TImageFormatsScope(const TImageFormatsScope&) = delete;
    TImageFormatsScope& operator=(const TImageFormatsScope&) = delete;
};

}  // namespace orv
