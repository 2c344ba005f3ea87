// Drop target for files dragged from the desktop: registers the hooked
// widget for drops and hands each drop of local files to OnFileDrop with the
// full paths, in the order the desktop gives them, and the drop point in the
// client coordinates of the widget that received it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "widgets/control_hook.h"

namespace orv {

using TFileDropEvent =
    std::function<void(TObject* sender, const std::vector<std::string>& files, int x, int y)>;

class TDropDst : public TControlHook {
public:
    explicit TDropDst(TComponent* owner = nullptr, std::string name = {});
    std::string ClassName() const override { return "TDropDst"; }

    TFileDropEvent OnFileDrop;
    bool AcceptDrop() const { return acceptDrop_; }
    void SetAcceptDrop(bool accept);

    void Loaded() override;

protected:
    void HandleChanged(int kind) override;
    bool WndProc(QEvent* event) override;

private:
    void UpdateAcceptance();
    void HandleDrop(QEvent* event);
    bool acceptDrop_ = true;
};

}  // namespace orv
