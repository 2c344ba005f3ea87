#include "widgets/folder_dialog.h"

#include "platform/ui/dialogs.h"

namespace orv {

TFolderDialog::TFolderDialog(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {}

bool TFolderDialog::Execute() {
    TFolderDialogRequest request;
    request.Title = Title;
    request.Directory = Directory;
    const TFolderDialogAnswer answer = Dialogs().BrowseFolder(request);
    if (!answer.Confirmed || answer.Path.empty()) return false;
    Directory = answer.Path;
    return true;
}

}  // namespace orv
