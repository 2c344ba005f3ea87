#include "formats/format_registry.h"

#include <algorithm>

#include "formats/image_format.h"
#include "platform/base/paths.h"
#include "platform/graphics/messages.h"
#include "platform/graphics/picture.h"

namespace orv {

TFileFormatList::~TFileFormatList() {
    try {
        Clear();
    } catch (...) {
        // Unbinding in the picture layer does not fail in practice; a
        // destructor must not let it escape either way.
    }
}

int TFileFormatList::IndexOfExtension(std::string_view extension) const {
    if (extension.empty()) return -1;
    for (std::size_t i = 0; i < extensions_.size(); ++i)
        if (SameTextAscii(extensions_[i]->Extension, extension)) return static_cast<int>(i);
    return -1;
}

int TFileFormatList::IndexOfClass(const TGraphicClass* graphicClass) const {
    for (std::size_t i = 0; i < classes_.size(); ++i)
        if (classes_[i]->ImageClass == graphicClass) return static_cast<int>(i);
    return -1;
}

void TFileFormatList::RegisterFileFormat(std::string_view extension, std::string_view common,
                                         std::string_view individual, TFormatKinds kinds, bool replace,
                                         const TGraphicClass& graphicClass) {
    if (extension.empty()) return;
    const int extIndex = IndexOfExtension(extension);
    if (extIndex >= 0 && !replace) RaiseImageErrorFmt(msg::DuplicateFormat, extension);

    const int classIndex = IndexOfClass(&graphicClass);
    TClassEntry* existingClass = classIndex >= 0 ? classes_[classIndex].get() : nullptr;
    TExtensionEntry* existingExt = extIndex >= 0 ? extensions_[extIndex].get() : nullptr;

    // Replacing an extension by the class it already has changes nothing
    // here; the binding is only passed on again.
    const bool sameClass = existingExt != nullptr && existingClass != nullptr && existingExt->ClassEntry == existingClass;

    // The description handed on: this registration's own text, else the
    // class entry's (after this registration's common text is applied).
    std::string classDescription = existingClass ? existingClass->Description : std::string();
    if (!sameClass && !common.empty()) classDescription = std::string(common);
    const std::string passedOn = individual.empty() ? classDescription : std::string(individual);

    // The picture layer first: when it refuses, nothing here has changed.
    TPicture::RegisterFileFormat(existingExt ? existingExt->Extension : std::string(extension), passedOn,
                                 graphicClass, replace);
    if (sameClass) return;

    TClassEntry* target = existingClass;
    if (target == nullptr) {
        classes_.push_back(std::make_unique<TClassEntry>());
        target = classes_.back().get();
        target->ImageClass = &graphicClass;
    }
    if (!common.empty()) target->Description = std::string(common);

    if (existingExt == nullptr) {
        auto entry = std::make_unique<TExtensionEntry>();
        entry->Extension = std::string(extension);
        entry->Description = std::string(individual);
        entry->Kinds = kinds;
        entry->ClassEntry = target;
        extensions_.push_back(std::move(entry));
        ++target->ExtensionCount;
        return;
    }

    // Rebind: the entry keeps its description and kinds.
    TClassEntry* old = existingExt->ClassEntry;
    existingExt->ClassEntry = target;
    ++target->ExtensionCount;
    if (old != nullptr && --old->ExtensionCount <= 0) {
        classes_.erase(std::find_if(classes_.begin(), classes_.end(),
                                    [&](const std::unique_ptr<TClassEntry>& c) { return c.get() == old; }));
    }
}

void TFileFormatList::ReleaseClass(TClassEntry* entry) {
    const TGraphicClass* cls = entry->ImageClass;
    classes_.erase(std::find_if(classes_.begin(), classes_.end(),
                                [&](const std::unique_ptr<TClassEntry>& c) { return c.get() == entry; }));
    if (cls != nullptr) TPicture::UnregisterGraphicClass(*cls);
}

void TFileFormatList::UnregisterFileFormat(std::string_view extension, const TGraphicClass& graphicClass) {
    if (!extension.empty()) {
        const int index = IndexOfExtension(extension);
        if (index < 0) return;
        TClassEntry* owner = extensions_[index]->ClassEntry;
        extensions_.erase(extensions_.begin() + index);
        if (owner != nullptr && --owner->ExtensionCount <= 0) ReleaseClass(owner);
        return;
    }

    const int classIndex = IndexOfClass(&graphicClass);
    if (classIndex < 0) return;  // a class never registered: nothing to undo
    TClassEntry* owner = classes_[classIndex].get();
    for (std::size_t i = extensions_.size(); i-- > 0 && owner->ExtensionCount > 0;) {
        if (extensions_[i]->ClassEntry == owner) {
            --owner->ExtensionCount;
            extensions_.erase(extensions_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    ReleaseClass(owner);
}

void TFileFormatList::Clear() {
    for (const auto& entry : classes_)
        if (entry->ImageClass != nullptr) TPicture::UnregisterGraphicClass(*entry->ImageClass);
    classes_.clear();
    extensions_.clear();
}

}  // namespace orv
