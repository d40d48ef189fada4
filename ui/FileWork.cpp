#include "ui/FileWork.h"

#include "engine/DFinder.h"
#include "engine/ThreadPool.h"
#include "engine/ZYUtils.h"
#include "platform/FileOperations.h"
#include "platform/PathText.h"
#include "platform/SysCalls.h"
#include "platform/Trash.h"
#include "platform/TrashCheck.h"
#include "platform/Volumes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <optional>
#include <unordered_map>

namespace {

std::string NameOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name split at the dot of its extension: a leading dot marks a hidden file, not an
// extension, so ".bashrc" has none.
void SplitExtension(const std::string& name, std::string& stem, std::string& extension)
{
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        stem = name;
        extension.clear();
        return;
    }
    stem = name.substr(0, dot);
    extension = name.substr(dot);
}

// The name a file takes while a link is made in its place: its path with the extension
// replaced.
std::string TemporaryLinkPath(const std::string& path)
{
    std::string stem;
    std::string extension;
    SplitExtension(NameOf(path), stem, extension);
    return path.substr(0, path.size() - NameOf(path).size()) + stem + TemporaryLinkExtension;
}

bool Exists(const std::string& path)
{
    platform::TFileIdentity identity;
    return platform::GetFileIdentity(path, false, identity) == 0;
}

// The file as the scan listed it: a regular file of the listed size and modification time.
bool AsListed(const platform::TFileIdentity& identity, const TWorkFile& file)
{
    return identity.IsRegularFile() && identity.Size == file.Size &&
        identity.LastWriteTime == file.LastWriteTime;
}

TItemResult Failure(int code, const std::string& reason = {})
{
    TItemResult result;
    result.Outcome = ioFailed;
    result.Code = code;
    result.Reason = reason;
    return result;
}

std::string LowerWordOf(TPerformAction action)
{
    switch (action) {
    case paMove:
        return "move";
    case paCopy:
        return "copy";
    case paSymbolicLinks:
        return "create symbolic links";
    default:
        return "delete";
    }
}

std::string ErrorPart(int code)
{
    return HexCode(code) + " - " + platform::FileOperationErrorText(code);
}

} // namespace

// ---- texts ---------------------------------------------------------------------------------

std::string OperationWordOf(TPerformAction action)
{
    switch (action) {
    case paMove:
        return "Move";
    case paCopy:
        return "Copy";
    case paSymbolicLinks:
        return "Create Symbolic Links";
    default:
        return "Delete";
    }
}

std::string DialogCaptionOf(TPerformAction action)
{
    switch (action) {
    case paMove:
        return "Move Files";
    case paCopy:
        return "Copy Files";
    case paSymbolicLinks:
        return "Create Symbolic Links";
    default:
        return "Delete Files";
    }
}

std::string StatusTextOf(TPerformAction action, std::int32_t done, std::int32_t total)
{
    const char* format = nullptr;
    switch (action) {
    case paRecycleBin:
    case paDelete:
        format = "Deleting file... (%d/%d)";
        break;
    case paMove:
        format = "Moving file... (%d/%d)";
        break;
    case paCopy:
        format = "Copying file... (%d/%d)";
        break;
    default:
        return {};
    }
    char text[64];
    std::snprintf(text, sizeof text, format, done, total);
    return text;
}

std::string EndStatusTextOf(TPerformAction action, bool aborted)
{
    return OperationWordOf(action) + (aborted ? " operation aborted." : " operation completed.");
}

std::string TargetNotFullPathText(const std::string& folder)
{
    return "Target folder " + folder + " is not a full path!";
}

std::string HexCode(int code)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(code));
    return text;
}

// ---- the snapshot --------------------------------------------------------------------------

std::vector<TWorkGroup> CollectWorkGroups(const TDFinder& finder)
{
    std::vector<TWorkGroup> groups;
    for (const TDGroup* group : finder.Groups) {
        if (group->Count() == 0) {
            continue;
        }
        TWorkGroup work;
        work.GroupNumber = group->GroupNumber;
        work.Files.reserve(group->Items.size());
        for (const TDImage* image : *group) {
            TWorkFile file;
            file.Path = image->FullPath();
            file.Size = image->Size;
            file.LastWriteTime = image->LastWriteTime;
            file.Checked = image->CheckState != 0;
            file.Record = image;
            work.Files.push_back(std::move(file));
        }
        groups.push_back(std::move(work));
    }
    return groups;
}

