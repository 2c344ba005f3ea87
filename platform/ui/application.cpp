#include "platform/ui/application.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QThread>
#include <QTranslator>
#include <clocale>
#include <cstdio>

#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/ui_types.h"

namespace orv {

namespace {
TApplication* g_application = nullptr;
int g_waitCursorDepth = 0;
}  // namespace

TApplication* Application() { return g_application; }

TApplication::TApplication(int& argc, char** argv) {
    if (!QApplication::instance()) {
        // Dates that Qt writes itself (the file dialogs' date column) in the
        // Japanese form, as every date the programs show; Qt takes the form
        // from its own tables, by this name, as the application starts.
        qputenv("LC_TIME", "ja_JP.UTF-8");
        ownedApp_ = std::make_unique<QApplication>(argc, argv);
        // Qt's own widgets take the button-face colour our painted controls
        // use, so no seam shows between the two.
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Window, ToQColor(clBtnFace));
        palette.setColor(QPalette::Button, ToQColor(clBtnFace));
        QApplication::setPalette(palette);
    }
    UseJapanese();
    g_application = this;
}

TApplication::~TApplication() {
    if (ownTranslator_ && QCoreApplication::instance()) QCoreApplication::removeTranslator(ownTranslator_.get());
    if (translator_ && QCoreApplication::instance()) QCoreApplication::removeTranslator(translator_.get());
    if (g_application == this) g_application = nullptr;
}

void TApplication::UseJapanese() {
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator.get()))
        translator_ = std::move(translator);
    LoadOwnTexts(QCoreApplication::applicationDirPath().toStdString());
    // The C library's texts (the reasons of file errors) in Japanese where
    // it has them; without a Japanese locale they stay as they are.
    for (const char* name : {"ja_JP.UTF-8", "ja_JP.utf8"})
        if (std::setlocale(LC_MESSAGES, name)) break;
}

bool TApplication::LoadOwnTexts(const std::string& folder) {
    auto translator = std::make_unique<QTranslator>();
    // Installed last, it is asked first; it holds only what Qt's lacks.
    if (!translator->load(QString::fromStdString(folder + "/" + kOwnQtTexts)) ||
        !QCoreApplication::installTranslator(translator.get()))
        return false;
    if (ownTranslator_) QCoreApplication::removeTranslator(ownTranslator_.get());
    ownTranslator_ = std::move(translator);
    return true;
}

void TApplication::ProcessMessages() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

int TApplication::Run() {
    if (mainForm_ && !mainForm_->Widget()->isVisible()) mainForm_->Show();
    return QApplication::exec();
}


void TApplication::FormDestroyed(TForm* form) {
    if (mainForm_ == form) mainForm_ = nullptr;
}

std::string ExceptionMessage(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
    return {};
}

void TApplication::HandleException(TObject* sender, std::exception_ptr error) {
    const std::string message = ExceptionMessage(error);
    try {
        if (OnException)
            OnException(sender, message);
        else
            Dialogs().ShowError(message);
    } catch (...) {
        // The error box itself failed; there is nobody left to tell.
        std::fprintf(stderr, "%s\n", message.c_str());
    }
}

void Guard(TObject* sender, const std::function<void()>& fn) {
    try {
        fn();
    } catch (...) {
        if (g_application)
            g_application->HandleException(sender, std::current_exception());
        else
            std::fprintf(stderr, "%s\n", ExceptionMessage(std::current_exception()).c_str());
    }
}

TWaitCursor::TWaitCursor() {
    if (!QApplication::instance()) return;
    active_ = true;
    if (g_waitCursorDepth++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

TWaitCursor::~TWaitCursor() {
    if (!active_) return;
    if (--g_waitCursorDepth == 0) QApplication::restoreOverrideCursor();
}

QWidget* OpenerWindow() {
    if (QWidget* w = QApplication::activeWindow()) return w;
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    if (g_application)
        if (TForm* main = g_application->MainForm(); main && main->Widget()->isVisible()) return main->Widget();
    return nullptr;
}

TPoint MouseCursorPos() {
    const QPoint p = QCursor::pos();
    return {p.x(), p.y()};
}

void SleepProcessing(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const qint64 left = milliseconds - timer.elapsed();
        if (left > 0) QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 20)));
    }
}

}  // namespace orv
