#include "engine/FindFile.h"

#include "engine/Filter.h"
#include "engine/OrderedPrefetch.h"
#include "engine/ZYUtils.h"
#include "platform/DirList.h"

#include <QString>

#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

TFindFile* FileSearcher = nullptr;

namespace {

std::string WithTrailingSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

// A special folder as a rule uses it: with a trailing "/", or empty (rule off) when it is
// unknown or is the root, which would match every path.
std::string RuleFolder(const std::string& folder)
{
    if (folder.empty() || SamePath(folder, "/")) {
        return {};
    }
    return WithTrailingSlash(folder);
}

std::vector<std::string> RuleFolders(const std::vector<std::string>& folders)
{
    std::vector<std::string> result;
    for (const std::string& folder : folders) {
        std::string rule = RuleFolder(folder);
        if (!rule.empty()) {
            result.push_back(std::move(rule));
        }
    }
    return result;
}

// Folders that the listing threads may list ahead of the walk, per thread.
constexpr std::size_t ListingWindowPerThread = 16;

std::string LowerCase(const std::string& text)
{
    return NameBytes(LowerCaseText(NameText(text)));
}

// The attribute bits of a listing record that keep an entry out of a listing whose mask
// lacks them; read-only and archive never do.
constexpr std::uint32_t MaskedAttributes =
    platform::faHidden | platform::faSystem | platform::faDirectory;

std::uint32_t ListingMask(TAttrOptions attributes)
{
    std::uint32_t mask = 0;
    const std::pair<TAttrOption, std::uint32_t> bits[] = {
        {ffReadOnly, platform::faReadOnly},
        {ffHidden, platform::faHidden},
        {ffSystem, platform::faSystem},
        {ffDirectory, platform::faDirectory},
        {ffArchive, platform::faArchive},
    };
    for (const auto& [option, bit] : bits) {
        if ((attributes & AttrOptionBit(option)) != 0) {
            mask |= bit;
        }
    }
    return mask;
}

} // namespace

TFindFile::TFindFile()
    : TFindFile(CurrentSpecialFolders())
{ }

TFindFile::TFindFile(TSearchSpecialFolders folders)
{
    platform::TProtectedFolders& rules = folders.Protected;
    rules.ProfilesRoot = RuleFolder(rules.ProfilesRoot);
    rules.OwnProfile = RuleFolder(rules.OwnProfile);
    rules.OtherProfiles = RuleFolders(rules.OtherProfiles);
    rules.ApplicationData = RuleFolders(rules.ApplicationData);
    rules.System = RuleFolders(rules.System);
    folders.Desktop = RuleFolder(folders.Desktop);
    FSpecialFolders = std::move(folders);
}

TSearchSpecialFolders TFindFile::CurrentSpecialFolders()
{
    TSearchSpecialFolders folders;
    folders.Protected = platform::ProtectedFolders();
    folders.Desktop = platform::DesktopFolder();
    // Where there is no Desktop folder of its own the home folder stands in for it; the
    // shortcut rule would then hide shortcuts anywhere in the home folder.
    const std::string home = platform::HomeFolder();
    if (!home.empty() && SamePath(folders.Desktop, home)) {
        folders.Desktop.clear();
    }
    return folders;
}

void TFindFile::SetFilters(const std::vector<std::string>& filters)
{
    std::set<std::string> sorted(filters.begin(), filters.end());
    FFilters.assign(sorted.begin(), sorted.end());
    FLowerFilters.clear();
    for (const std::string& filter : FFilters) {
        FLowerFilters.insert(LowerCase(filter));
    }
}

void TFindFile::Execute()
{
    SkippedFolders.clear();
    FilteredFolders.clear();
    Files.clear();
    FVisited.clear();

    std::vector<std::string> roots = Folders;
    if (roots.empty() && !Directory.empty()) {
        roots.push_back(Directory);
    }
    // Every root's folder is claimed before anything is walked, so that no link or mount
    // inside one root walks into another root's folder: each file is listed under its own
    // root, where that root's folder flags cover it. A root whose folder an earlier root
    // claimed already is not searched again.
    std::vector<TQueuedFolder> entries(roots.size());
    std::vector<bool> claimed(roots.size());
    for (std::size_t i = 0; i < roots.size(); ++i) {
        claimed[i] = EnterRoot(roots[i], entries[i]);
    }
    // Abort is neither cleared nor tested between roots: a later root is opened and stops at
    // its first folder, where OnNewPath is asked again.
    for (std::size_t i = 0; i < roots.size(); ++i) {
        if (!claimed[i]) {
            continue;
        }
        if (Recurse) {
            WalkTree(std::move(entries[i]));
        } else {
            SearchListedFolder(entries[i].Path, nullptr, true);
        }
    }
}