TTrashSpaceSource TTrashSpaceSource::System()
{
    TTrashSpaceSource source;
    source.Query = [](const std::string& path, std::int64_t& size, std::int64_t& count) {
        return platform::QueryRecycleBin(path, size, count);
    };
    source.Capacity = [](const std::string& path) { return platform::GetRecycleBinCapacity(path); };
    return source;
}

// ---- the work ------------------------------------------------------------------------------

TFileWork::TFileWork(std::vector<TWorkGroup> groups, TFileWorkOptions options)
    : FGroups(std::move(groups))
    , FOptions(std::move(options))
{
    for (std::size_t g = 0; g < FGroups.size(); ++g) {
        const std::vector<TWorkFile>& files = FGroups[g].Files;
        for (std::size_t f = files.size(); f-- > 0;) {
            if (files[f].Checked) {
                TWorkItem item;
                item.Group = g;
                item.File = f;
                FItems.push_back(std::move(item));
            }
        }
    }
    CanTrash = [](const std::string& path) { return platform::CanTrash(path); };
}

TFileWork::~TFileWork() = default;

bool TFileWork::HasNonRecyclableFiles()
{
    FNonRecyclableFolders.clear();
    std::map<std::string, bool> verdictOfFolder;
    for (const TWorkItem& item : FItems) {
        const std::string& path = FGroups[item.Group].Files[item.File].Path;
        platform::TFileIdentity identity;
        if (platform::GetFileIdentity(path, true, identity) != 0) {
            continue;
        }
        std::string folder = platform::ParentFolder(path);
        auto [at, added] = verdictOfFolder.try_emplace(folder, true);
        if (added) {
            at->second = CanTrash(path);
        }
        if (!at->second) {
            FNonRecyclableFolders.insert(folder);
        }
    }
    return !FNonRecyclableFolders.empty();
}

bool TFileWork::CheckRecycleBinSpace(const TTrashSpaceSource& source) const
{
    // The bytes that would go into each file system's trash, with a file there to ask by.
    struct TVolume {
        std::string SamplePath;
        std::int64_t Bytes = 0;
    };
    std::map<std::uint64_t, TVolume> volumes;
    for (const TWorkItem& item : FItems) {
        const TWorkFile& file = FGroups[item.Group].Files[item.File];
        platform::TFileIdentity identity;
        if (platform::GetFileIdentity(file.Path, true, identity) != 0) {
            continue;
        }
        TVolume& volume = volumes[identity.Device];
        if (volume.SamplePath.empty()) {
            volume.SamplePath = file.Path;
        }
        volume.Bytes += identity.Size;
    }
    for (const auto& [device, volume] : volumes) {
        std::int64_t size = 0;
        std::int64_t count = 0;
        if (!source.Query(volume.SamplePath, size, count)) {
            continue;
        }
        std::int64_t capacity = source.Capacity(volume.SamplePath);
        if (capacity < 0) {
            // Unknown: asking again would never give another answer.
            continue;
        }
        if (capacity == 0 || capacity - size < volume.Bytes) {
            return false;
        }
    }
    return true;
}

std::string TFileWork::CheckTarget()
{
    FNeededBytes = 0;
    FFreeBytes = -1;
    const std::string& folder = FOptions.TargetFolder;
    if (!folder.empty() && folder.front() != '/') {
        return TargetNotFullPathText(folder);
    }
    platform::TFileIdentity target;
    if (folder.empty() || platform::GetFileIdentity(folder, true, target) != 0 ||
        !target.IsFolder()) {
        return "Target folder " + folder + " doesn't exist!";
    }
    platform::TDiskSpace space;
    if (!platform::GetDiskSpace(folder, space)) {
        FFreeBytes = space.AvailableBytes;
    }
    for (const TWorkItem& item : FItems) {
        const TWorkFile& file = FGroups[item.Group].Files[item.File];
        if (FOptions.Action == paCopy) {
            FNeededBytes += file.Size;
            continue;
        }
        // A move within one file system is a rename and takes no space.
        platform::TFileIdentity identity;
        if (platform::GetFileIdentity(file.Path, false, identity) == 0 &&
            identity.Device != target.Device) {
            FNeededBytes += file.Size;
        }
    }
    if (FFreeBytes < FNeededBytes) {
        std::string drive = platform::WithoutTrailingSlashes(platform::VolumeKeyOfDrive(folder));
        if (drive.empty()) {
            drive = platform::WithoutTrailingSlashes(folder);
        }
        return "Not enough free disk space on drive " + drive + ": !";
    }
    return {};
}

