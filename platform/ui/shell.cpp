#include "platform/ui/shell.h"

#include <QDesktopServices>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>

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
    const QString s = QString::fromStdString(pathOrUrl);
    const QUrl url = s.contains("://") ? QUrl(s) : QUrl::fromLocalFile(s);
    return QDesktopServices::openUrl(url);
}

}  // namespace orv
