// The picture object and its registry of file extensions: a picture loads a
// file through the graphic class bound to the file's extension.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/graphic.h"

namespace orv {

struct TPictureFormat {
    std::string Extension;  // lower case, without the dot
    std::string Description;
    const TGraphicClass* Class = nullptr;
};

class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // Loads the file with the class bound to its extension (ASCII case
    // ignored). An unknown extension raises EInvalidGraphic; a failed load
    // leaves the earlier graphic in place and lets the error through.
    void LoadFromFile(const std::string& fileName);

    TGraphic* Graphic() const { return graphic_.get(); }
    int Width() const;
    int Height() const;

    // Handed to every graphic this picture loads.
    TProgressEvent OnProgress;

    // Binds an extension (with or without a leading dot, ASCII case ignored)
    // to a class. Binding it again to the same class only updates the
    // description; to another class raises EInvalidGraphic with
    // "Attempt to register %s twice." unless `replace` is set. An empty extension is ignored.
    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   const TGraphicClass& graphicClass, bool replace = false);
    // Removes every binding of the class.
    static void UnregisterGraphicClass(const TGraphicClass& graphicClass);
    // The class bound to the extension, or null.
    static const TGraphicClass* ClassForExtension(const std::string& extension);
    // The bindings in order of registration.
    static std::vector<TPictureFormat> FileFormats();

private:
    std::unique_ptr<TGraphic> graphic_;
};

// Binds the picture layer's own classes: "bmp" to TBitmap, "jpg" and "jpeg"
// to TJPEGImage. Safe to call more than once.
void RegisterStandardPictures();

// The extension of a file name (after the last dot of the part after the
// last '/'), lower-cased ASCII, without the dot; empty when there is none.
std::string PictureExtension(const std::string& fileName);

}  // namespace orv
