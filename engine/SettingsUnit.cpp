#include "engine/SettingsUnit.h"

#include "engine/DImage.h"
#include "engine/FileTimeHelper.h"
#include "engine/OptionValues.h"
#include "engine/Questions.h"
#include "engine/RegistryAccess.h"
#include "engine/SystemServices.h"
#include "engine/Utils.h"
#include "engine/ZYUtils.h"
#include "platform/Power.h"

#include <cmath>

TSettings AppSettings = TSettings::Defaults();

namespace {

const std::string SettingsSection = "Settings";
const std::string QuickCheckFoldersSection = "QuickCheckFolders";

constexpr std::uint8_t MaxPerformAction = 4;
constexpr std::uint8_t MaxPriority = 6;
constexpr std::uint8_t MaxSizeUnit = 2;
constexpr std::uint8_t MaxAfterScan = 6;
constexpr std::uint8_t MaxDateKind = 2;
constexpr std::uint8_t MaxAutoCheckType = 8;

// The warnings are stored as texts: "0" while shown, "-1" once the user chose not to see them.
const std::string WarningShown = "0";
const std::string WarningHidden = "-1";

bool RegReadWarning(const std::string& name)
{
    return RegReadString(SettingsSection, name, WarningShown) == WarningShown;
}

bool RegWriteWarning(const std::string& name, bool shown)
{
    return RegWriteString(SettingsSection, name, shown ? WarningShown : WarningHidden);
}

// A threshold the scan can use: a number from 0 to 100 percent.
float RegReadSimilarity(float defaultValue)
{
    const double value = RegReadFloat(SettingsSection, "Similarity", defaultValue);
    return std::isfinite(value) && value >= 0.0 && value <= 100.0 ? float(value) : defaultValue;
}

std::string RegReadList(const std::string& name)
{
    return TrimBlanks(RegReadString(SettingsSection, name, std::string()));
}

bool DateBeyond(const TDImage& file, std::uint8_t kind, double limit, int sign)
{
    const double date = FileTimeToLocalDateTime(file.FileTimeByKind(kind));
    return CompareDateTimes(date, limit) * sign > 0;
}

} // namespace

TSettings::TSettings(TNoRegistry)
{
    const double now = NowAsDateTime();
    OlderFilesDate = now;
    NewerFilesDate = now;
    QuickCheckOlderFilesDate = now;
    QuickCheckNewerFilesDate = now;
    Filter.FiltOlderFilesDate = now;
    Filter.FiltNewerFilesDate = now;
}

TSettings::TSettings()
    : TSettings(TNoRegistry {})
{
    Load();
}

TSettings TSettings::Defaults()
{
    return TSettings(TNoRegistry {});
}

void TSettings::SetExcludeExt(const std::string& text)
{
    ExcludeExt = text;
    SplitDelimitedText(ExcludeExtList, text, '|');
}

void TSettings::SetExcludeFileNameWords(const std::string& text)
{
    ExcludeFileNameWords = text;
    SplitDelimitedText(ExcludeFileNameWordList, text, '|');
}

void TSettings::SetQuickCheckExt(const std::string& text)
{
    QuickCheckExt = text;
    SplitDelimitedText(QuickCheckExtList, text, '|');
}

void TSettings::SetQuickCheckFileNameWords(const std::string& text)
{
    QuickCheckFileNameWords = text;
    SplitDelimitedText(QuickCheckFileNameWordList, text, '|');
}

bool TSettings::MatchesExcludeNameWords(const std::string& path) const
{
    return MatchesAnyWord(NameWithoutExtension(FileNameOfPath(path)), ExcludeFileNameWordList);
}

bool TSettings::IsExcludedFromAutoCheck(const TDImage& file) const
{
    if (ListHoldsText(ExcludeExtList, "*" + file.Ext.Str())) {
        return true;
    }
    // With "Match full path" the words are looked for in the folder and the name.
    if (DoNotMarkFileNames) {
        const bool hit = DoNotMarkFolders ? MatchesAnyWord(file.FullPath(), ExcludeFileNameWordList)
                                          : MatchesExcludeNameWords(file.FullPath());
        if (hit) {
            return true;
        }
    }
    if (DoNotMarkSmallerFileSize && SmallerFileSize > 0 &&
        SizeUnitBytes(SmallerFileSizeType) != 0 &&
        file.Size < SizeLimitBytes(SmallerFileSize, SmallerFileSizeType)) {
        return true;
    }
    if (DoNotMarkBiggerFileSize && BiggerFileSize > 0 && SizeUnitBytes(BiggerFileSizeType) != 0 &&
        file.Size > SizeLimitBytes(BiggerFileSize, BiggerFileSizeType)) {
        return true;
    }
    if (DoNotMarkOlderFiles && DateBeyond(file, ExcludeDateOlderType, OlderFilesDate, -1)) {
        return true;
    }
    return DoNotMarkNewerFiles && DateBeyond(file, ExcludeDateNewerType, NewerFilesDate, +1);
}

