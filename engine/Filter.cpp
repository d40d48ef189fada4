#include "engine/Filter.h"

#include "engine/FileTimeHelper.h"
#include "engine/Masks.h"
#include "engine/OptionValues.h"
#include "engine/RegistryAccess.h"
#include "engine/ZYUtils.h"

#include <QString>

#include <cmath>
#include <limits>

namespace {

const std::string SettingsSection = "Settings";
const std::string FoldersSection = "FiltFolders";

constexpr std::uint8_t MaxFilterMode = 1;
constexpr std::uint8_t MaxSizeUnit = 2;
constexpr std::uint8_t MaxDateKind = 2;

// True when the file's date of the kind lies on the given side of the limit (sign -1 earlier,
// +1 later); an equal date is on neither side.
bool DateBeyond(const platform::TFindRecord& entry, std::uint8_t kind, double limit, int sign)
{
    const double date = FileTimeToLocalDateTime(FileTimeOfKind(entry, kind));
    return CompareDateTimes(date, limit) * sign > 0;
}

} // namespace

// ---- helpers --------------------------------------------------------------------------------

std::int64_t SizeUnitBytes(std::uint8_t unit)
{
    switch (unit) {
    case 0:
        return 1;
    case 1:
        return 1024;
    case 2:
        return 1048576;
    default:
        return 0;
    }
}

std::int64_t SizeLimitBytes(std::int64_t limit, std::uint8_t unit)
{
    std::int64_t bytes = 0;
    if (__builtin_mul_overflow(limit, SizeUnitBytes(unit), &bytes)) {
        return limit < 0 ? std::numeric_limits<std::int64_t>::min()
                         : std::numeric_limits<std::int64_t>::max();
    }
    return bytes;
}

platform::TFileTime FileTimeOfKind(const platform::TFindRecord& entry, std::uint8_t kind)
{
    switch (kind) {
    case 1:
        return entry.LastWriteTime;
    case 2:
        return entry.LastAccessTime;
    default:
        return entry.CreationTime;
    }
}

int CompareDateTimes(double a, double b)
{
    if (std::isnan(a) || std::isnan(b)) {
        return 0;
    }
    // Within the calendar's years the count of milliseconds is exact in a double; beyond it
    // the plain comparison is as good.
    constexpr double Limit = 1.0e9;
    if (std::fabs(a) < Limit && std::fabs(b) < Limit) {
        const long long ma = std::llround(a * 86400000.0);
        const long long mb = std::llround(b * 86400000.0);
        return ma < mb ? -1 : (ma > mb ? 1 : 0);
    }
    return a < b ? -1 : (a > b ? 1 : 0);
}

std::string FileNameOfPath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

// Where the extension starts, or npos when the name has none.
std::size_t ExtensionStart(const std::string& fileName)
{
    const std::size_t dot = fileName.rfind('.');
    return dot == 0 ? std::string::npos : dot;
}

} // namespace

std::string LowerCaseExtension(const std::string& fileName)
{
    const std::size_t start = ExtensionStart(fileName);
    if (start == std::string::npos) {
        return {};
    }
    return NameBytes(LowerCaseText(NameText(std::string_view(fileName).substr(start))));
}

std::string NameWithoutExtension(const std::string& fileName)
{
    const std::size_t start = ExtensionStart(fileName);
    return start == std::string::npos ? fileName : fileName.substr(0, start);
}

