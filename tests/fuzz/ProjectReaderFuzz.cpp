// libFuzzer entry point over the project reader: any bytes must give either a project that
// keeps the finder's rules or an error text with the finder left as it was.
#include "engine/DFinder.h"
#include "engine/DImage.h"
#include "engine/Project.h"
#include "engine/SettingsUnit.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

// Reads the data into a finder and settings that hold something already, and checks the
// result.
void ReadAndCheck(std::string_view data)
{
    TDFinder finder;
    finder.Folders.push_back({"/before/", 1});
    TSettings settings = TSettings::Defaults();
    settings.FindMode = 3;
    std::string errorText;
    if (!ReadProjectData(data, finder, settings, errorText)) {
        Check(!errorText.empty());
        Check(finder.Groups.Count() == 0 && finder.Files.Count() == 0);
        Check(finder.Folders.size() == 1 && finder.Folders[0].Folder == "/before/");
        Check(settings.FindMode == 3);
        return;
    }
    Check(errorText.empty());
    Check(settings.FindMode <= 3);
    Check(settings.Similarity >= 0.0f && settings.Similarity <= 100.0f);
    std::int32_t grouped = 0;
    for (const TDGroup* group : finder.Groups) {
        Check(group->Count() >= 2 && group->GroupNumber >= 1);
        for (const TDImage* file : *group) {
            Check(file->Group.load() == group);
            Check(!file->Folder.empty() && file->Folder.front() == '/');
            Check(file->Size >= 0 && file->CheckState <= 2);
            Check(file->Similarity >= 0.0f && file->Similarity <= 1.0f);
        }
        grouped += group->Count();
    }
    Check(grouped == finder.Files.Count() && grouped == finder.FileCount.load());
    for (const TFinderFolder& folder : finder.Folders) {
        Check(!folder.Folder.empty() && folder.Folder.front() == '/');
        Check(folder.Flags >= 0 && folder.Flags <= 3);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ReadAndCheck(bytes);
    // Most mutations change the length; read the data once more with a byte count that fits,
    // so they reach the text and the XML behind it.
    if (size >= 4 && size - 4 <= 0x7FFFFFFF) {
        std::string fitted(bytes);
        const auto count = std::uint32_t(size - 4);
        for (std::size_t k = 0; k < 4; ++k) {
            fitted[k] = char((count >> (8 * k)) & 0xFF);
        }
        ReadAndCheck(fitted);
    }
    return 0;
}
