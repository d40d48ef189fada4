// Checks that a project file written by one build of the program reads the same in another (the
// 64-bit and the 32-bit build): scripts/test runs one build's copy of this tool to write and the
// other's to read.
//
//   pairloom_project_interchange write FOLDER PROJECT
//       makes the files of a fixed set of results in FOLDER and saves those results as PROJECT.
//   pairloom_project_interchange read FOLDER PROJECT RESAVED
//       opens PROJECT, compares what it holds with the same fixed results, and saves it again
//       as RESAVED. Exits non-zero with the differences when they differ.
//
// The results hold what a narrower integer or another float format would spoil: sizes beyond
// 4 GiB, file times with their top bits set, similarities that are not round in binary, group
// numbers beyond 16 bits, and names that are not UTF-8.
#include "engine/DFinder.h"
#include "engine/DImage.h"
#include "engine/Project.h"
#include "engine/SettingsUnit.h"
#include "platform/FileTime.h"
#include "platform/FindRecord.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

struct TModelFile {
    const char* Name;
    std::int64_t Size;
    std::uint64_t CreationTicks;
    std::uint64_t WriteTicks;
    std::uint64_t AccessTicks;
    std::uint8_t CheckState;
    float Similarity;
};

struct TModelGroup {
    std::int32_t Number;
    std::vector<TModelFile> Files;
};

const std::vector<TModelGroup>& ModelGroups()
{
    static const std::vector<TModelGroup> groups = {
        {1,
            {
                {"big.iso", (std::int64_t(5) << 30) + 7, 0x01D9AC3B80000000u, 0x01D9AC3CFFFFFFFFu,
                    0x01D9AC3D00000001u, 0, 1.0f},
                {"big copy.iso", (std::int64_t(5) << 30) + 7, 0x01D9AC3B80000000u,
                    0x01D9AC3CFFFFFFFFu, 0x7FFFFFFFFFFFFFFFu, 2, 1.0f},
            }},
        {70000,
            {
                {"note.txt", 0x7FFFFFFFFFFFFFFF, 1, 0x0000000100000000u, 0xFFFFFFFF00000000u, 1,
                    0.95f},
                {"latin-\xE9 & <x>.txt", 4294967296, 0x8000000080000000u, 0, 12345, 0, 0.1f / 3.0f},
                {"tab\tname.TXT", 4294967295, 0xFFFFFFFFFFFFFFFFu, 2, 3, 2, 0.87654321f},
            }},
    };
    return groups;
}

// FOLDER with a trailing "/".
std::string Slashed(const std::string& folder)
{
    return folder.ends_with('/') ? folder : folder + "/";
}

// The fixed results with their files in the folder, and the scan options saved with them.
void MakeModel(const std::string& folder, TDFinder& finder, TSettings& settings)
{
    for (const TModelGroup& modelGroup : ModelGroups()) {
        auto owned = std::make_unique<TDGroup>();
        owned->GroupNumber = modelGroup.Number;
        TDGroup* group = finder.Groups.Add(std::move(owned));
        for (const TModelFile& model : modelGroup.Files) {
            platform::TFindRecord record;
            record.Name = model.Name;
            record.Size = model.Size;
            record.Kind = platform::TEntryKind::ekRegular;
            record.CreationTime = platform::TFileTime::FromTicks(model.CreationTicks);
            record.LastWriteTime = platform::TFileTime::FromTicks(model.WriteTicks);
            record.LastAccessTime = platform::TFileTime::FromTicks(model.AccessTicks);
            TDImage* file = finder.Files.Add(std::make_unique<TDImage>(folder, record));
            file->CheckState = model.CheckState;
            file->Similarity = model.Similarity;
            file->Group = group;
            group->Add(file);
        }
    }
    finder.FileCount = finder.Files.Count();
    finder.Folders = {{Slashed(folder), 3}, {"/srv/\xFF\xFE/", 1}};
    settings.FindMode = 1;
    settings.Similarity = 87.65f;
    settings.DoNotCompareExt = true;
    settings.ScanEqualExtOnly = true;
}

// Everything the project file carries, one value a line, floats bit for bit.
std::string Describe(const TDFinder& finder, const TSettings& settings)
{
    std::ostringstream out;
    out << std::hexfloat;
    out << "options " << int(settings.FindMode) << " " << settings.Similarity << " "
        << settings.DoNotCompareExt << " " << settings.ScanEqualExtOnly << "\n";
    for (const TDGroup* group : finder.Groups) {
        out << "group " << group->GroupNumber << "\n";
        for (const TDImage* file : *group) {
            out << "  file " << file->FullPath() << " size " << file->Size << " times "
                << file->CreationTime.Ticks() << " " << file->LastWriteTime.Ticks() << " "
                << file->LastAccessTime.Ticks() << " check " << int(file->CheckState)
                << " similarity " << file->Similarity << "\n";
        }
    }
    out << "files " << finder.FileCount << "\n";
    for (const TFinderFolder& folder : finder.Folders) {
        out << "folder " << folder.Folder << " flags " << folder.Flags << "\n";
    }
    return out.str();
}

int Write(const std::string& folder, const std::string& projectName)
{
    ::mkdir(folder.c_str(), 0755);
    TDFinder finder;
    TSettings settings = TSettings::Defaults();
    MakeModel(Slashed(folder), finder, settings);
    for (const TDImage* file : finder.Files) {
        // The reader keeps only files that exist; their content does not matter.
        std::ofstream(file->FullPath(), std::ios::binary);
    }
    TProject project;
    std::string errorText;
    if (!project.SaveAs(projectName, finder, settings, errorText)) {
        std::fprintf(stderr, "%s\n", errorText.c_str());
        return 1;
    }
    return 0;
}

int Read(const std::string& folder, const std::string& projectName, const std::string& resaved)
{
    TDFinder expected;
    TSettings expectedSettings = TSettings::Defaults();
    MakeModel(Slashed(folder), expected, expectedSettings);

    TDFinder finder;
    TSettings settings = TSettings::Defaults();
    TProject project;
    std::string errorText;
    if (!project.Open(projectName, finder, settings, errorText)) {
        std::fprintf(stderr, "%s\n", errorText.c_str());
        return 1;
    }
    const std::string want = Describe(expected, expectedSettings);
    const std::string got = Describe(finder, settings);
    if (got != want) {
        std::fprintf(stderr, "%s reads differently.\nexpected:\n%sread:\n%s", projectName.c_str(),
            want.c_str(), got.c_str());
        return 1;
    }
    if (!project.SaveAs(resaved, finder, settings, errorText)) {
        std::fprintf(stderr, "%s\n", errorText.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "write") {
        return Write(args[1], args[2]);
    }
    if (args.size() == 4 && args[0] == "read") {
        return Read(args[1], args[2], args[3]);
    }
    std::fprintf(stderr,
        "usage: %s write FOLDER PROJECT\n"
        "       %s read FOLDER PROJECT RESAVED\n",
        argv[0], argv[0]);
    return 2;
}
