// Names of the files in the program folder (AppDir) that both programs use:
// the settings file they share, and the hand-over files through which the
// main program gives the pair handler a file, a pair or the whole log
// (DoFiles.Dat, DoFiles2.Dat) and takes its answer back (Result.dat).
#pragma once

namespace orv {

inline constexpr char kSettingsFileName[] = "Orvals.ini";
inline constexpr char kDoFilesName[] = "DoFiles.Dat";
inline constexpr char kDoFiles2Name[] = "DoFiles2.Dat";
inline constexpr char kResultName[] = "Result.dat";
// filer takes DoFiles.Dat and DoFiles2.Dat away under their name plus this
// before it acts, so a hand-over is acted on at most once.
inline constexpr char kTakenSuffix[] = ".taken";

// The pair handler's result text of an action: the side ("比較元のファイル"
// or "比較対象のファイル") followed by the action's done or failed text.
// One entry per action, in the order of TPairAction (handover_files.h).
// The main program builds the same texts when filer's answer is lost.
inline constexpr const char* kSideSource = "比較元のファイル";
inline constexpr const char* kSideTarget = "比較対象のファイル";
struct THandlerActionText {
    const char* done;
    const char* failed;
};
inline constexpr THandlerActionText kHandlerActionTexts[3] = {
    {"をごみ箱へ", "のごみ箱移動に失敗"}, {"を完全削除", "の完全削除に失敗"}, {"を移動", "の移動に失敗"}};

// After a path: the file is no longer the one that was compared (or shown),
// so nothing is done to it.
inline constexpr const char* kChangedSinceCompared = "は比較後に変更されたため処理しません";

}  // namespace orv
