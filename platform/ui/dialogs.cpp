#include "platform/ui/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QTreeView>
#include <QWidget>

#include "platform/ui/application.h"
#include "platform/ui/forms.h"

namespace orv {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A box or dialog opens over the window it belongs to: without a parent it
// would open in the middle of the screen, away from its window (as right
// after another box closed, when no window is active yet).
QWidget* ActiveParent() { return OpenerWindow(); }

// The file dialogs open in the detail view, wide enough for the name, size,
// type and date columns (but no larger than the screen).
void SizeFileDialog(QFileDialog& dlg) {
    dlg.setViewMode(QFileDialog::Detail);
    QSize size(860, 520);
    const QWidget* parent = dlg.parentWidget();
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size());
    dlg.resize(size);
    // Name, size, type, date: the dialog's own widths hide the last three.
    if (auto* tree = dlg.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        const int widths[] = {280, 90, 160, 150};
        for (int i = 0; i < 4; ++i) tree->header()->resizeSection(i, widths[i]);
    }
}

// "desc|*.JPG;*.BMP|..." -> "desc (*.JPG *.jpg *.BMP *.bmp);;...": Qt's
// pattern match is case-sensitive here, the other platform's was not.
QString QtFilter(const std::string& filter) {
    QStringList parts;
    for (const auto& [desc, patterns] : ParseDialogFilter(filter)) {
        QStringList globs;
        for (const QString& p : Q(patterns).split(';', Qt::SkipEmptyParts)) {
            const QString t = p.trimmed();
            if (!globs.contains(t)) globs << t;
            if (!globs.contains(t.toLower())) globs << t.toLower();
            if (!globs.contains(t.toUpper())) globs << t.toUpper();
        }
        parts << Q(desc) + " (" + globs.join(' ') + ")";
    }
    return parts.join(";;");
}

class TQtDialogs : public IDialogService {
public:
    void ShowMessage(const std::string& text) override {
        QMessageBox::information(ActiveParent(), QApplication::applicationName(), Q(text));
    }
    bool AskYesNo(const std::string& text) override {
        return QMessageBox::question(ActiveParent(), QApplication::applicationName(), Q(text),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
    bool AskYesNoTitled(const std::string& title, const std::string& text) override {
        return QMessageBox::warning(ActiveParent(), Q(title), Q(text), QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    }
    void ShowError(const std::string& text) override {
        QMessageBox::critical(ActiveParent(), QApplication::applicationName(), Q(text));
    }
    std::optional<std::vector<std::string>> OpenFiles(const TFileDialogRequest& r) override {
        QFileDialog dlg(ActiveParent(), Q(r.Title), Q(r.InitialDir));
        Prepare(dlg, r);
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(r.MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        if (dlg.exec() != QDialog::Accepted) return std::nullopt;
        std::vector<std::string> files;
        for (const QString& f : dlg.selectedFiles()) files.push_back(f.toStdString());
        if (files.empty()) return std::nullopt;
        return files;
    }
    std::optional<std::string> SaveFile(const TFileDialogRequest& r) override {
        QFileDialog dlg(ActiveParent(), Q(r.Title), Q(r.InitialDir));
        Prepare(dlg, r);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        // The callers ask about overwriting themselves.
        dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
        return dlg.selectedFiles().first().toStdString();
    }
    TFolderDialogAnswer BrowseFolder(const TFolderDialogRequest& r) override {
        QFileDialog dlg(ActiveParent(), Q(r.Title));
        dlg.setFileMode(QFileDialog::Directory);
        dlg.setOption(QFileDialog::ShowDirsOnly, true);
        dlg.setOption(QFileDialog::DontUseNativeDialog, true);
        SizeFileDialog(dlg);
        const QFileInfo preset(Q(r.Directory));
        if (!r.Directory.empty() && preset.isDir()) {
            dlg.setDirectory(preset.absolutePath());
            dlg.selectFile(preset.absoluteFilePath());
        } else {
            dlg.setDirectory(Q(r.Root));
        }
        if (dlg.exec() != QDialog::Accepted) return {};
        TFolderDialogAnswer answer;
        answer.Confirmed = true;
        if (!dlg.selectedFiles().isEmpty()) answer.Path = dlg.selectedFiles().first().toStdString();
        return answer;
    }

private:
    static void Prepare(QFileDialog& dlg, const TFileDialogRequest& r) {
        dlg.setOption(QFileDialog::DontUseNativeDialog, true);
        SizeFileDialog(dlg);
        const QString filter = QtFilter(r.Filter);
        if (!filter.isEmpty()) {
            const QStringList filters = filter.split(";;");
            dlg.setNameFilters(filters);
            const int index = r.FilterIndex - 1;
            if (index >= 0 && index < filters.size()) dlg.selectNameFilter(filters[index]);
        }
        if (!r.DefaultExt.empty()) {
            std::string ext = r.DefaultExt;
            while (!ext.empty() && (ext[0] == '*' || ext[0] == '.')) ext.erase(0, 1);
            dlg.setDefaultSuffix(Q(ext));
        }
        if (!r.FileName.empty()) dlg.selectFile(Q(r.FileName));
    }
};

std::shared_ptr<IDialogService>& Current() {
    static std::shared_ptr<IDialogService> service;
    return service;
}

}  // namespace

IDialogService& Dialogs() {
    auto& s = Current();
    if (!s) s = std::make_shared<TQtDialogs>();
    return *s;
}

std::shared_ptr<IDialogService> SetDialogService(std::shared_ptr<IDialogService> service) {
    auto previous = Current();
    Current() = std::move(service);
    return previous;
}

std::vector<std::pair<std::string, std::string>> ParseDialogFilter(const std::string& filter) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start <= filter.size() && !filter.empty()) {
        const std::size_t bar = filter.find('|', start);
        if (bar == std::string::npos) {
            fields.push_back(filter.substr(start));
            break;
        }
        fields.push_back(filter.substr(start, bar - start));
        start = bar + 1;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) pairs.emplace_back(fields[i], fields[i + 1]);
    return pairs;
}

TFileDialogRequest TOpenDialog::Request() const {
    TFileDialogRequest r;
    r.Title = Title;
    r.Filter = Filter;
    r.FilterIndex = FilterIndex;
    r.InitialDir = InitialDir;
    r.FileName = FileName;
    r.DefaultExt = DefaultExt;
    r.MultiSelect = MultiSelect;
    return r;
}

bool TOpenDialog::Execute() {
    auto files = Dialogs().OpenFiles(Request());
    if (!files || files->empty()) return false;
    Files = *files;
    FileName = Files.front();
    return true;
}

bool TSaveDialog::Execute() {
    auto file = Dialogs().SaveFile(Request());
    if (!file || file->empty()) return false;
    FileName = *file;
    Files = {*file};
    return true;
}

}  // namespace orv
