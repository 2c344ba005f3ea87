#include "search/ui/form_helpers.h"

#include <QKeySequence>
#include <QShortcut>

#include "platform/base/file_system.h"
#include "platform/ui/application.h"

namespace orv {

TFont ProgramFont() {
    TFont font;
    font.Name = "ＭＳ Ｐゴシック";
    return font;
}

void CancelOnEscape(TForm& form, std::function<void()> action) {
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), form.Widget());
    QObject::connect(escape, &QShortcut::activated, escape,
                     [&form, action = std::move(action)] { Guard(&form, action); });
}

bool LoadShippedBitmap(const std::string& path, TBitmap& target) {
    if (!FileExists(path)) return false;
    try {
        TBitmap bitmap;
        bitmap.LoadFromFile(path);
        target.Assign(bitmap);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace orv
