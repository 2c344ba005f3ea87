#include "platform/base/window_placement.h"

#include "platform/base/ini_file.h"

namespace orv {

TWindowPlacement ReadWindowPlacement(const TIniFile& ini, std::string_view section) {
    const TWindowPlacement def;
    TWindowPlacement p;
    p.Left = ini.ReadInteger(section, "Left", def.Left);
    p.Top = ini.ReadInteger(section, "Top", def.Top);
    p.Width = ini.ReadInteger(section, "Width", def.Width);
    p.Height = ini.ReadInteger(section, "Height", def.Height);
    p.Max = ini.ReadBool(section, "Max", def.Max);
    return p;
}

void WriteWindowPlacement(TIniFile& ini, std::string_view section, const TWindowPlacement& placement) {
    ini.WriteBool(section, "Max", placement.Max);
    if (placement.Max) return;
    ini.WriteInteger(section, "Left", placement.Left);
    ini.WriteInteger(section, "Top", placement.Top);
    ini.WriteInteger(section, "Width", placement.Width);
    ini.WriteInteger(section, "Height", placement.Height);
}

}  // namespace orv
