// The handling settings of the settings page, one vocabulary for the run
// (TMainData), the Start button (TRunChoices), setting sets and projects.
// Each enumerator's number is the item number of its radio group and the
// number the files store; numbers are converted only where they enter or
// leave (the window, the setting-set and project files, the hand-over),
// and a stored number outside the items is kept as read.
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/handover_files.h"  // TPairAction: DoAction

namespace orv {

// Radio_Mode: which pairs are compared. None: nothing chosen.
enum class TSizeMode : std::int32_t { None = -1, SameSize = 0, AnySize = 1 };

// Radio_Syori: what a match triggers.
enum class TSyoriMode : std::int32_t {
    None = -1,
    Automatic = 0,  // handled at once as SelTgt, NearMode, DoAction say
    LogOnly = 1,    // only the log row
    EachPair = 2,   // each pair shown to the user as it is found
    AfterRun = 3,   // the whole log shown to the user after the run
};

// Radio_Seltgt: which file of a pair automatic handling takes.
enum class TSelTgt : std::int32_t {
    None = -1,
    Source = 0,
    Target = 1,
    LargerFile = 2,   // the larger file size
    SmallerFile = 3,  // the smaller file size
    OlderDate = 4,
    NewerDate = 5,
    LargerImage = 6,   // the larger width + height
    SmallerImage = 7,  // the smaller width + height
};
// Choices from LargerFile on compare the two files and need a tie rule.
inline bool NeedsTieRule(TSelTgt choice) { return static_cast<std::int32_t>(choice) >= 2; }

// Radio_Near: which file a tie under LargerFile .. SmallerImage takes.
enum class TNearMode : std::int32_t { None = -1, Source = 0, Target = 1 };

// Radio_Do is TPairAction; NeedsFolder tells the move action.

// An item number or stored number as the choice, and back.
template <class E> constexpr E ChoiceOf(std::int32_t number) { return static_cast<E>(number); }
template <class E> constexpr std::int32_t ItemOf(E choice) { return static_cast<std::int32_t>(choice); }

// The settings page's handling settings, as a setting set and a project
// store them.
struct THandling {
    TSizeMode SizeMode = TSizeMode::None;     // Radio_Mode
    TSyoriMode SyoriMode = TSyoriMode::None;  // Radio_Syori
    TSelTgt SelTgt = TSelTgt::None;           // Radio_Seltgt
    TPairAction DoAction = TPairAction::None; // Radio_Do
    TNearMode NearMode = TNearMode::None;     // Radio_Near
    bool SubFolder = false;                   // Check_subFolder
    bool OneEnd = false;                      // Check_OneEnd
    std::string TgtDir;                       // LabeledEdit1: the move folder

    bool operator==(const THandling&) const = default;
};

// What Start copies into the run: the handling settings and the run page's
// Check_prev.
struct TRunChoices : THandling {
    bool Preview = false;
};

}  // namespace orv
