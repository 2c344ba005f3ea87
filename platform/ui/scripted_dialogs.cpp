#include "platform/ui/scripted_dialogs.h"

namespace orv {

namespace {

// The next scripted answer, taken off the queue; none when the script ran out.
template <class T> std::optional<T> TakeNext(std::deque<T>& queue) {
    if (queue.empty()) return std::nullopt;
    std::optional<T> next(std::move(queue.front()));
    queue.pop_front();
    return next;
}

}  // namespace

std::vector<std::string> TScriptedDialogs::Texts(Kind kind) const {
    std::vector<std::string> texts;
    for (const Call& c : calls_)
        if (c.kind == kind) texts.push_back(c.text);
    return texts;
}

void TScriptedDialogs::ShowMessage(const std::string& text) { calls_.push_back({Kind::Message, {}, text, {}, {}}); }

bool TScriptedDialogs::AskYesNo(const std::string& text) {
    calls_.push_back({Kind::YesNo, {}, text, {}, {}});
    return TakeNext(yesNo_).value_or(false);
}

bool TScriptedDialogs::AskYesNoTitled(const std::string& title, const std::string& text) {
    calls_.push_back({Kind::YesNoTitled, title, text, {}, {}});
    return TakeNext(yesNo_).value_or(false);
}

void TScriptedDialogs::ShowError(const std::string& text) { calls_.push_back({Kind::Error, {}, text, {}, {}}); }

std::optional<std::vector<std::string>> TScriptedDialogs::OpenFiles(const TFileDialogRequest& request) {
    calls_.push_back({Kind::OpenFiles, request.Title, {}, request, {}});
    auto next = TakeNext(open_);
    if (!next || !next->first) return std::nullopt;
    return std::move(next->second);
}

std::optional<std::string> TScriptedDialogs::SaveFile(const TFileDialogRequest& request) {
    calls_.push_back({Kind::SaveFile, request.Title, {}, request, {}});
    return TakeNext(save_).value_or(std::nullopt);
}

TFolderDialogAnswer TScriptedDialogs::BrowseFolder(const TFolderDialogRequest& request) {
    calls_.push_back({Kind::BrowseFolder, request.Title, {}, {}, request});
    return TakeNext(folder_).value_or(TFolderDialogAnswer{});
}

}  // namespace orv
