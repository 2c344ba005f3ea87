// A window's placement as the settings file keeps it, one section per window
// (the main window's "MainWindow", the pair handler's "ResWindow"): "Left",
// "Top", "Width", "Height" and "Max".
#pragma once

#include <string_view>

namespace orv {

class TIniFile;

struct TWindowPlacement {
    int Left = 0;
    int Top = 0;
    int Width = 900;
    int Height = 675;
    bool Max = false;
};

// The section's placement; the defaults above for what is missing or unreadable.
TWindowPlacement ReadWindowPlacement(const TIniFile& ini, std::string_view section);
// A maximised window (Max) stores only "Max" = 1, so the earlier normal
// placement is kept for the next start; otherwise "Max" = 0 and the bounds.
void WriteWindowPlacement(TIniFile& ini, std::string_view section, const TWindowPlacement& placement);

}  // namespace orv
