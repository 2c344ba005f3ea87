// One service for message boxes and the open-file, save-file and folder
// dialogs. The programs use the Qt implementation; tests install a scripted
// double (TScriptedDialogs) that answers and records every call.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/component.h"

namespace orv {

struct TFileDialogRequest {
    std::string Title;
    // Filter in the windows' form: "description|patterns|description|patterns",
    // patterns separated by ';'.
    std::string Filter;
    int FilterIndex = 1;  // 1-based
    std::string InitialDir;
    std::string FileName;
    std::string DefaultExt;  // without the dot
    bool MultiSelect = false;
};

struct TFolderDialogRequest {
    std::string Title;
    std::string Root = "/";  // the tree starts here
    std::string Directory;   // preselected when it is an existing folder
};

// What the folder browser gave: Confirmed without a Path is a confirmed place
// that has no file-system path.
struct TFolderDialogAnswer {
    bool Confirmed = false;
    std::string Path;
};

class IDialogService {
public:
    virtual ~IDialogService() = default;
    // Plain message box with OK.
    virtual void ShowMessage(const std::string& text) = 0;
    // Confirmation box with Yes and No; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    // Yes/No box with a title of its own (the overwrite warning).
    virtual bool AskYesNoTitled(const std::string& title, const std::string& text) = 0;
    // The error box of the exception handler.
    virtual void ShowError(const std::string& text) = 0;
    // Chosen files in the dialog's order; nullopt when cancelled.
    virtual std::optional<std::vector<std::string>> OpenFiles(const TFileDialogRequest& request) = 0;
    // The chosen name; nullopt when cancelled. Asks nothing about overwriting.
    virtual std::optional<std::string> SaveFile(const TFileDialogRequest& request) = 0;
    virtual TFolderDialogAnswer BrowseFolder(const TFolderDialogRequest& request) = 0;
};

// The service in use (the Qt one unless replaced).
IDialogService& Dialogs();
// Installs a service; returns the previous one. Null restores the Qt one.
std::shared_ptr<IDialogService> SetDialogService(std::shared_ptr<IDialogService> service);

// Shortcuts the windows call.
inline void ShowMessage(const std::string& text) { Dialogs().ShowMessage(text); }

// The common dialogs as components placed on a window.
class TOpenDialog : public TComponent {
public:
    using TComponent::TComponent;
    std::string ClassName() const override { return "TOpenDialog"; }

    std::string Title;
    std::string Filter;
    int FilterIndex = 1;
    std::string InitialDir;
    std::string DefaultExt;
    bool MultiSelect = false;
    std::string FileName;            // first chosen file after Execute
    std::vector<std::string> Files;  // every chosen file, in the dialog's order

    virtual bool Execute();

protected:
    TFileDialogRequest Request() const;
};

class TSaveDialog : public TOpenDialog {
public:
    using TOpenDialog::TOpenDialog;
    std::string ClassName() const override { return "TSaveDialog"; }
    bool Execute() override;
};

// Splits "description|patterns|..." into (description, patterns) pairs.
std::vector<std::pair<std::string, std::string>> ParseDialogFilter(const std::string& filter);

}  // namespace orv