void TFileWork::Run(TFileWorkEvents& events)
{
    const std::int32_t total = CheckedCount();
    std::int32_t done = 0;
    std::size_t handedOver = 0;
    {
        std::optional<TThreadPool> pool;
        if (FOptions.Action != paSymbolicLinks) {
            pool.emplace(FOptions.Workers, FOptions.Priority);
        }
        for (; handedOver < FItems.size(); ++handedOver) {
            if (FStopRequested) {
                break;
            }
            ++done;
            events.Progress(done, total);
            Dispatch(handedOver, pool ? &*pool : nullptr, events);
        }
        // Leaving the scope waits for every task handed to the pool.
    }
    // Files never handed over were not worked on.
    for (std::size_t item = handedOver; item < FItems.size(); ++item) {
        Finish(item, {}, events);
    }
    if (FOptions.DeleteEmptyFolders &&
        (FOptions.Action == paRecycleBin || FOptions.Action == paDelete ||
            FOptions.Action == paMove)) {
        RemoveEmptiedFolders();
    }
}

void TFileWork::Dispatch(std::size_t item, TThreadPool* pool, TFileWorkEvents& events)
{
    const TWorkGroup& group = FGroups[FItems[item].Group];
    const TWorkFile& file = group.Files[FItems[item].File];

    platform::TFileIdentity identity;
    if (platform::GetFileIdentity(file.Path, true, identity) != 0) {
        events.Line("File not found: " + file.Path);
        TItemResult result;
        result.Outcome = ioNotFound;
        Finish(item, result, events);
        return;
    }
    if (IsKeptFileUnderAnotherPath(group, file)) {
        Finish(item, Failure(0, SameAsKeptReason), events);
        return;
    }
    switch (FOptions.Action) {
    case paRecycleBin:
    case paDelete:
        pool->RunTask([this, item, &events] { RunDelete(item, events); });
        break;
    case paMove:
    case paCopy:
        DispatchTransfer(item, *pool, events);
        break;
    case paSymbolicLinks:
        MakeLink(item, events);
        break;
    }
}

bool TFileWork::IsKeptFileUnderAnotherPath(const TWorkGroup& group, const TWorkFile& file) const
{
    platform::TFileIdentity checked;
    if (platform::GetFileIdentity(file.Path, false, checked) != 0) {
        return false;
    }
    for (const TWorkFile& other : group.Files) {
        if (other.Checked) {
            continue;
        }
        platform::TFileIdentity kept;
        if (platform::GetFileIdentity(other.Path, false, kept) == 0 && kept.SameFile(checked) &&
            platform::SameDirectoryEntry(file.Path, other.Path)) {
            return true;
        }
    }
    return false;
}

const TWorkFile* TFileWork::FindKeptCopy(const TWorkGroup& group, const TWorkFile& except,
    const platform::TFileIdentity& exceptIdentity, platform::TFileIdentity* identity) const
{
    for (const TWorkFile& other : group.Files) {
        if (other.Checked || other.Path == except.Path) {
            continue;
        }
        platform::TFileIdentity kept;
        if (platform::GetFileIdentity(other.Path, false, kept) == 0 && AsListed(kept, other) &&
            !(kept.SameFile(exceptIdentity) &&
                platform::SameDirectoryEntry(except.Path, other.Path))) {
            if (identity) {
                *identity = kept;
            }
            return &other;
        }
    }
    return nullptr;
}

