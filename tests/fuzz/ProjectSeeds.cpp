// Writes a few valid project files into the folder given as the only argument: the seed corpus
// of the project reader's fuzz target, made by the program's own writer.
#include "engine/DFinder.h"
#include "engine/DImage.h"
#include "engine/Project.h"
#include "engine/SettingsUnit.h"
#include "platform/FileTime.h"
#include "platform/FindRecord.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

void AddFile(TDFinder& finder, TDGroup* group, const std::string& folder, const std::string& name,
    std::uint8_t check, float similarity)
{
    platform::TFindRecord record;
    record.Name = name;
    record.Size = 4096;
    record.Kind = platform::TEntryKind::ekRegular;
    record.CreationTime = platform::TFileTime {0x80000000u, 0x01D9AC3Bu};
    record.LastWriteTime = platform::TFileTime {12345u, 0x01D9AC3Cu};
    record.LastAccessTime = platform::TFileTime {0xFFFFFFFFu, 0x01D9AC3Du};
    TDImage* file = finder.Files.Add(std::make_unique<TDImage>(folder, record));
    file->CheckState = check;
    file->Similarity = similarity;
    file->Group = group;
    group->Add(file);
}

TDGroup* AddGroup(TDFinder& finder, std::int32_t number)
{
    auto group = std::make_unique<TDGroup>();
    group->GroupNumber = number;
    return finder.Groups.Add(std::move(group));
}

bool Write(const std::string& path, const TDFinder& finder, const TSettings& settings)
{
    TProject project;
    std::string errorText;
    if (!project.SaveAs(path, finder, settings, errorText)) {
        std::fprintf(stderr, "%s\n", errorText.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    bool written = true;

    TDFinder empty;
    written &= Write(folder + "empty.twrk", empty, TSettings::Defaults());

    // Files that exist on every system, so the reader keeps the groups.
    TDFinder existing;
    TDGroup* group = AddGroup(existing, 1);
    AddFile(existing, group, "/etc/", "passwd", 0, 1.0f);
    AddFile(existing, group, "/etc/", "group", 2, 0.95f);
    existing.Folders = {{"/etc/", 1}, {"/usr/", 2}};
    TSettings similar = TSettings::Defaults();
    similar.FindMode = 1;
    similar.Similarity = 87.5f;
    similar.DoNotCompareExt = true;
    written &= Write(folder + "existing.twrk", existing, similar);

    // Names that need entities, character references and the exact-bytes attribute.
    TDFinder names;
    TDGroup* first = AddGroup(names, 3);
    AddFile(names, first, "/data/a&b/", "say \"hi\" <now>.txt", 1, 1.0f);
    AddFile(names, first, "/data/a&b/", "tab\tline\nbreak\r.txt", 0, 0.5f);
    TDGroup* second = AddGroup(names, 9);
    AddFile(names, second, "/data/\xFF\xFE/", "latin-\xE9.txt", 2, 1.0f);
    AddFile(names, second, "/data/", "smile \xF0\x9F\x98\x80 \x01.txt", 0, 0.25f);
    names.Folders = {{"/data/\xFF/", 3}, {"/data/a&b/", 0}};
    TSettings byName = TSettings::Defaults();
    byName.FindMode = 2;
    byName.ScanEqualExtOnly = true;
    written &= Write(folder + "names.twrk", names, byName);

    return written ? 0 : 1;
}
