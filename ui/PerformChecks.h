#pragma once

#include "ui/FileWork.h"

#include <functional>
#include <string>

class TDFinder;
class TSettings;

// The checks and questions of the Perform command before anything is done: fully checked
// groups, same names in a flat move or copy, the trash recommendation, something checked at
// all, the target folder, and the confirmation, in that order, each asked through the
// program's questions. No widget here: the windows that are not plain message boxes come in
// as the calls below, so the main window's handler stays a thin call and tests answer them.

// The windows the checks open besides the message boxes.
struct TPerformPrompts {
    // The long confirmation (TYesNoForm): true on Yes.
    std::function<bool(const std::string& text)> AskYesNo;
    // The trash recommendation of the message component: true unless the user cancelled;
    // dontShowAgain is the state of its don't-show-again box when it closed.
    std::function<bool(const std::string& text, bool& dontShowAgain)> RecommendRecycleBin;
    // The target folder's "..." button: lets the user pick a folder, which then stands in
    // the settings' MoveToFolder (and in the target folder's edit).
    std::function<void()> BrowseTargetFolder;
};

// What to run when the checks passed.
struct TPerformRequest {
    bool Run = false;
    TPerformAction Action = paRecycleBin;
    // The dialog's caption and operation word.
    std::string Caption;
    std::string OperationWord;
};

// The checks of the Perform command for the action of settings.PerformAction over the
// finder's groups. Counts only files that are in groups. May change settings.ShowMoveWarning
// (the recommendation's box) and settings.MoveToFolder (a folder picked), and may create the
// target folder, also when a later check stops. Main thread.
TPerformRequest CheckPerformAction(
    const TDFinder& finder, TSettings& settings, const TPerformPrompts& prompts);

// The target folder picker of the "..." button: titled "Select target folder", starting at
// current when that is an existing folder. The folder chosen (ending with "/"), or "" when the
// user cancelled.
std::string PickTargetFolder(const std::string& current);

// True when two checked files of the groups have names that are equal with the letters A-Z
// taken as lower case (no other letter is folded).
bool HasCheckedFilesWithSameNames(const TDFinder& finder);
