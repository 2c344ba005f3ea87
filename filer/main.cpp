// Entry point of filer, the pair handler. It reads the hand-over the main
// program left in the program folder. The automatic mode handles its one
// file without any window (and without a display); modes 1 and 2 show the
// pair window until it closes. Every way out leaves an answer, Result.dat,
// but one: in a program folder that is not the user's own, or that others
// may write, filer touches nothing and ends with a failure.
#include <cstdio>
#include <exception>

#include "filer/core/pair_data.h"
#include "filer/core/result_file.h"
#include "filer/ui/result_form.h"
#include "formats/library.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/graphics/picture.h"

namespace {

bool AnswerOnly(const std::string& appDir, const orv::TPairData& data) {
    try {
        orv::WriteResultFile(appDir + orv::kResultName, data.Request, false, data.ResText, data.ResLog);
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "filer: %s\n", e.what());
        return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string appDir;
    orv::TPairData data;
    try {
        // A program folder someone else may change could hold a hand-over
        // that user wrote: nothing in it is read, acted on or answered.
        const std::string folder = orv::AppDir();
        if (!orv::PrivateFolder(folder)) {
            std::fprintf(stderr, "filer: others may change the program folder %s: nothing done\n", folder.c_str());
            return 1;
        }
        appDir = folder;
        // The hand-over is taken away here: it is acted on once at most.
        data = orv::ReadPairData(appDir);
        if (!data.Usable) {
            // An unknown mode or a hand-over that cannot be read: touch no
            // user file and answer only that nothing asks for a stop.
            orv::TPairData none;
            none.Request = data.Request;
            return AnswerOnly(appDir, none) ? 0 : 1;
        }
        // Every file action answers at once, before anything else can fail.
        data.AnswerPath = appDir + orv::kResultName;
        if (data.DoingNo == orv::THandOverMode::Automatic) {
            orv::RunAutomatic(data);
            if (data.Answered) return 0;
            return AnswerOnly(appDir, data) ? 0 : 1;
        }
        orv::RegisterStandardPictures();
        orv::TImageFormatsScope formats;
        return orv::RunPairWindow(argc, argv, data, appDir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "filer: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "filer: unknown failure\n");
    }
    // A failure before the window could answer (no display, no memory):
    // the main program still gets an answer, one that asks for no stop and
    // holds whatever was done. An answer already written is kept.
    if (!appDir.empty() && !orv::PathExists(appDir + orv::kResultName)) AnswerOnly(appDir, data);
    return 1;
}