bool TFindFile::IsSystemFolder(const std::string& folder)
{
    const platform::TProtectedFolders& rules = FSpecialFolders.Protected;
    // The user's own home is never protected as a profile or a system folder, even where it
    // lies inside one (a home below /var/lib/); its application data is.
    const bool ownProfile = PathStartsWith(folder, rules.OwnProfile);
    auto under = [&folder](const std::vector<std::string>& list) {
        for (const std::string& item : list) {
            if (PathStartsWith(folder, item)) {
                return true;
            }
        }
        return false;
    };
    const bool system = under(rules.ApplicationData) ||
        (!ownProfile &&
            (PathStartsWith(folder, rules.ProfilesRoot) || under(rules.OtherProfiles) ||
                under(rules.System)));
    if (system) {
        SkippedFolders.insert(WithTrailingSlash(folder));
    }
    return system;
}

void TFindFile::SearchFolder(const std::string& folder)
{
    SearchListedFolder(folder, nullptr, false);
}

void TFindFile::SearchTree(const std::string& root)
{
    TQueuedFolder first;
    if (EnterRoot(root, first)) {
        WalkTree(std::move(first));
    }
}

void TFindFile::WalkTree(TQueuedFolder first)
{
    // Listings made ahead of the walk, by job number; a worker reaches its listing through
    // the lock, since the walk adds jobs while workers run.
    struct TListing {
        std::string Path;
        std::vector<platform::TFindRecord> Entries;
        bool Listed = false;
    };
    std::vector<std::unique_ptr<TListing>> listings;
    std::mutex listingsLock;
    std::optional<TOrderedPrefetch> prefetch;
    if (ListingThreads > 0) {
        prefetch.emplace(
            0, ListingWindowPerThread * std::size_t(ListingThreads), ListingThreads,
            ListingPriority,
            [&listings, &listingsLock](std::size_t job) {
                TListing* listing = nullptr;
                {
                    std::lock_guard guard(listingsLock);
                    listing = listings[job].get();
                }
                try {
                    platform::ListDirectory(listing->Path, listing->Entries);
                    listing->Listed = true;
                } catch (const std::exception&) {
                    // Out of memory: the walk lists the folder itself and meets the failure
                    // there.
                    listing->Entries.clear();
                }
            },
            ListingPause);
    }
    // Makes listing jobs of the folders queued from the given place on.
    auto addJobs = [&](std::deque<TQueuedFolder>& queue, std::size_t from) {
        if (!prefetch) {
            return;
        }
        {
            std::lock_guard guard(listingsLock);
            for (std::size_t at = from; at < queue.size(); ++at) {
                queue[at].Job = listings.size();
                listings.push_back(std::make_unique<TListing>(TListing {queue[at].Path, {}}));
            }
        }
        prefetch->Extend(listings.size());
    };

    // One plain first-in first-out queue: deep trees cost no stack.
    std::deque<TQueuedFolder> queue;
    queue.push_back(std::move(first));
    addJobs(queue, 0);
    bool isRoot = true;
    while (!queue.empty()) {
        TQueuedFolder current = std::move(queue.front());
        queue.pop_front();
        // Listed once for both steps. A folder that cannot be listed (it vanished, or may not
        // be read) gives the entries read before the failure, usually none.
        std::vector<platform::TFindRecord> entries;
        if (prefetch) {
            bool listed = false;
            if (prefetch->Take(current.Job)) {
                std::lock_guard guard(listingsLock);
                listed = listings[current.Job]->Listed;
                entries = std::move(listings[current.Job]->Entries);
            }
            if (!listed) {
                platform::ListDirectory(current.Path, entries);
            }
            std::lock_guard guard(listingsLock);
            listings[current.Job].reset();
        } else {
            platform::ListDirectory(current.Path, entries);
        }
        const std::size_t queued = queue.size();
        AddSubfolders(queue, current, entries);
        addJobs(queue, queued);
        SearchListedFolder(current.Path, &entries, isRoot);
        isRoot = false;
        if (AbortRequested()) {
            break;
        }
    }
}

bool TFindFile::IsUnderRoot(const std::string& path) const
{
    if (Folders.empty()) {
        return PathStartsWith(path, Directory);
    }
    for (const std::string& root : Folders) {
        if (PathStartsWith(path, root)) {
            return true;
        }
    }
    return false;
}