TItemResult TFileWork::CheckBeforeDestroying(const TWorkGroup& group, const TWorkFile& file) const
{
    platform::TFileIdentity now;
    if (int error = platform::GetFileIdentity(file.Path, false, now)) {
        return Failure(error);
    }
    if (!AsListed(now, file)) {
        return Failure(0, ChangedSinceScanReason);
    }
    // A group whose every file the user checked has no kept copy to look for.
    const bool keepsOne = std::any_of(group.Files.begin(), group.Files.end(),
        [](const TWorkFile& other) { return !other.Checked; });
    if (keepsOne && !FindKeptCopy(group, file, now, nullptr)) {
        return Failure(0, NoKeptCopyReason);
    }
    return {};
}

void TFileWork::RunDelete(std::size_t item, TFileWorkEvents& events)
{
    try {
        if (FStopRequested) {
            Finish(item, {}, events);
            return;
        }
        const TWorkGroup& group = FGroups[FItems[item].Group];
        const TWorkFile& file = group.Files[FItems[item].File];
        TItemResult result = CheckBeforeDestroying(group, file);
        if (result.Outcome == ioFailed) {
            Finish(item, result, events);
            return;
        }
        int code = 0;
        if (FOptions.Action == paRecycleBin) {
            const bool forGood = FPermanentForNonRecyclable &&
                FNonRecyclableFolders.count(platform::ParentFolder(file.Path)) != 0;
            code = platform::DeleteFileOrRecycle(file.Path, !forGood);
        } else {
            code = platform::DeleteFileOrRecycle(file.Path, false);
        }
        if (code != 0) {
            Finish(item, Failure(code), events);
            return;
        }
        result.Outcome = ioDone;
        Finish(item, result, events);
    } catch (...) {
        // The item keeps no result and counts as not done.
    }
}

std::string TFileWork::FlatTargetName(const std::string& name, TFileWorkEvents& events)
{
    std::string stem;
    std::string extension;
    SplitExtension(name, stem, extension);
    std::string chosen = name;
    for (std::int64_t n = 1; FTargetNames.count(chosen) != 0 ||
         Exists(platform::JoinPath(FOptions.TargetFolder, chosen));
         ++n) {
        chosen = stem + "(" + std::to_string(n) + ")" + extension;
    }
    FTargetNames.insert(chosen);
    if (chosen != name) {
        events.Line("File " + name + " already exists in target location - renamed to " + chosen);
    }
    return chosen;
}

void TFileWork::DispatchTransfer(std::size_t item, TThreadPool& pool, TFileWorkEvents& events)
{
    const TWorkFile& file = FGroups[FItems[item].Group].Files[FItems[item].File];
    std::string name = NameOf(file.Path);
    std::string target;
    if (FOptions.KeepFolderStructure) {
        std::string base = platform::WithoutTrailingSlashes(FOptions.TargetFolder);
        if (base == "/") {
            base.clear();
        }
        target = base + platform::WithTrailingSlash(platform::ParentFolder(file.Path)) + name;
    } else {
        target = platform::JoinPath(FOptions.TargetFolder, FlatTargetName(name, events));
    }
    FItems[item].Target = target;

    std::string folder = platform::WithTrailingSlash(platform::ParentFolder(target));
    if (int code = platform::CreateFolders(folder)) {
        if (code == ENAMETOOLONG) {
            FPathHint = true;
        }
        std::string message = "Cannot create folder ( code: " + ErrorPart(code) + " ): " + folder;
        if (FListedMessages.insert(message).second) {
            events.Line(message);
        }
        Finish(item, Failure(code), events);
        return;
    }
    pool.RunTask([this, item, &events] { RunTransfer(item, events); });
}

void TFileWork::RunTransfer(std::size_t item, TFileWorkEvents& events)
{
    try {
        if (FStopRequested) {
            Finish(item, {}, events);
            return;
        }
        const TWorkFile& file = FGroups[FItems[item].Group].Files[FItems[item].File];
        const std::string& target = FItems[item].Target;
        int code = FOptions.Action == paMove ? platform::MoveFileTo(file.Path, target)
                                             : platform::CopyFileTo(file.Path, target);
        if (code != 0) {
            Finish(item, Failure(code), events);
            return;
        }
        TItemResult result;
        result.Outcome = ioDone;
        Finish(item, result, events);
    } catch (...) {
        // The item keeps no result and counts as not done.
    }
}

