#pragma once

// Results made directly in a finder, as a scan or a project load leaves them, for the tests of
// the results grid and the autocheck rule. Header only: its users link the engine.

#include "engine/DFinder.h"
#include "platform/FileTime.h"
#include "platform/FindRecord.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// A file time from milliseconds since 1970-01-01 UTC (negative: before 1970).
inline platform::TFileTime FileTimeOfUnixMs(std::int64_t milliseconds)
{
    const std::int64_t ticks = (milliseconds + platform::UnixEpochInFileTimeSeconds * 1000) * 10000;
    return platform::TFileTime::FromTicks(std::uint64_t(ticks));
}

// What a test says about one file; the rest takes these defaults.
struct TResultFile {
    std::string Name = "f";
    std::string Folder = "/d/";
    std::int64_t Size = 1;
    platform::TFileTime Created = FileTimeOfUnixMs(1700000000000);
    platform::TFileTime Modified = FileTimeOfUnixMs(1700000000000);
    platform::TFileTime Accessed = FileTimeOfUnixMs(1700000000000);
    float Similarity = 0.0f;
    std::uint8_t CheckState = 0;
};

inline TDImage* AddResultFile(TDFinder& finder, const TResultFile& file)
{
    platform::TFindRecord record;
    record.Name = file.Name;
    record.Size = file.Size;
    record.Kind = platform::TEntryKind::ekRegular;
    record.CreationTime = file.Created;
    record.LastWriteTime = file.Modified;
    record.LastAccessTime = file.Accessed;
    TDImage* image = finder.Files.Add(std::make_unique<TDImage>(file.Folder, record));
    image->Similarity = file.Similarity;
    image->CheckState = file.CheckState;
    return image;
}

// A result group of the files, numbered with the group count; an empty list makes a group
// whose files were all removed.
inline TDGroup* AddResultGroup(TDFinder& finder, const std::vector<TResultFile>& files)
{
    TDGroup* group = finder.Groups.Add(std::make_unique<TDGroup>());
    group->GroupNumber = finder.Groups.Count();
    for (const TResultFile& file : files) {
        TDImage* image = AddResultFile(finder, file);
        group->Add(image);
        image->Group = group;
    }
    return group;
}

} // namespace testing_support