bool ListHoldsText(const std::vector<std::string>& list, const std::string& text)
{
    const QString wanted = NameText(text);
    for (const std::string& item : list) {
        if (NameText(item).compare(wanted, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

bool MatchesAnyWord(const std::string& text, const std::vector<std::string>& words)
{
    if (words.empty()) {
        return false;
    }
    const QString lowerText = LowerCaseText(NameText(text));
    for (const std::string& word : words) {
        const QString lowerWord = LowerCaseText(NameText(word));
        if (!lowerWord.isEmpty() && lowerText.contains(lowerWord)) {
            return true;
        }
        if (MatchesMask(lowerText, lowerWord)) {
            return true;
        }
    }
    return false;
}

// ---- TFilter --------------------------------------------------------------------------------

void TFilter::SetExcludeExt(const std::string& text)
{
    FiltExcludeExt = text;
    SplitDelimitedText(FiltExcludeExtList, text, '|');
}

void TFilter::SetExcludeFileNameWords(const std::string& text)
{
    FiltExcludeFileNameWords = text;
    SplitDelimitedText(FiltExcludeFileNameWordList, text, '|');
}

void TFilter::SetExcludeFolderNameWords(const std::string& text)
{
    FiltExcludeFolderNameWords = text;
    SplitDelimitedText(FiltExcludeFolderNameWordList, text, '|');
}

bool TFilter::MatchesExcludeNameWords(const std::string& fileName) const
{
    if (!FiltDoNotMarkFileNames) {
        return false;
    }
    return MatchesAnyWord(NameWithoutExtension(fileName), FiltExcludeFileNameWordList);
}

bool TFilter::Matches(const std::string& folder, const platform::TFindRecord& entry) const
{
    auto folderHit = [&] {
        for (const std::string& listed : FiltFolders) {
            if (PathStartsWith(folder, listed)) {
                return true;
            }
        }
        return FiltDoNotMarkFolderNames && MatchesAnyWord(folder, FiltExcludeFolderNameWordList);
    };
    auto extHit = [&] {
        return !FiltExcludeExtList.empty() &&
            ListHoldsText(FiltExcludeExtList, "*" + LowerCaseExtension(entry.Name));
    };
    auto nameHit = [&] { return MatchesExcludeNameWords(entry.Name); };
    auto smallHit = [&] {
        return FiltDoNotMarkSmallerFileSize && FiltSmallerFileSize > 0 &&
            SizeUnitBytes(FiltSmallerFileSizeType) != 0 &&
            entry.Size < SizeLimitBytes(FiltSmallerFileSize, FiltSmallerFileSizeType);
    };
    auto bigHit = [&] {
        return FiltDoNotMarkBiggerFileSize && SizeUnitBytes(FiltBiggerFileSizeType) != 0 &&
            entry.Size > SizeLimitBytes(FiltBiggerFileSize, FiltBiggerFileSizeType);
    };
    auto oldHit = [&] {
        return FiltDoNotMarkOlderFiles &&
            DateBeyond(entry, FilterDateOlderType, FiltOlderFilesDate, -1);
    };
    auto newHit = [&] {
        return FiltDoNotMarkNewerFiles &&
            DateBeyond(entry, FilterDateNewerType, FiltNewerFilesDate, +1);
    };

    if (FilterMode == 0) {
        return folderHit() || extHit() || nameHit() || smallHit() || bigHit() || oldHit() ||
            newHit();
    }

    // Include mode: every rule in use must match. A listed folder and a folder word are one
    // rule, and the extension rule is in use when the list holds a pattern.
    if ((!FiltFolders.empty() || FiltDoNotMarkFolderNames) && !folderHit()) {
        return false;
    }
    if (!FiltExcludeExtList.empty() && !extHit()) {
        return false;
    }
    if (FiltDoNotMarkFileNames && !nameHit()) {
        return false;
    }
    if (FiltDoNotMarkSmallerFileSize && !smallHit()) {
        return false;
    }
    if (FiltDoNotMarkBiggerFileSize && !bigHit()) {
        return false;
    }
    if (FiltDoNotMarkOlderFiles && !oldHit()) {
        return false;
    }
    if (FiltDoNotMarkNewerFiles && !newHit()) {
        return false;
    }
    return true;
}

// ---- registry -------------------------------------------------------------------------------

void TFilter::Load()
{
    const double now = NowAsDateTime();
    TRegBatch batch; // the removal of old date values
    const std::string& s = SettingsSection;

    LoadFolderList(FoldersSection, FiltFolders);
    FilterMode = RegReadByte(s, "FilterMode", 0, MaxFilterMode);
    EnableFilter = RegReadBool(s, "EnableFilter", false);
    SetExcludeExt(TrimBlanks(RegReadString(s, "FiltExcludeExt", std::string())));
    FiltDoNotMarkSmallerFileSize = RegReadBool(s, "FiltDoNotMarkSmallerFileSize", false);
    FiltSmallerFileSize = RegReadSizeLimit(s, "FiltSmallerFileSize");
    FiltSmallerFileSizeType = RegReadByte(s, "FiltSmallerFileSizeType", 0, MaxSizeUnit);
    FiltDoNotMarkBiggerFileSize = RegReadBool(s, "FiltDoNotMarkBiggerFileSize", false);
    FiltBiggerFileSize = RegReadSizeLimit(s, "FiltBiggerFileSize");
    FiltBiggerFileSizeType = RegReadByte(s, "FiltBiggerFileSizeType", 0, MaxSizeUnit);
    FiltDoNotMarkOlderFiles = RegReadBool(s, "FiltDoNotMarkOlderFiles", false);
    FiltOlderFilesDate = RegReadDateWithLegacy(s, "FiltOlderFilesDate", now);
    FiltDoNotMarkNewerFiles = RegReadBool(s, "FiltDoNotMarkNewerFiles", false);
    FiltNewerFilesDate = RegReadDateWithLegacy(s, "FiltNewerFilesDate", now);
    FiltDoNotMarkFileNames = RegReadBool(s, "FiltDoNotMarkFileNames", false);
    FiltDoNotMarkFolderNames = RegReadBool(s, "FiltDoNotMarkFolderNames", false);
    SetExcludeFileNameWords(TrimBlanks(RegReadString(s, "FiltExcludeFileNameWords", {})));
    SetExcludeFolderNameWords(TrimBlanks(RegReadString(s, "FiltExcludeFolderNameWords", {})));
    FilterDateOlderType = RegReadByte(s, "FilterDateOlderType", 0, MaxDateKind);
    FilterDateNewerType = RegReadByte(s, "FilterDateNewerType", 0, MaxDateKind);
    batch.Commit();
}

bool TFilter::Save() const
{
    TRegBatch batch;
    const std::string& s = SettingsSection;
    bool stored = SaveFolderList(FoldersSection, FiltFolders);
    auto keep = [&stored](bool ok) { stored = ok && stored; };

    keep(RegWriteInteger(s, "FilterMode", FilterMode));
    keep(RegWriteBool(s, "EnableFilter", EnableFilter));
    keep(RegWriteString(s, "FiltExcludeExt", FiltExcludeExt));
    keep(RegWriteBool(s, "FiltDoNotMarkSmallerFileSize", FiltDoNotMarkSmallerFileSize));
    keep(RegWriteSizeLimit(s, "FiltSmallerFileSize", FiltSmallerFileSize));
    keep(RegWriteInteger(s, "FiltSmallerFileSizeType", FiltSmallerFileSizeType));
    keep(RegWriteBool(s, "FiltDoNotMarkBiggerFileSize", FiltDoNotMarkBiggerFileSize));
    keep(RegWriteSizeLimit(s, "FiltBiggerFileSize", FiltBiggerFileSize));
    keep(RegWriteInteger(s, "FiltBiggerFileSizeType", FiltBiggerFileSizeType));
    keep(RegWriteBool(s, "FiltDoNotMarkOlderFiles", FiltDoNotMarkOlderFiles));
    keep(RegWriteDate(s, "FiltOlderFilesDate", FiltOlderFilesDate));
    keep(RegWriteBool(s, "FiltDoNotMarkNewerFiles", FiltDoNotMarkNewerFiles));
    keep(RegWriteDate(s, "FiltNewerFilesDate", FiltNewerFilesDate));
    keep(RegWriteBool(s, "FiltDoNotMarkFileNames", FiltDoNotMarkFileNames));
    keep(RegWriteBool(s, "FiltDoNotMarkFolderNames", FiltDoNotMarkFolderNames));
    keep(RegWriteString(s, "FiltExcludeFileNameWords", FiltExcludeFileNameWords));
    keep(RegWriteString(s, "FiltExcludeFolderNameWords", FiltExcludeFolderNameWords));
    keep(RegWriteInteger(s, "FilterDateOlderType", FilterDateOlderType));
    keep(RegWriteInteger(s, "FilterDateNewerType", FilterDateNewerType));
    return batch.Commit() && stored;
}
