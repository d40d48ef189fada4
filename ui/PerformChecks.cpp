#include "ui/PerformChecks.h"

#include "engine/DFinder.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "platform/FileIdentity.h"
#include "platform/FileOperations.h"

#include <cstdint>
#include <unordered_set>

namespace {

bool IsFolder(const std::string& path)
{
    platform::TFileIdentity identity;
    return !path.empty() && platform::GetFileIdentity(path, true, identity) == 0 &&
        identity.IsFolder();
}

bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(" \t") == std::string::npos;
}

} // namespace

bool HasCheckedFilesWithSameNames(const TDFinder& finder)
{
    std::unordered_set<std::string> names;
    names.reserve(std::size_t(std::max(0, finder.FileCount.load())));
    for (const TDGroup* group : finder.Groups) {
        for (const TDImage* image : *group) {
            if (image->CheckState == 0) {
                continue;
            }
            std::string name = image->FileName;
            for (char& c : name) {
                if (c >= 'A' && c <= 'Z') {
                    c = char(c - 'A' + 'a');
                }
            }
            if (!names.insert(std::move(name)).second) {
                return true;
            }
        }
    }
    return false;
}

std::string PickTargetFolder(const std::string& current)
{
    return BrowseForFolder("Select target folder", "", IsFolder(current) ? current : "");
}

TPerformRequest CheckPerformAction(
    const TDFinder& finder, TSettings& settings, const TPerformPrompts& prompts)
{
    TPerformRequest request;
    const TPerformAction action = settings.PerformAction <= paSymbolicLinks
        ? TPerformAction(settings.PerformAction)
        : paRecycleBin;
    request.Action = action;
    request.Caption = DialogCaptionOf(action);
    request.OperationWord = OperationWordOf(action);

    // Symbolic links need no special rights here, so there is nothing to check for them.
    const std::string fullyChecked = finder.FullyCheckedGroups();
    if (settings.ShowDelWholeGroupWarning && !fullyChecked.empty()) {
        if (!prompts.AskYesNo("In the following groups all files are marked for "
                              "delete/move:\r\n\r\n" +
                fullyChecked + "\r\n\r\nDo you still want to continue?")) {
            return request;
        }
    }
    const bool transfer = action == paMove || action == paCopy;
    if (transfer && !settings.KeepFolderStructure && HasCheckedFilesWithSameNames(finder)) {
        if (!prompts.AskYesNo(
                "There are files with the same names in your selection\r\nand they will be "
                "overwritten in the target, because \"Keep folder structure\" option is "
                "unchecked!\r\n\r\nDo you still want to continue?")) {
            return request;
        }
    }
    if ((action == paDelete || action == paMove) && settings.ShowMoveWarning) {
        bool dontShowAgain = false;
        const bool goOn = prompts.RecommendRecycleBin(
            "We reccomend you to use the Recycle Bin to move/delete the files.\r\nIf you have "
            "deleted something by mistake you can easily restore it.\r\nOnce you are sure that "
            "the deleted files are not needed,\r\nyou can permanently delete them by emptying "
            "the recycle bin.\r\n\r\nDo you still want to continue?",
            dontShowAgain);
        settings.ShowMoveWarning = !dontShowAgain;
        if (!goOn) {
            return request;
        }
    }
    std::int64_t checkedSize = 0;
    std::int64_t checkedCount = 0;
    std::int64_t totalSize = 0;
    std::int64_t groupedCount = 0;
    finder.GetCheckedTotals(checkedSize, checkedCount, totalSize, groupedCount);
    if (checkedCount == 0) {
        ShowErrorMessage("You have not checked any files!");
        return request;
    }

    std::string question;
    switch (action) {
    case paRecycleBin:
        question = "Do you want to delete all checked files to the Recycle Bin?";
        break;
    case paDelete:
        question = "Do you want to delete permanently all checked files?";
        break;
    case paMove:
    case paCopy: {
        if (IsBlank(settings.MoveToFolder)) {
            if (prompts.BrowseTargetFolder) {
                prompts.BrowseTargetFolder();
            } else if (std::string picked = PickTargetFolder(settings.MoveToFolder);
                       !picked.empty()) {
                settings.MoveToFolder = picked;
            }
            if (IsBlank(settings.MoveToFolder)) {
                ShowErrorMessage("Please choose target folder first!");
                return request;
            }
        }
        const std::string& folder = settings.MoveToFolder;
        if (folder.front() != '/') {
            ShowErrorMessage(TargetNotFullPathText(folder));
            return request;
        }
        if (!IsFolder(folder)) {
            if (!ShowConfirmMessage("Target folder doesn't exist! Do you want to create it?")) {
                return request;
            }
            if (platform::CreateFolders(folder) != 0) {
                ShowErrorMessage("Unable to create the target folder directory!");
                return request;
            }
        }
        question = std::string("Do you really want to ") + (action == paMove ? "move" : "copy") +
            " all selected files(s)\r\nfrom all duplicate groups to " + folder + " ?";
        break;
    }
    case paSymbolicLinks:
        question = "Do you really want to create symbolic links of the checked duplicate files "
                   "to the first unchecked file in each group?";
        break;
    }
    if (!ShowConfirmMessage(question)) {
        return request;
    }
    if (transfer && !IsFolder(settings.MoveToFolder)) {
        const std::string& folder = settings.MoveToFolder;
        if (!ShowConfirmMessage(folder + " do not exist.\r\nDo you want to create it?")) {
            return request;
        }
        if (int code = platform::CreateFolders(folder)) {
            ShowErrorMessage("Cannot create folder " + folder + "\r\nError : " + HexCode(code) +
                " - " + platform::FileOperationErrorText(code));
            return request;
        }
    }
    request.Run = true;
    return request;
}
