// GIO before Qt: its headers name fields as Qt's keywords.
#include <gio/gio.h>

#include "platform/ui/shell.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <memory>

namespace orv {

QIcon FileTypeIcon(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    QFileIconProvider provider;
    if (info.isDir()) return provider.icon(QFileIconProvider::Folder);
    // By type, from the theme when it has one; the provider's generic icon
    // otherwise (the offscreen platform has no theme).
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(mime.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(mime.genericIconName());
    if (icon.isNull()) icon = provider.icon(info);
    if (icon.isNull()) icon = provider.icon(QFileIconProvider::File);
    return icon;
}

QPixmap FileTypePixmap(const std::string& path, int size) {
    QPixmap pixmap = FileTypeIcon(path).pixmap(size, size);
    if (pixmap.isNull()) {
        pixmap = QPixmap(size, size);
        pixmap.fill(Qt::transparent);
    } else if (pixmap.width() != size || pixmap.height() != size) {
        pixmap = pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return pixmap;
}

bool OpenDocument(const std::string& pathOrUrl) {
    // The desktop's program for the file's type (or the address's scheme),
    // asked of the desktop's own registry: the answer is false when no
    // program is registered or it cannot be started, rather than a helper
    // started in the background that fails where nobody sees it.
    std::unique_ptr<gchar, decltype(&g_free)> uri(nullptr, g_free);
    if (pathOrUrl.find("://") != std::string::npos) {
        uri.reset(g_strdup(pathOrUrl.c_str()));
    } else {
        const QFileInfo info(QString::fromStdString(pathOrUrl));
        if (!info.exists()) return false;
        uri.reset(g_filename_to_uri(info.absoluteFilePath().toUtf8().constData(), nullptr, nullptr));
    }
    if (!uri) return false;
    GError* error = nullptr;
    const bool opened = g_app_info_launch_default_for_uri(uri.get(), nullptr, &error);
    if (error) g_error_free(error);
    return opened;
}

}  // namespace orv
