#pragma once

#include "platform/RegText.h"
#include "platform/SysError.h"

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// A set of changes that the store applies in one locked read-modify-write, so saving many
// values costs one read and one write of the file, and another running copy of the program
// sees either none or all of them. Changes are applied in the order they were added.
class TRegistryBatch {
public:
    void CreateKey(const std::string& key);
    void WriteValue(const std::string& key, const std::string& name, TRegValue value);
    void DeleteValue(const std::string& key, const std::string& name);
    void ClearKey(const std::string& key);
    void DeleteKey(const std::string& key);
    // Adds the other batch's changes after this one's.
    void Append(const TRegistryBatch& other);

    bool Empty() const { return FChanges.empty(); }
    void Clear() { FChanges.clear(); }

    enum TChangeKind { ckCreateKey, ckWriteValue, ckDeleteValue, ckClearKey, ckDeleteKey };
    struct TChange {
        TChangeKind Kind = ckCreateKey;
        std::string Key;
        std::string Name;
        TRegValue Value;
    };
    const std::vector<TChange>& Changes() const { return FChanges; }

private:
    std::vector<TChange> FChanges;
};

// The typed store of keys and values that stands in for the current user's registry: a tree
// of keys, each with named values, kept in one text file in the .reg text format
// ("Windows Registry Editor Version 5.00", one "[HKEY_CURRENT_USER\...]" section per key).
//
// Keys are addressed by their path below HKEY_CURRENT_USER with "\" between the names;
// leading, trailing and doubled separators are ignored, so "\Software\Zanthory\" and
// "Software\Zanthory" are the same key. Key names and value names are compared without
// regard to case and kept as first written; the empty value name is the key's default value.
//
// The file is read on first use and again whenever another writer has replaced it. Every
// change is a read-modify-write under an exclusive lock on a lock file beside it (flock),
// saved through a temporary file, fsync and rename, so two running copies of the program do
// not lose each other's values and a crash never leaves half a file. A damaged file never
// stops the program: whatever can be read is used, and before the next save the damaged file
// is kept beside the new one as "<file>.damaged".
//
// Errors are values: a failed read gives its error code (ENOENT for a missing key or value),
// a failed write leaves the file and the values seen by readers as they were. All methods may
// be called from any thread.
class TRegistryStore {
public:
    explicit TRegistryStore(std::string path);
    ~TRegistryStore();
    TRegistryStore(const TRegistryStore&) = delete;
    TRegistryStore& operator=(const TRegistryStore&) = delete;

    const std::string& Path() const { return FPath; }

    // Reading. ReadValue gives ENOENT when the key or the value does not exist, or the error
    // that kept the file from being read.
    TSysError ReadValue(const std::string& key, const std::string& name, TRegValue& value);
    bool KeyExists(const std::string& key);
    // The key's value names in stored order (ENOENT when the key does not exist).
    TSysError ValueNames(const std::string& key, std::vector<std::string>& names);

    // Writing: each call is one locked read-modify-write. Creating a key creates its missing
    // parents; writing a value creates its key. Deleting a value, clearing or deleting a key
    // that does not exist succeeds without touching the file. Names holding control
    // characters (which the file cannot hold) fail with EINVAL, and so does deleting the
    // whole tree (an empty key path).
    TSysError CreateKey(const std::string& key);
    TSysError WriteValue(const std::string& key, const std::string& name, const TRegValue& value);
    TSysError DeleteValue(const std::string& key, const std::string& name);
    // Deletes every value of the key; its subkeys stay.
    TSysError ClearKey(const std::string& key);
    // Deletes the key with its values and all its subkeys.
    TSysError DeleteKey(const std::string& key);

    // Applies every change of the batch in one read-modify-write. A change that is not valid
    // (EINVAL) is skipped and the others are still saved; the result is the first error met,
    // or the error of the save itself, in which case nothing of the batch is kept.
    TSysError Apply(const TRegistryBatch& batch);

    // Whether the file read last was damaged (some of its lines could not be used).
    bool LoadedDamaged();

private:
    // Loads the file when it was never read or has been replaced since; FMutex held.
    void Refresh();
    TSysError LockedUpdate(const TRegistryBatch& batch);

    std::string FPath;
    std::mutex FMutex;
    std::unique_ptr<TRegKeyNode> FRoot;
    // The file the cached tree came from, kept open so that its inode number cannot be taken
    // by a later file while the cache refers to it.
    int FFd = -1;
    bool FLoaded = false;
    bool FDamaged = false;
    TSysError FLoadError;
    dev_t FDevice = 0;
    ino_t FInode = 0;
    std::int64_t FSize = -1;
    std::int64_t FModifiedNs = 0;
};

// The store file of the program: $XDG_CONFIG_HOME/Zanthory/Twinrake.reg, with ~/.config in
// place of an unset or relative XDG_CONFIG_HOME; empty when no home folder is known (every
// read then finds nothing and every write fails with ENOENT).
std::string DefaultRegistryPath();

// The store in force: the program's store over DefaultRegistryPath() (created on first use),
// or the one a TScopedRegistryStore installed.
TRegistryStore& RegistryStore();

// Makes RegistryStore() give another store for the lifetime of the object and restores the
// previous one, so a test can point every registry user at a file of its own. Install and
// remove it while no other thread uses RegistryStore().
class TScopedRegistryStore {
public:
    explicit TScopedRegistryStore(TRegistryStore& replacement);
    ~TScopedRegistryStore();
    TScopedRegistryStore(const TScopedRegistryStore&) = delete;
    TScopedRegistryStore& operator=(const TScopedRegistryStore&) = delete;

private:
    TRegistryStore* FPrevious;
};

} // namespace platform
