#include "platform/RegistryStore.h"

#include "platform/AtomicFile.h"
#include "platform/ReadOnlyFile.h"
#include "platform/SpecialFolders.h"
#include "platform/SysCalls.h"
#include "platform/TextFile.h"

#include <atomic>
#include <cerrno>
#include <limits>
#include <sys/file.h>
#include <sys/sysmacros.h>
#include <utility>

namespace platform {

namespace {

bool ValidKeyPath(const std::vector<std::string>& parts)
{
    for (const std::string& part : parts) {
        if (HasControlCharacter(part)) {
            return false;
        }
    }
    return true;
}

// Whether a change can be made at all: names must not hold control characters (the file
// cannot hold them) and the whole tree cannot be deleted.
TSysError CheckChange(const TRegistryBatch::TChange& change)
{
    std::vector<std::string> parts = SplitKeyPath(change.Key);
    if (!ValidKeyPath(parts)) {
        return {EINVAL};
    }
    if (change.Kind == TRegistryBatch::ckWriteValue && HasControlCharacter(change.Name)) {
        return {EINVAL};
    }
    if (change.Kind == TRegistryBatch::ckDeleteKey && parts.empty()) {
        return {EINVAL};
    }
    return {};
}

// Applies one change; sets changed when the tree is different afterwards.
TSysError ApplyChange(TRegKeyNode& root, const TRegistryBatch::TChange& change, bool& changed)
{
    if (TSysError error = CheckChange(change)) {
        return error;
    }
    std::vector<std::string> parts = SplitKeyPath(change.Key);
    switch (change.Kind) {
    case TRegistryBatch::ckCreateKey:
        MakeKey(root, parts, changed);
        return {};
    case TRegistryBatch::ckWriteValue: {
        TRegKeyNode& key = MakeKey(root, parts, changed);
        if (SetValue(key, change.Name, change.Value)) {
            changed = true;
        }
        return {};
    }
    case TRegistryBatch::ckDeleteValue: {
        TRegKeyNode* key = FindKey(root, parts);
        if (key) {
            auto it = FindValue(*key, change.Name);
            if (it != key->Values.end()) {
                key->Values.erase(it);
                changed = true;
            }
        }
        return {};
    }
    case TRegistryBatch::ckClearKey: {
        TRegKeyNode* key = FindKey(root, parts);
        if (key && !key->Values.empty()) {
            key->Values.clear();
            changed = true;
        }
        return {};
    }
    case TRegistryBatch::ckDeleteKey:
        if (RemoveKey(root, parts)) {
            changed = true;
        }
        return {};
    }
    return {EINVAL};
}

// ---- files -------------------------------------------------------------------------------

struct TFileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    std::int64_t Size = -1;
    std::int64_t ModifiedNs = 0;
};

TFileIdentity IdentityOf(const struct statx& sx)
{
    TFileIdentity id;
    id.Device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    id.Inode = sx.stx_ino;
    id.Size = std::int64_t(sx.stx_size);
    id.ModifiedNs = std::int64_t(sx.stx_mtime.tv_sec) * 1000000000 + sx.stx_mtime.tv_nsec;
    return id;
}

const unsigned IdentityMask = STATX_TYPE | STATX_INO | STATX_SIZE | STATX_MTIME;

// Opens and reads the whole store file, keeping it open in fd. ENOENT when it does not exist.
TSysError LoadFile(
    const std::string& path, TUniqueFd& fd, std::string& content, TFileIdentity& identity)
{
    content.clear();
    fd.Reset();
    TReadOnlyFile file;
    if (TSysError error = file.Open(path)) {
        return error;
    }
    struct statx sx { };
    if (Sys().Statx(file.Fd(), "", AT_EMPTY_PATH, IdentityMask, &sx) != 0) {
        return {errno};
    }
    identity = IdentityOf(sx);
    if (TSysError error = ReadWholeFile(file, content, std::numeric_limits<std::size_t>::max())) {
        return error;
    }
    fd = file.Release();
    return {};
}

std::string FolderOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

TSysError MakeFolders(const std::string& folder)
{
    std::size_t at = 1;
    while (at <= folder.size()) {
        std::size_t slash = folder.find('/', at);
        if (slash == std::string::npos) {
            slash = folder.size();
        }
        std::string prefix = folder.substr(0, slash);
        if (!prefix.empty() && prefix != "/" && Sys().Mkdir(prefix.c_str(), 0700) != 0 &&
            errno != EEXIST) {
            return {errno};
        }
        at = slash + 1;
    }
    return {};
}

} // namespace

