#pragma once

// Temporary trees of real files with the scan results that list them, for the tests of the
// Perform work and its dialog.

#include "engine/DFinder.h"
#include "platform/FileIdentity.h"
#include "platform/PathText.h"
#include "tests/support/TempTree.h"
#include "ui/FileWork.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// The results of a scan over real files: groups of records made from what the files are now.
class TResults {
public:
    TResults() = default;

    TDGroup* NewGroup()
    {
        auto group = std::make_unique<TDGroup>();
        group->GroupNumber = Finder.Groups.Count() + 1;
        return Finder.Groups.Add(std::move(group));
    }

    TDImage* Add(TDGroup* group, const std::string& path, bool checked)
    {
        platform::TFileIdentity identity;
        platform::GetFileIdentity(path, false, identity);
        platform::TFindRecord record;
        record.Name = path.substr(path.rfind('/') + 1);
        record.Size = identity.Size;
        record.LastWriteTime = identity.LastWriteTime;
        record.CreationTime = identity.LastWriteTime;
        record.LastAccessTime = identity.LastWriteTime;
        record.Kind = platform::TEntryKind::ekRegular;
        TDImage* image =
            Finder.Files.Add(std::make_unique<TDImage>(platform::ParentFolder(path) + "/", record));
        image->CheckState = checked ? 2 : 0;
        group->Add(image);
        image->Group = group;
        ++Finder.FileCount;
        return image;
    }

    bool Holds(const std::string& path) const
    {
        return std::any_of(Finder.Files.begin(), Finder.Files.end(),
            [&](const TDImage* image) { return image->FullPath() == path; });
    }

    TDFinder Finder;
};

// A tree with groups of one kept file and checked copies, listed as a scan would.
struct TScanned {
    TTempTree Tree;
    TResults Results;

    // Makes and lists the files of one group: the first kept, the others checked.
    void Group(const std::vector<std::string>& relatives, const std::string& content)
    {
        TDGroup* group = Results.NewGroup();
        for (std::size_t i = 0; i < relatives.size(); ++i) {
            Tree.AddFile(relatives[i], content);
            Results.Add(group, Tree.Path(relatives[i]), i != 0);
        }
    }

    TFileWorkOptions Options(TPerformAction action)
    {
        TFileWorkOptions options;
        options.Action = action;
        options.TargetFolder = Tree.AddFolder("target");
        options.KeepFolderStructure = false;
        return options;
    }
};

} // namespace testing_support
