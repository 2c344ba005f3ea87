// A main window in a private copy of the program folder, with scripted
// dialogs, a sound recorder and HOME pointing into the copy, so no test
// touches the user's files or waits for a person.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/base/paths.h"
#include "platform/base/sound.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/picture_loader.h"
#include "platform/ui/scripted_dialogs.h"
#include "search/ui/main_form.h"
#include "search/ui/program_globals.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "ui/qt_app.h"

namespace orv::test {

namespace fs = std::filesystem;

class MainFormTest : public ::testing::Test, protected WithApp {
protected:
    MainFormTest() {
        MakeProgramFolder(app_.string());
        // The shipped data files only; the programs are not needed here.
        for (const char* entry : {"BMP", "Set", "Sound", "Ver.ini"})
            fs::copy(fs::path(ORV_APPDIR_BUILT) / entry, app_ / entry, fs::copy_options::recursive);
        fs::create_directories(home_);
        RegisterStandardPictures();
        SetAppDir(app_.string());
        InitProgramGlobals(app_.string(), "");
        previousDialogs_ = SetDialogService(dialogs_);
        previousSound_ = SetSoundPlayer(sound_);
    }

    ~MainFormTest() override {
        form_.reset();
        SetDialogService(previousDialogs_);
        SetSoundPlayer(previousSound_);
        SetAppDir("");
    }

    TOV_MainForm& Make(const std::string& cmdFile = {}) {
        Globals().CmdFile = cmdFile;
        form_ = std::make_unique<TOV_MainForm>();
        form_->SplashMs = 0;
        dialogs_->ClearCalls();
        return *form_;
    }

    std::vector<std::string> Messages() const { return dialogs_->Texts(TScriptedDialogs::Kind::Message); }
    std::vector<std::string> Errors() const { return dialogs_->Texts(TScriptedDialogs::Kind::Error); }

    // Writes a file (parents made) and returns its path.
    std::string WriteFile(const fs::path& path, const std::string& bytes = "x") {
        fs::create_directories(path.parent_path());
        WriteAll(path.string(), bytes);
        return path.string();
    }
    std::string Folder(const std::string& name) {
        fs::create_directories(root_ / name);
        return (root_ / name).string();
    }

    TempDir rootDir_;
    fs::path root_ = rootDir_.path(), app_ = root_ / "app", home_ = root_ / "home";
    ScopedEnv homeEnv_{"HOME", home_.string()};
    std::shared_ptr<TScriptedDialogs> dialogs_ = std::make_shared<TScriptedDialogs>();
    std::shared_ptr<IDialogService> previousDialogs_;
    std::shared_ptr<SoundRecorder> sound_ = std::make_shared<SoundRecorder>();
    std::shared_ptr<ISoundPlayer> previousSound_;
    std::unique_ptr<TOV_MainForm> form_;
};

}  // namespace orv::test