// ---- batches ------------------------------------------------------------------------------

void TRegistryBatch::CreateKey(const std::string& key)
{
    FChanges.push_back({ckCreateKey, key, {}, {}});
}

void TRegistryBatch::WriteValue(const std::string& key, const std::string& name, TRegValue value)
{
    FChanges.push_back({ckWriteValue, key, name, std::move(value)});
}

void TRegistryBatch::DeleteValue(const std::string& key, const std::string& name)
{
    FChanges.push_back({ckDeleteValue, key, name, {}});
}

void TRegistryBatch::ClearKey(const std::string& key)
{
    FChanges.push_back({ckClearKey, key, {}, {}});
}

void TRegistryBatch::DeleteKey(const std::string& key)
{
    FChanges.push_back({ckDeleteKey, key, {}, {}});
}

void TRegistryBatch::Append(const TRegistryBatch& other)
{
    FChanges.insert(FChanges.end(), other.FChanges.begin(), other.FChanges.end());
}

// ---- the store ---------------------------------------------------------------------------

TRegistryStore::TRegistryStore(std::string path)
    : FPath(std::move(path))
    , FRoot(std::make_unique<TRegKeyNode>())
{ }

TRegistryStore::~TRegistryStore()
{
    if (FFd >= 0) {
        Sys().Close(FFd);
    }
}

void TRegistryStore::Refresh()
{
    struct statx sx { };
    if (Sys().Statx(AT_FDCWD, FPath.c_str(), 0, IdentityMask, &sx) != 0) {
        int code = errno;
        if (code == ENOENT && FLoaded && FFd < 0 && !FLoadError) {
            return; // still no file
        }
    } else if (FLoaded && FFd >= 0) {
        TFileIdentity now = IdentityOf(sx);
        if (now.Device == FDevice && now.Inode == FInode && now.Size == FSize &&
            now.ModifiedNs == FModifiedNs) {
            return; // the file the cache came from
        }
    }

    TUniqueFd fd;
    std::string content;
    TFileIdentity identity;
    TSysError error = LoadFile(FPath, fd, content, identity);
    auto root = std::make_unique<TRegKeyNode>();
    FDamaged = false;
    FLoadError = {};
    if (error && error.Code != ENOENT) {
        FLoadError = error;
    } else if (!error) {
        FDamaged = !ParseRegText(content, *root);
    }
    FRoot = std::move(root);
    if (FFd >= 0) {
        Sys().Close(FFd);
    }
    FFd = fd.Release();
    FDevice = identity.Device;
    FInode = identity.Inode;
    FSize = identity.Size;
    FModifiedNs = identity.ModifiedNs;
    FLoaded = true;
}

TSysError TRegistryStore::ReadValue(
    const std::string& key, const std::string& name, TRegValue& value)
{
    std::lock_guard<std::mutex> guard(FMutex);
    Refresh();
    if (FLoadError) {
        return FLoadError;
    }
    TRegKeyNode* node = FindKey(*FRoot, SplitKeyPath(key));
    if (!node) {
        return {ENOENT};
    }
    auto it = FindValue(*node, name);
    if (it == node->Values.end()) {
        return {ENOENT};
    }
    value = it->Value;
    return {};
}

bool TRegistryStore::KeyExists(const std::string& key)
{
    std::lock_guard<std::mutex> guard(FMutex);
    Refresh();
    return !FLoadError && FindKey(*FRoot, SplitKeyPath(key)) != nullptr;
}

TSysError TRegistryStore::ValueNames(const std::string& key, std::vector<std::string>& names)
{
    names.clear();
    std::lock_guard<std::mutex> guard(FMutex);
    Refresh();
    if (FLoadError) {
        return FLoadError;
    }
    TRegKeyNode* node = FindKey(*FRoot, SplitKeyPath(key));
    if (!node) {
        return {ENOENT};
    }
    for (const auto& named : node->Values) {
        names.push_back(named.Name);
    }
    return {};
}

bool TRegistryStore::LoadedDamaged()
{
    std::lock_guard<std::mutex> guard(FMutex);
    Refresh();
    return FDamaged;
}

TSysError TRegistryStore::CreateKey(const std::string& key)
{
    TRegistryBatch batch;
    batch.CreateKey(key);
    return Apply(batch);
}

TSysError TRegistryStore::WriteValue(
    const std::string& key, const std::string& name, const TRegValue& value)
{
    TRegistryBatch batch;
    batch.WriteValue(key, name, value);
    return Apply(batch);
}