bool TSettings::CheckAfterScanAction(bool silent) const
{
    bool possible = true;
    const std::string* message = nullptr;
    switch (AfterScan) {
    case 3:
        // Ending the session needs no rights here, only a session that can be found.
        possible = platform::PowerService().CanLogOff();
        message = &NoShutdownRightsMessage;
        break;
    case 6:
        possible = EnableShutdownPrivilege(true);
        message = &NoShutdownRightsMessage;
        break;
    case 4:
        possible = platform::PowerService().CanSuspend();
        message = &StandByNotSupportedMessage;
        break;
    case 5:
        possible = platform::PowerService().CanHibernate();
        message = &HibernateNotSupportedMessage;
        break;
    default:
        break;
    }
    if (!possible && !silent) {
        ShowErrorMessage(*message);
    }
    return possible;
}

void TSettings::UpdateLogSwitch() const
{
    if (this == &AppSettings) {
        SetLogEnabled(EnableLog);
    }
}

// ---- registry -------------------------------------------------------------------------------

void TSettings::Load()
{
    const double now = NowAsDateTime();
    TRegBatch batch; // the removal of old date values
    const std::string& s = SettingsSection;

    Filter.Load();
    PerformAction = RegReadByte(s, "PerformAction", 0, MaxPerformAction);
    Columns = RegReadInteger(s, "Columns", 0x7FFFFFFF);
    Similarity = RegReadSimilarity(95.0f);
    MinimizeToTray = RegReadBool(s, "MinimizeToTray", false);
    LoadLastProject = RegReadBool(s, "LoadLastProject", true);
    ShowUserCheckedColor = RegReadBool(s, "ShowUserCheckedColor", true);
    ShowUserCheckedBold = RegReadBool(s, "ShowUserCheckedBold", false);
    EnableLog = RegReadBool(s, "EnableLog", false);
    RemoveSingleFileGroups = RegReadBool(s, "RemoveSingleFileGroups", false);
    SkipZeroFiles = RegReadBool(s, "SkipZeroFiles", true);
    ScanEqualExtOnly = RegReadBool(s, "ScanEqualExtOnly", false);
    MoveToFolder = RegReadString(s, "MoveToFolder", std::string());
    Priority = RegReadByte(s, "Priority", 2, MaxPriority);
    Recurse = RegReadBool(s, "Recurse", true);
    LoadFolderList(QuickCheckFoldersSection, QuickCheckFolders);
    LastFolder = RegReadString(s, "LastFolder", std::string());
    ProtectSysFiles = RegReadBool(s, "ProtectSysFiles", true);
    FindMode = RegReadByte(s, "FindMode", 0, MaxFindMode);
    SetExcludeExt(RegReadList("ExcludeExt"));
    DoNotMarkSmallerFileSize = RegReadBool(s, "DoNotMarkSmallerFileSize", false);
    SmallerFileSize = RegReadSizeLimit(s, "SmallerFileSize");
    SmallerFileSizeType = RegReadByte(s, "SmallerFileSizeType", 0, MaxSizeUnit);
    DoNotMarkBiggerFileSize = RegReadBool(s, "DoNotMarkBiggerFileSize", false);
    BiggerFileSize = RegReadSizeLimit(s, "BiggerFileSize");
    BiggerFileSizeType = RegReadByte(s, "BiggerFileSizeType", 0, MaxSizeUnit);
    DoNotMarkOlderFiles = RegReadBool(s, "DoNotMarkOlderFiles", false);
    OlderFilesDate = RegReadDateWithLegacy(s, "OlderFilesDate", now);
    DoNotMarkNewerFiles = RegReadBool(s, "DoNotMarkNewerFiles", false);
    NewerFilesDate = RegReadDateWithLegacy(s, "NewerFilesDate", now);
    DoNotMarkFileNames = RegReadBool(s, "DoNotMarkFileNames", false);
    SetExcludeFileNameWords(RegReadList("ExcludeFileNameWords"));
    SetQuickCheckExt(RegReadList("QuickCheckExt"));
    QuickCheckSmallerFiles = RegReadBool(s, "QuickCheckSmallerFiles", false);
    QuickCheckSmallerFileSize = RegReadInteger(s, "QuickCheckSmallerFileSize", 0);
    QuickCheckSmallerFileSizeType = RegReadByte(s, "QuickCheckSmallerFileSizeType", 0, MaxSizeUnit);
    QuickCheckBiggerFiles = RegReadBool(s, "QuickCheckBiggerFiles", false);
    QuickCheckBiggerFileSize = RegReadInteger(s, "QuickCheckBiggerFileSize", 0);
    QuickCheckBiggerFileSizeType = RegReadByte(s, "QuickCheckBiggerFileSizeType", 0, MaxSizeUnit);
    QuickCheckOlderFiles = RegReadBool(s, "QuickCheckOlderFiles", false);
    QuickCheckOlderFilesDate = RegReadDateWithLegacy(s, "QuickCheckOlderFilesDate", now);
    QuickCheckNewerFiles = RegReadBool(s, "QuickCheckNewerFiles", false);
    QuickCheckNewerFilesDate = RegReadDateWithLegacy(s, "QuickCheckNewerFilesDate", now);
    QuickCheckFileNamesBool = RegReadBool(s, "QuickCheckFileNamesBool", false);
    SetQuickCheckFileNameWords(RegReadList("QuickCheckFileNameWords"));
    QuickMatchFullPath = RegReadBool(s, "QuickMatchFullPath", false);
    PreviewOfficeFiles = RegReadBool(s, "PreviewOfficeFiles", true);
    AfterScan = RegReadByte(s, "AfterScan", 0, MaxAfterScan);
    ShowMoveWarning = RegReadWarning("HideMoveWarningMsg");
    ShowProtectSysFilesMsg = RegReadWarning("ProtectSysFilesMsg");
    ShowDelWholeGroupWarning = RegReadWarning("HideDelWholeGroupWarningMsg");
    KeepFolderStructure = RegReadBool(s, "KeepFolderStructure", true);
    CompareDateType = RegReadByte(s, "CompareDateType", 0, MaxDateKind);
    QuickDateOlderType = RegReadByte(s, "QuickDateOlderType", 0, MaxDateKind);
    QuickDateNewerType = RegReadByte(s, "QuickDateNewerType", 0, MaxDateKind);
    ExcludeDateOlderType = RegReadByte(s, "ExcludeDateOlderType", 0, MaxDateKind);
    ExcludeDateNewerType = RegReadByte(s, "ExcludeDateNewerType", 0, MaxDateKind);
    PreserveGroupOrder = RegReadBool(s, "PreserveGroupOrder", true);
    AutoCheckType = RegReadByte(s, "AutoCheckType", 3, MaxAutoCheckType);
    DoNotCompareExt = RegReadBool(s, "DoNotCompareExt", false);
    batch.Commit();
    UpdateLogSwitch();
}