bool TFindFile::AbortRequested()
{
    if (AbortSignal && AbortSignal->load()) {
        Abort = true;
    }
    return Abort;
}

bool TFindFile::EnterRoot(const std::string& root, TQueuedFolder& entry)
{
    entry.Path = WithTrailingSlash(root);
    if (platform::IsPseudoFileSystem(entry.Path)) {
        return false;
    }
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    if (!platform::GetFileIdentity(entry.Path, true, device, inode)) {
        entry.Device = device;
        if (!FVisited.insert({device, inode}).second) {
            return false;
        }
    }
    // A root that cannot be examined is still searched: its listing fails and yields nothing.
    return true;
}

void TFindFile::AddSubfolders(std::deque<TQueuedFolder>& queue, const TQueuedFolder& folder,
    const std::vector<platform::TFindRecord>& entries)
{
    for (const platform::TFindRecord& entry : entries) {
        if (!entry.IsDirectory()) {
            continue;
        }
        const std::string path = folder.Path + entry.Name;
        if (entry.IsSymbolicLink()) {
            // A link is not followed to one of its own ancestors, to a folder inside the
            // folder being listed, or under a root (which is walked by its own path). A link
            // that cannot be resolved (empty) passes these tests.
            const std::string resolved = GetFinalPath(path);
            if (!SamePath(resolved, path) &&
                (PathStartsWith(path, resolved) || PathStartsWith(resolved, folder.Path) ||
                    IsUnderRoot(resolved))) {
                continue;
            }
        }
        // A mount point may lead onto a kernel pseudo file system, whose files are no data
        // and whose reading can block.
        if (entry.Device != folder.Device && platform::IsPseudoFileSystem(path)) {
            continue;
        }
        // Each folder once per search, whatever links or bind mounts lead to it again.
        if (!FVisited.insert({entry.Device, entry.Inode}).second) {
            continue;
        }
        // The walk goes on under the link's own path, not its target's.
        queue.push_back({path + "/", entry.Device});
    }
}

void TFindFile::SearchListedFolder(
    const std::string& folder, const std::vector<platform::TFindRecord>* listed, bool isRoot)
{
    const std::string path = WithTrailingSlash(folder);
    // A root the user chose is searched even when it is a protected folder itself; the
    // protected folders below it are still skipped.
    if (SkipSystemFolders && !isRoot && IsSystemFolder(path)) {
        return;
    }
    if (OnNewPath) {
        OnNewPath(*this, path, std::int32_t(Files.size()), Abort);
    }
    if (AbortRequested()) {
        return;
    }
    std::vector<platform::TFindRecord> ownListing;
    if (!listed) {
        platform::ListDirectory(path, ownListing);
        listed = &ownListing;
    }
    if (FFilters.empty()) {
        return;
    }
    const std::uint32_t mask = ListingMask(Attributes);
    const bool allFiles = FLowerFilters.contains("*.*");
    const std::string& desktop = FSpecialFolders.Desktop;
    const bool onDesktop = allFiles && PathStartsWith(path, desktop);
    const bool filtering = Filter && Filter->EnableFilter;

    for (const platform::TFindRecord& entry : *listed) {
        if ((entry.Attributes & MaskedAttributes & ~mask) != 0) {
            continue;
        }
        if (!allFiles && !FLowerFilters.contains("*" + LowerCaseExtension(entry.Name))) {
            continue;
        }
        // Regular files only: no folder, no link to a file (it would match its own target),
        // no FIFO, socket or device.
        if (!entry.IsRegularFile() || entry.IsSymbolicLink()) {
            continue;
        }
        if (SkipZeroSizeFiles && entry.Size == 0) {
            continue;
        }
        if (onDesktop && LowerCaseExtension(entry.Name) == ".lnk") {
            continue;
        }
        if (filtering) {
            const bool matches = Filter->Matches(path, entry);
            if (Filter->FilterMode == 0) {
                if (matches) {
                    // Left out: its folder goes to the list of filtered folders when a listed
                    // filter folder holds it.
                    for (const std::string& filterFolder : Filter->FiltFolders) {
                        if (PathStartsWith(path, filterFolder)) {
                            FilteredFolders.insert(path);
                        }
                    }
                    continue;
                }
            } else if (!matches) {
                continue;
            }
        }
        ReportFile(path, entry);
    }
}

void TFindFile::ReportFile(const std::string& folder, const platform::TFindRecord& entry)
{
    if (OnNewFileEvent) {
        OnNewFileEvent(folder, entry);
    } else {
        Files.push_back(folder + entry.Name);
    }
}