TSysError TRegistryStore::DeleteValue(const std::string& key, const std::string& name)
{
    TRegistryBatch batch;
    batch.DeleteValue(key, name);
    return Apply(batch);
}

TSysError TRegistryStore::ClearKey(const std::string& key)
{
    TRegistryBatch batch;
    batch.ClearKey(key);
    return Apply(batch);
}

TSysError TRegistryStore::DeleteKey(const std::string& key)
{
    TRegistryBatch batch;
    batch.DeleteKey(key);
    return Apply(batch);
}

TSysError TRegistryStore::Apply(const TRegistryBatch& batch)
{
    std::lock_guard<std::mutex> guard(FMutex);
    return LockedUpdate(batch);
}

TSysError TRegistryStore::LockedUpdate(const TRegistryBatch& batch)
{
    if (batch.Empty()) {
        return {};
    }
    if (FPath.empty()) {
        return {ENOENT}; // no home folder, so no place for the file
    }
    // Changes that are not valid fail on their own, before any file is touched.
    TSysError firstError;
    bool anyValid = false;
    for (const auto& change : batch.Changes()) {
        if (TSysError error = CheckChange(change)) {
            firstError = firstError ? firstError : error;
        } else {
            anyValid = true;
        }
    }
    if (!anyValid) {
        return firstError;
    }

    if (TSysError error = MakeFolders(FolderOf(FPath))) {
        return error;
    }
    std::string lockPath = FPath + ".lock";
    TUniqueFd lock(Sys().Open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOCTTY, 0600));
    if (!lock.Valid()) {
        return {errno};
    }
    if (Sys().Flock(lock.Get(), LOCK_EX) != 0) {
        return {errno};
    }

    // Read the file as it is now: another copy of the program may have changed it since this
    // store last looked. A file that exists but cannot be read is never overwritten.
    TUniqueFd oldFd;
    std::string content;
    TFileIdentity identity;
    TSysError readError = LoadFile(FPath, oldFd, content, identity);
    if (readError && readError.Code != ENOENT) {
        return readError;
    }
    auto root = std::make_unique<TRegKeyNode>();
    bool damaged = !readError && !ParseRegText(content, *root);

    bool changed = false;
    for (const auto& change : batch.Changes()) {
        ApplyChange(*root, change, changed);
    }

    TUniqueFd newFd;
    if (changed) {
        if (damaged) {
            // Keep what could not be read, so that nothing of it is lost for good.
            if (TSysError error = ReplaceFileAtomically(FPath + ".damaged", content, 0600)) {
                return error;
            }
        }
        if (TSysError error = ReplaceFileAtomically(FPath, FormatRegText(*root), 0600, &newFd)) {
            return error;
        }
        struct statx sx { };
        if (Sys().Statx(newFd.Get(), "", AT_EMPTY_PATH, IdentityMask, &sx) != 0) {
            newFd.Reset();
        } else {
            identity = IdentityOf(sx);
        }
        damaged = false;
    } else {
        newFd = std::move(oldFd);
    }

    // The cache now holds what the file holds.
    FRoot = std::move(root);
    if (FFd >= 0) {
        Sys().Close(FFd);
    }
    FFd = newFd.Release();
    FDevice = identity.Device;
    FInode = identity.Inode;
    FSize = identity.Size;
    FModifiedNs = identity.ModifiedNs;
    FDamaged = damaged;
    FLoadError = {};
    FLoaded = FFd >= 0 || readError.Code == ENOENT;
    return firstError;
}

// ---- the program's store -----------------------------------------------------------------

std::string DefaultRegistryPath()
{
    std::string configHome = ConfigHome();
    return configHome.empty() ? std::string() : configHome + "Zanthory/Twinrake.reg";
}

namespace {
std::atomic<TRegistryStore*> InstalledStore {nullptr};
} // namespace

TRegistryStore& RegistryStore()
{
    TRegistryStore* store = InstalledStore.load(std::memory_order_acquire);
    if (store) {
        return *store;
    }
    static TRegistryStore programStore(DefaultRegistryPath());
    return programStore;
}

TScopedRegistryStore::TScopedRegistryStore(TRegistryStore& replacement)
    : FPrevious(InstalledStore.exchange(&replacement, std::memory_order_acq_rel))
{ }

TScopedRegistryStore::~TScopedRegistryStore()
{
    InstalledStore.store(FPrevious, std::memory_order_release);
}

} // namespace platform
