// Start-up and shut-down of the format library. Each program's main calls
// InitializeImageFormats before it creates a window and
// FinalizeImageFormats before it returns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "formats/format_registry.h"

namespace orv {

// One row of the library's table of registered extensions.
struct TFormatTableRow {
    const char* Extension;
    const char* ClassName;   // the class's TGraphicClass::Name
    const char* Common;      // class description ("" for none)
    const char* Individual;  // extension description ("" for none)
    TFormatKinds Kinds;
};

// The 40 extensions in order of registration.
const std::vector<TFormatTableRow>& FormatTable();

// Makes a format class known to the library by its descriptor, so that the
// table rows naming it are registered at start-up. Readers' classes are
// listed in library.cpp; this hook serves classes from elsewhere (tests).
// Registering the same descriptor twice is harmless.
void AddFormatClass(const TGraphicClass& graphicClass);
// The known class of that name (TBitmap, TJPEGImage and the readers'), or null.
const TGraphicClass* FindFormatClass(std::string_view className);

// Creates the registry and registers every table row whose class is known;
// rows of classes not built into this program are skipped. Further calls
// only count users.
void InitializeImageFormats();
// When the last user leaves: unregisters the classes and frees the registry.
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