void TFileWork::MakeLink(std::size_t item, TFileWorkEvents& events)
{
    const TWorkGroup& group = FGroups[FItems[item].Group];
    const TWorkFile& file = group.Files[FItems[item].File];
    const bool keepsOne = std::any_of(group.Files.begin(), group.Files.end(),
        [](const TWorkFile& other) { return !other.Checked; });
    if (!keepsOne) {
        events.Line("Group " + std::to_string(group.GroupNumber) +
            " doesn't contain an unchecked file to create symboilc links to.");
        Finish(item, Failure(0), events);
        return;
    }
    platform::TFileIdentity checked;
    if (int error = platform::GetFileIdentity(file.Path, false, checked)) {
        Finish(item, Failure(error), events);
        return;
    }
    if (!AsListed(checked, file)) {
        Finish(item, Failure(0, ChangedSinceScanReason), events);
        return;
    }
    // The link leads to the group's first kept file that is still as the scan listed it.
    platform::TFileIdentity targetIdentity;
    const TWorkFile* target = FindKeptCopy(group, file, checked, &targetIdentity);
    if (!target) {
        Finish(item, Failure(0, NoKeptCopyReason), events);
        return;
    }
    if (checked.SameFile(targetIdentity)) {
        Finish(item, Failure(0, SameAsKeptReason), events);
        return;
    }
    const std::string notMade =
        "Error while creating symboilc links of file " + file.Path + " to " + target->Path + ".";

    // The link text is worked out from the real folders: a folder reached through a link does
    // not lead back up the way its path reads.
    std::string realFolder;
    std::string realTarget;
    if (int error = platform::RealPath(platform::ParentFolder(file.Path), realFolder)) {
        events.Line(notMade);
        Finish(item, Failure(error), events);
        return;
    }
    if (int error = platform::RealPath(target->Path, realTarget)) {
        events.Line(notMade);
        Finish(item, Failure(error), events);
        return;
    }
    const std::string linkText = platform::RelativeLinkText(realFolder, realTarget);

    const std::string temporary = TemporaryLinkPath(file.Path);
    if (int error = platform::RenameNoReplace(file.Path, temporary)) {
        events.Line(notMade);
        Finish(item, Failure(error), events);
        return;
    }
    if (int error = platform::CreateSymbolicLink(linkText, file.Path)) {
        events.Line(notMade);
        RollBackLink(file.Path, temporary, events);
        Finish(item, Failure(error), events);
        return;
    }
    platform::TFileIdentity reached;
    if (platform::GetFileIdentity(file.Path, true, reached) != 0 ||
        !reached.SameFile(targetIdentity)) {
        platform::TFileIdentity made;
        if (platform::GetFileIdentity(file.Path, false, made) == 0 && made.IsSymbolicLink()) {
            platform::Sys().Unlink(file.Path.c_str());
        }
        events.Line(notMade);
        RollBackLink(file.Path, temporary, events);
        Finish(item, Failure(0, LinkLeadsElsewhereReason), events);
        return;
    }
    // The link stands; the file it replaced goes, if it is still the file that was moved
    // aside.
    platform::TFileIdentity aside;
    if (platform::GetFileIdentity(temporary, false, aside) != 0 || !aside.SameFile(checked)) {
        Finish(item, Failure(0, ChangedSinceScanReason), events);
        return;
    }
    if (int code = platform::DeleteFileOrRecycle(temporary, false)) {
        Finish(item, Failure(code), events);
        return;
    }
    TItemResult result;
    result.Outcome = ioDone;
    Finish(item, result, events);
}

void TFileWork::RollBackLink(
    const std::string& path, const std::string& temporary, TFileWorkEvents& events)
{
    if (int error = platform::RenameNoReplace(temporary, path)) {
        events.Line("Cannot rename " + temporary + " back to " + path +
            " ( code: " + ErrorPart(error) + " ): the file is kept under the temporary name.");
    }
}

void TFileWork::Finish(std::size_t item, TItemResult result, TFileWorkEvents& events)
{
    FItems[item].Result = result;
    events.ItemFinished(item, FItems[item].Result);
}

