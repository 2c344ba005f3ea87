// A dialog service for tests: answers come from a script, every call is
// recorded, and nothing waits for a person. An unscripted question gets the
// safe answer (No, Cancel) and is still recorded.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/dialogs.h"

namespace orv {

class TScriptedDialogs : public IDialogService {
public:
    enum class Kind { Message, YesNo, YesNoTitled, Error, OpenFiles, SaveFile, BrowseFolder };

    struct Call {
        Kind kind;
        std::string title;  // dialog or box title
        std::string text;   // message text
        TFileDialogRequest file;
        TFolderDialogRequest folder;
    };

    // Answers, taken in order by the calls of the matching kind.
    void AnswerYesNo(bool yes) { yesNo_.push_back(yes); }
    // nullopt answers Cancel.
    void AnswerOpen(std::optional<std::vector<std::string>> files) {
        open_.emplace_back(files.has_value(), files ? std::move(*files) : std::vector<std::string>{});
    }
    void AnswerSave(std::optional<std::string> file) { save_.push_back(std::move(file)); }
    void AnswerFolder(TFolderDialogAnswer answer) { folder_.push_back(std::move(answer)); }

    const std::vector<Call>& Calls() const { return calls_; }
    // The texts of the calls of one kind, in order.
    std::vector<std::string> Texts(Kind kind) const;
    void ClearCalls() { calls_.clear(); }

    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    bool AskYesNoTitled(const std::string& title, const std::string& text) override;
    void ShowError(const std::string& text) override;
    std::optional<std::vector<std::string>> OpenFiles(const TFileDialogRequest& request) override;
    std::optional<std::string> SaveFile(const TFileDialogRequest& request) override;
    TFolderDialogAnswer BrowseFolder(const TFolderDialogRequest& request) override;

private:
    std::vector<Call> calls_;
    std::deque<bool> yesNo_;
    std::deque<std::pair<bool, std::vector<std::string>>> open_;  // (chosen, files)
    std::deque<std::optional<std::string>> save_;
    std::deque<TFolderDialogAnswer> folder_;
};

}  // namespace orv
