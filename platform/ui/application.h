// The application: the Qt application object, the message loop, processing
// pending messages from inside long work, the main window, the wait cursor,
// and the exception handler that shows the error box. Every handler the user
// triggers runs inside Guard, so no exception leaves a Qt event handler.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/ui_types.h"

class QApplication;
class QTranslator;
class QWidget;

namespace orv {

class TForm;

// The file name of our own catalogue of Qt's texts in the program folder.
inline constexpr const char* kOwnQtTexts = "orv_qt_ja.qm";

class TApplication {
public:
    // Creates the Qt application when none exists yet (tests may have made one).
    TApplication(int& argc, char** argv);
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Processes pending window messages and returns (never waits).
    void ProcessMessages();
    // Runs the message loop until the main window closes.
    int Run();

    TForm* MainForm() const { return mainForm_; }
    // The first form registered becomes the main window unless set explicitly.
    void SetMainForm(TForm* form) { mainForm_ = form; }
    void FormDestroyed(TForm* form);

    // Shows the error box for the exception; sender may be null.
    void HandleException(TObject* sender, std::exception_ptr error);
    // Replaces the error box (tests record instead of showing).
    std::function<void(TObject* sender, const std::string& message)> OnException;

    // Installs the catalogue of our own (kOwnQtTexts in folder) after Qt's:
    // the texts of Qt's dialogs that Qt's Japanese catalogue lacks. The
    // application loads it from its program's folder; false when absent.
    bool LoadOwnTexts(const std::string& folder);

private:
    // Qt's own texts (message-box buttons, file dialogs, edit menus) and the
    // system's error texts in Japanese, like every text of the programs,
    // whatever the user's locale.
    void UseJapanese();

    std::unique_ptr<QApplication> ownedApp_;
    std::unique_ptr<QTranslator> translator_;
    std::unique_ptr<QTranslator> ownTranslator_;
    TForm* mainForm_ = nullptr;
};

// The one application object; null before it was made.
TApplication* Application();

// Runs fn; an exception goes to the application's handler (or, with no
// application, is dropped after being written to standard error).
void Guard(TObject* sender, const std::function<void()>& fn);

// The text an exception shows in the error box.
std::string ExceptionMessage(std::exception_ptr error);

// Shows the wait cursor while it lives (nested use is fine).
class TWaitCursor {
public:
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;

private:
    bool active_ = false;
};

// The window a box or dialog about to open belongs to: the active one, else
// a modal one in front, else the main window while it is on screen; null
// when there is none (the box then opens in the middle of the screen).
QWidget* OpenerWindow();

// The mouse cursor's position in screen coordinates.
TPoint MouseCursorPos();

// Sleeps while still processing window messages now and then.
void SleepProcessing(int milliseconds);

}  // namespace orv