bool TSettings::Save() const
{
    TRegBatch batch;
    const std::string& s = SettingsSection;
    bool stored = Filter.Save();
    auto keep = [&stored](bool ok) { stored = ok && stored; };

    keep(RegWriteInteger(s, "PerformAction", PerformAction));
    keep(RegWriteInteger(s, "Columns", Columns));
    keep(RegWriteFloat(s, "Similarity", Similarity));
    keep(RegWriteBool(s, "MinimizeToTray", MinimizeToTray));
    keep(RegWriteBool(s, "LoadLastProject", LoadLastProject));
    keep(RegWriteBool(s, "ShowUserCheckedColor", ShowUserCheckedColor));
    keep(RegWriteBool(s, "ShowUserCheckedBold", ShowUserCheckedBold));
    keep(RegWriteBool(s, "EnableLog", EnableLog));
    keep(RegWriteBool(s, "RemoveSingleFileGroups", RemoveSingleFileGroups));
    keep(RegWriteBool(s, "SkipZeroFiles", SkipZeroFiles));
    keep(RegWriteInteger(s, "Priority", Priority));
    keep(RegWriteBool(s, "Recurse", Recurse));
    keep(RegWriteString(s, "MoveToFolder", MoveToFolder));
    keep(RegWriteBool(s, "ScanEqualExtOnly", ScanEqualExtOnly));
    keep(SaveFolderList(QuickCheckFoldersSection, QuickCheckFolders));
    keep(RegWriteString(s, "LastFolder", LastFolder));
    keep(RegWriteBool(s, "ProtectSysFiles", ProtectSysFiles));
    keep(RegWriteInteger(s, "FindMode", FindMode));
    keep(RegWriteString(s, "ExcludeExt", ExcludeExt));
    keep(RegWriteBool(s, "DoNotMarkSmallerFileSize", DoNotMarkSmallerFileSize));
    keep(RegWriteSizeLimit(s, "SmallerFileSize", SmallerFileSize));
    keep(RegWriteInteger(s, "SmallerFileSizeType", SmallerFileSizeType));
    keep(RegWriteBool(s, "DoNotMarkBiggerFileSize", DoNotMarkBiggerFileSize));
    keep(RegWriteSizeLimit(s, "BiggerFileSize", BiggerFileSize));
    keep(RegWriteInteger(s, "BiggerFileSizeType", BiggerFileSizeType));
    keep(RegWriteBool(s, "DoNotMarkOlderFiles", DoNotMarkOlderFiles));
    keep(RegWriteDate(s, "OlderFilesDate", OlderFilesDate));
    keep(RegWriteBool(s, "DoNotMarkNewerFiles", DoNotMarkNewerFiles));
    keep(RegWriteDate(s, "NewerFilesDate", NewerFilesDate));
    keep(RegWriteBool(s, "DoNotMarkFileNames", DoNotMarkFileNames));
    keep(RegWriteBool(s, "DoNotMarkFolders", DoNotMarkFolders));
    keep(RegWriteString(s, "ExcludeFileNameWords", ExcludeFileNameWords));
    keep(RegWriteBool(s, "DeleteEmptyFolders", DeleteEmptyFolders));
    keep(RegWriteInteger(s, "AfterScan", AfterScan));
    keep(RegWriteString(s, "QuickCheckExt", QuickCheckExt));
    keep(RegWriteBool(s, "QuickCheckSmallerFiles", QuickCheckSmallerFiles));
    keep(RegWriteInteger(s, "QuickCheckSmallerFileSize", QuickCheckSmallerFileSize));
    keep(RegWriteInteger(s, "QuickCheckSmallerFileSizeType", QuickCheckSmallerFileSizeType));
    keep(RegWriteBool(s, "QuickCheckBiggerFiles", QuickCheckBiggerFiles));
    keep(RegWriteInteger(s, "QuickCheckBiggerFileSize", QuickCheckBiggerFileSize));
    keep(RegWriteInteger(s, "QuickCheckBiggerFileSizeType", QuickCheckBiggerFileSizeType));
    keep(RegWriteBool(s, "QuickCheckOlderFiles", QuickCheckOlderFiles));
    keep(RegWriteDate(s, "QuickCheckOlderFilesDate", QuickCheckOlderFilesDate));
    keep(RegWriteBool(s, "QuickCheckNewerFiles", QuickCheckNewerFiles));
    keep(RegWriteDate(s, "QuickCheckNewerFilesDate", QuickCheckNewerFilesDate));
    keep(RegWriteBool(s, "QuickCheckFileNamesBool", QuickCheckFileNamesBool));
    keep(RegWriteString(s, "QuickCheckFileNameWords", QuickCheckFileNameWords));
    keep(RegWriteWarning("HideMoveWarningMsg", ShowMoveWarning));
    keep(RegWriteWarning("ProtectSysFilesMsg", ShowProtectSysFilesMsg));
    keep(RegWriteWarning("HideDelWholeGroupWarningMsg", ShowDelWholeGroupWarning));
    keep(RegWriteBool(s, "PreviewOfficeFiles", PreviewOfficeFiles));
    keep(RegWriteBool(s, "KeepFolderStructure", KeepFolderStructure));
    keep(RegWriteInteger(s, "CompareDateType", CompareDateType));
    keep(RegWriteInteger(s, "QuickDateOlderType", QuickDateOlderType));
    keep(RegWriteInteger(s, "QuickDateNewerType", QuickDateNewerType));
    keep(RegWriteBool(s, "QuickMatchFullPath", QuickMatchFullPath));
    keep(RegWriteInteger(s, "ExcludeDateOlderType", ExcludeDateOlderType));
    keep(RegWriteInteger(s, "ExcludeDateNewerType", ExcludeDateNewerType));
    keep(RegWriteBool(s, "PreserveGroupOrder", PreserveGroupOrder));
    keep(RegWriteInteger(s, "AutoCheckType", AutoCheckType));
    keep(RegWriteBool(s, "DoNotCompareExt", DoNotCompareExt));
    stored = batch.Commit() && stored;
    UpdateLogSwitch();
    return stored;
}
