#include "search/ui/program.h"

#include <memory>

#include "formats/library.h"
#include "platform/base/file_system.h"
#include "platform/base/handover_files.h"
#include "platform/base/paths.h"
#include "platform/base/single_instance.h"
#include "platform/graphics/picture.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"
#include "search/ui/main_form.h"
#include "search/ui/program_globals.h"
#include "search/ui/small_forms.h"

namespace orv {

namespace {

std::string ProgramFolderNotPrivateMessage(const std::string& folder) {
    return "プログラムフォルダ " + folder + " は自分以外のユーザーも変更できるため使用できません";
}

}  // namespace

bool RefuseSecondInstance(const SingleInstance& instance) {
    if (!instance.AlreadyRunning()) return false;
    ShowMessage(kAlreadyRunning);
    return true;
}

bool RefuseSharedProgramFolder(const std::string& appDir) {
    if (PrivateFolder(appDir)) return false;
    ShowMessage(ProgramFolderNotPrivateMessage(appDir));
    return true;
}

int RunOrvalis(int argc, char** argv) {
    // The settings and the hand-over files live in the program folder: one
    // that someone else may change is neither read nor written.
    if (!PrivateFolder(AppDir())) {
        TApplication app(argc, argv);
        RefuseSharedProgramFolder(AppDir());
        return 1;
    }
    // One program per program folder (DoFiles.Dat, Result.dat and the
    // settings are shared there), whatever the login session or user.
    SingleInstance instance(kMainFormClass, AppDir());
    if (instance.AlreadyRunning()) {
        TApplication app(argc, argv);
        RefuseSecondInstance(instance);
        return 0;
    }
    // Hand-over files left by an earlier start (one that died while filer
    // ran) are never acted on or read as an answer: they go, but only while
    // this program holds the program folder, so no running program's
    // hand-over is touched.
    if (TFolderLock(AppDir()).Held()) RemoveHandOverFiles(AppDir());
    InitProgramGlobals(AppDir(), CommandLineFile(argc, argv));
    RegisterStandardPictures();
    TImageFormatsScope formats;
    TApplication app(argc, argv);
    auto mainForm = std::make_unique<TOV_MainForm>();
    app.SetMainForm(mainForm.get());
    auto about = std::make_unique<TForm_about>();
    SetForm_about(about.get());
    mainForm->Show();
    const int rc = app.Run();
    SetForm_about(nullptr);
    about.reset();
    mainForm.reset();
    return rc;
}

}  // namespace orv
