// Small pieces shared by the main program's windows.
#pragma once

#include <functional>
#include <string>

#include "platform/graphics/bitmap.h"
#include "platform/ui/forms.h"

namespace orv {

// The font every window of the program uses.
TFont ProgramFont();

// Escape runs `action` (the dialog's cancel or close), as in every dialog of
// the desktop; a failure goes to the application's error handler.
void CancelOnEscape(TForm& form, std::function<void()> action);

// Loads a picture shipped beside the program; a missing or broken file
// leaves `target` as it was and answers false.
bool LoadShippedBitmap(const std::string& path, TBitmap& target);

}  // namespace orv
