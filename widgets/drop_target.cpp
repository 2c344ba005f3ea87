#include "widgets/drop_target.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "platform/ui/application.h"

namespace orv {

namespace {

bool HasLocalFiles(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return false;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) return true;
    return false;
}

// The dropped file's own name bytes. toLocalFile would turn a name that is
// not UTF-8 into replacement characters, naming another file; the URL keeps
// the bytes percent-encoded, so the lists can refuse that name as it is.
std::string LocalFilePath(const QUrl& url) {
    if (!url.host().isEmpty()) return url.toLocalFile().toStdString();
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

// A drop only hands over the names: the source keeps its files, so the
// answer is copy (or link where copy is not offered), never move, which
// would let the source remove its originals. A drag offering neither is
// refused.
Qt::DropAction ReadOnlyAction(Qt::DropActions offered) {
    if (offered & Qt::CopyAction) return Qt::CopyAction;
    if (offered & Qt::LinkAction) return Qt::LinkAction;
    return Qt::IgnoreAction;
}

}  // namespace

TDropDst::TDropDst(TComponent* owner, std::string name) : TControlHook(owner, std::move(name)) {}

void TDropDst::Loaded() {
    TControlHook::Loaded();
    UpdateAcceptance();
}

void TDropDst::SetAcceptDrop(bool accept) {
    if (accept == acceptDrop_) return;
    acceptDrop_ = accept;
    UpdateAcceptance();
}

void TDropDst::HandleChanged(int kind) {
    TControlHook::HandleChanged(kind);
    UpdateAcceptance();
}

void TDropDst::UpdateAcceptance() {
    if (QWidget* handle = HookedHandle(); handle && !HandlePending()) handle->setAcceptDrops(acceptDrop_);
}

bool TDropDst::WndProc(QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (!HasLocalFiles(drop->mimeData())) return TControlHook::WndProc(event);
            const Qt::DropAction action = acceptDrop_ ? ReadOnlyAction(drop->possibleActions()) : Qt::IgnoreAction;
            if (action == Qt::IgnoreAction) {
                drop->ignore();
                return true;
            }
            // A failing handler is shown by the error box; the drop is still finished.
            if (event->type() == QEvent::Drop) Guard(this, [&] { HandleDrop(event); });
            drop->setDropAction(action);
            drop->accept();
            return true;
        }
        default: return TControlHook::WndProc(event);
    }
}

void TDropDst::HandleDrop(QEvent* event) {
    if (!OnFileDrop) return;
    auto* drop = static_cast<QDropEvent*>(event);
    std::vector<std::string> files;
    // Full paths of any length; addresses that are not local files are skipped.
    for (const QUrl& url : drop->mimeData()->urls())
        if (url.isLocalFile()) files.push_back(LocalFilePath(url));
    const QPoint p = drop->position().toPoint();
    OnFileDrop(this, files, p.x(), p.y());
}

}  // namespace orv