void TFileWork::RemoveEmptiedFolders()
{
    std::vector<std::string> roots;
    for (const std::string& root : FOptions.ScanRoots) {
        if (root.empty()) {
            continue;
        }
        roots.push_back(platform::WithoutTrailingSlashes(root));
        std::string real;
        if (platform::RealPath(root, real) == 0 && real != roots.back()) {
            roots.push_back(real);
        }
    }
    std::set<std::string> folders;
    for (const TWorkItem& item : FItems) {
        if (item.Result.Outcome == ioDone) {
            folders.insert(platform::ParentFolder(FGroups[item.Group].Files[item.File].Path));
        }
    }
    // Deepest first, so a parent is tried after its emptied children.
    std::vector<std::string> order(folders.begin(), folders.end());
    std::sort(order.begin(), order.end(),
        [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (std::string folder : order) {
        const std::string* root = nullptr;
        for (const std::string& candidate : roots) {
            if (PathStartsWith(folder, candidate) && (!root || candidate.size() > root->size())) {
                root = &candidate;
            }
        }
        if (!root) {
            continue;
        }
        while (!SamePath(folder, *root) && PathStartsWith(folder, *root)) {
            if (platform::Sys().Rmdir(folder.c_str()) != 0) {
                break;
            }
            FRemovedFolders.push_back(folder);
            folder = platform::ParentFolder(folder);
        }
    }
}

// ---- the summary ---------------------------------------------------------------------------

TWorkSummary ApplyWorkResults(
    TDFinder& finder, const TFileWork& work, const std::string& errorCodesAddress)
{
    TWorkSummary summary;
    summary.PathHint = work.PathHint();
    const TPerformAction action = work.Options().Action;
    const bool aborted = work.StopRequested();
    const std::string word = LowerWordOf(action);

    std::unordered_map<const TDImage*, std::size_t> itemOfRecord;
    const std::vector<TWorkItem>& items = work.Items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TWorkFile& file = work.Groups()[items[i].Group].Files[items[i].File];
        if (file.Record) {
            itemOfRecord.emplace(file.Record, i);
        }
    }

    for (std::int32_t index = finder.Files.Count() - 1; index >= 0; --index) {
        TDImage* record = finder.Files[index];
        auto found = itemOfRecord.find(record);
        if (found == itemOfRecord.end()) {
            continue;
        }
        const TWorkItem& item = items[found->second];
        const std::string& path = work.Groups()[item.Group].Files[item.File].Path;
        TItemResult result = item.Result;
        if (result.Outcome == ioNotRun && !aborted) {
            result = Failure(0, NotDoneReason);
        }
        switch (result.Outcome) {
        case ioFailed:
            ++summary.ErrorCount;
            if (result.Code != 0) {
                summary.Lines.push_back(
                    "Cannot " + word + " ( code: " + ErrorPart(result.Code) + " ):  " + path);
                if (result.Code == ENAMETOOLONG) {
                    summary.PathHint = true;
                }
            } else if (!result.Reason.empty()) {
                summary.Lines.push_back("Cannot " + word + " ( " + result.Reason + " ):  " + path);
            }
            break;
        case ioDone:
        case ioNotFound:
            if (action != paCopy) {
                finder.RemoveFile(record);
            }
            break;
        case ioNotRun:
            break;
        }
    }

    if (summary.ErrorCount == 0) {
        summary.Lines.push_back(aborted ? "Operation aborted." : "Operation complete.");
        return summary;
    }
    summary.Lines.push_back("");
    summary.Lines.push_back(
        "Some files could not be deleted or moved and will remain checked in the list.");
    summary.Lines.push_back(
        "Make sure they are not in use or located on a read-only media and retry.");
    if (summary.PathHint) {
        summary.Lines.push_back("");
        summary.Lines.push_back("Most likely the destination path gets longer than the maximum "
                                "path length of this system (255 bytes per name).");
        summary.Lines.push_back("Use shorter destination path and retry or un-tick the \"Keep "
                                "folder structure\" option!");
    }
    summary.Lines.push_back("");
    summary.Lines.push_back("Solve File Move, Delete, or Copy Errors:");
    summary.Lines.push_back(errorCodesAddress);
    return summary;
}
