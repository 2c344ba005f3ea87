#include "platform/ui/scripted_dialogs.h"

namespace orv {

std::vector<std::string> TScriptedDialogs::Texts(Kind kind) const {
    std::vector<std::string> texts;
    for (const Call& c : calls_)
        if (c.kind == kind) texts.push_back(c.text);
    return texts;
}

void TScriptedDialogs::ShowMessage(const std::string& text) { calls_.push_back({Kind::Message, {}, text, {}, {}}); }

bool TScriptedDialogs::AskYesNo(const std::string& text) {
    calls_.push_back({Kind::YesNo, {}, text, {}, {}});
    if (yesNo_.empty()) return false;
    const bool yes = yesNo_.front();
    yesNo_.pop_front();
    return yes;
}

bool TScriptedDialogs::AskYesNoTitled(const std::string& title, const std::string& text) {
    calls_.push_back({Kind::YesNoTitled, title, text, {}, {}});
    if (yesNo_.empty()) return false;
    const bool yes = yesNo_.front();
    yesNo_.pop_front();
    return yes;
}

void TScriptedDialogs::ShowError(const std::string& text) { calls_.push_back({Kind::Error, {}, text, {}, {}}); }

std::optional<std::vector<std::string>> TScriptedDialogs::OpenFiles(const TFileDialogRequest& request) {
    calls_.push_back({Kind::OpenFiles, request.Title, {}, request, {}});
    if (open_.empty()) return std::nullopt;
    auto [chosen, files] = std::move(open_.front());
    open_.pop_front();
    if (!chosen) return std::nullopt;
    return std::optional<std::vector<std::string>>(std::move(files));
}

std::optional<std::string> TScriptedDialogs::SaveFile(const TFileDialogRequest& request) {
    calls_.push_back({Kind::SaveFile, request.Title, {}, request, {}});
    if (save_.empty()) return std::nullopt;
    auto answer = std::move(save_.front());
    save_.pop_front();
    return answer;
}

TFolderDialogAnswer TScriptedDialogs::BrowseFolder(const TFolderDialogRequest& request) {
    calls_.push_back({Kind::BrowseFolder, request.Title, {}, {}, request});
    if (folder_.empty()) return {};
    auto answer = std::move(folder_.front());
    folder_.pop_front();
    return answer;
}

}  // namespace orv
