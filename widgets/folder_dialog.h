// Folder choice through the dialog service's folder browser, rooted at the
// file system's root.
#pragma once

#include <string>

#include "platform/ui/component.h"

namespace orv {

class TFolderDialog : public TComponent {
public:
    explicit TFolderDialog(TComponent* owner = nullptr, std::string name = {});
    std::string ClassName() const override { return "TFolderDialog"; }

    std::string Title = "フォルダ選択";
    // Before Execute the folder to preselect (when it exists); after a
    // successful Execute the chosen folder.
    std::string Directory;

    // True when the user confirmed a folder. A confirmed place without a
    // file-system path answers False and leaves Directory unchanged, so no
    // caller builds a folder from an empty path.
    bool Execute();
};

}  // namespace orv
