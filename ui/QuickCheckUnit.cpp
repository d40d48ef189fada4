#include "ui/QuickCheckUnit.h"

#include "ui_QuickCheckUnit.h"

#include "engine/DFinder.h"
#include "engine/FileTimeHelper.h"
#include "engine/Filter.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYUtils.h"
#include "toolkit/DateRow.h"
#include "toolkit/DialogKeys.h"
#include "toolkit/HelpLinks.h"
#include "toolkit/SizeRow.h"
#include "ui/BrowseForFolderUnit.h"
#include "ui/OptionsFormUnit.h"

#include <algorithm>

namespace {

// The file's date of the kind, compared with the limit: negative when earlier.
int CompareFileDate(const TDImage& file, std::uint8_t kind, double limit)
{
    return CompareDateTimes(FileTimeToLocalDateTime(file.FileTimeByKind(kind)), limit);
}

} // namespace

bool QuickCheckMatches(const TDImage& file, const TSettings& s)
{
    bool inUse = false;
    if (!s.QuickCheckFolders.empty()) {
        inUse = true;
        const std::string folder = file.Folder.Str();
        const bool inFolder = std::any_of(s.QuickCheckFolders.begin(), s.QuickCheckFolders.end(),
            [&folder](const std::string& listed) { return PathStartsWith(folder, listed); });
        if (!inFolder) {
            return false;
        }
    }
    if (!s.QuickCheckExtList.empty()) {
        inUse = true;
        if (!ListHoldsText(s.QuickCheckExtList, "*" + file.Ext.Str())) {
            return false;
        }
    }
    if (s.QuickCheckSmallerFiles) {
        inUse = true;
        const std::int64_t limit =
            SizeLimitBytes(s.QuickCheckSmallerFileSize, s.QuickCheckSmallerFileSizeType);
        if (SizeUnitBytes(s.QuickCheckSmallerFileSizeType) == 0 || file.Size >= limit) {
            return false;
        }
    }
    if (s.QuickCheckBiggerFiles) {
        inUse = true;
        const std::int64_t limit =
            SizeLimitBytes(s.QuickCheckBiggerFileSize, s.QuickCheckBiggerFileSizeType);
        if (SizeUnitBytes(s.QuickCheckBiggerFileSizeType) == 0 || file.Size <= limit) {
            return false;
        }
    }
    if (s.QuickCheckOlderFiles) {
        inUse = true;
        if (CompareFileDate(file, s.QuickDateOlderType, s.QuickCheckOlderFilesDate) >= 0) {
            return false;
        }
    }
    if (s.QuickCheckNewerFiles) {
        inUse = true;
        if (CompareFileDate(file, s.QuickDateNewerType, s.QuickCheckNewerFilesDate) <= 0) {
            return false;
        }
    }
    if (s.QuickCheckFileNamesBool) {
        inUse = true;
        const std::string text =
            s.QuickMatchFullPath ? file.FullPath() : NameWithoutExtension(file.FileName);
        if (!MatchesAnyWord(text, s.QuickCheckFileNameWordList)) {
            return false;
        }
    }
    return inUse;
}

void CheckAllExceptFirstInGroup(const TOwningList<TDGroup>& groups)
{
    for (const TDGroup* group : groups) {
        bool first = true;
        for (TDImage* file : *group) {
            file->CheckState = first ? 0 : 2;
            first = false;
        }
    }
}

void CheckMatchingFiles(const TOwningList<TDGroup>& groups, const TSettings& settings, bool check)
{
    for (const TDGroup* group : groups) {
        for (TDImage* file : *group) {
            if (QuickCheckMatches(*file, settings)) {
                file->CheckState = check ? 2 : 0;
            }
        }
    }
}

TQuickCheckForm::TQuickCheckForm(TSettings& settings, TQuickCheckTarget& target, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , FUi(std::make_unique<Ui::QuickCheckForm>())
    , FSettings(settings)
    , FTarget(target)
{
    FUi->setupUi(this);
    FSmaller =
        new TSizeRow(FUi->QuickCheckSmallerFiles, FUi->SmallerFileSize, FUi->SmallerFileSizeType);
    FBigger =
        new TSizeRow(FUi->QuickCheckBiggerFiles, FUi->BiggerFileSize, FUi->BiggerFileSizeType);
    FOlder = new TDateRow(FUi->QuickCheckOlderFiles, FUi->OlderFilesDateTime,
        FUi->QuickDateOlderType, tr("%1 before:"));
    FNewer = new TDateRow(FUi->QuickCheckNewerFiles, FUi->NewerFilesDateTime,
        FUi->QuickDateNewerType, tr("%1 after:"));

    connect(FUi->AddButton, &QPushButton::clicked, this, &TQuickCheckForm::AddButtonClick);
    InstallEnterKeyAction(FUi->ExtEdit, [this] { AddButtonClick(); });
    connect(
        FUi->AddFolderButton, &QPushButton::clicked, this, &TQuickCheckForm::AddFolderButtonClick);
    connect(FUi->RemoveFolderButton, &QPushButton::clicked, this,
        &TQuickCheckForm::RemoveFolderButtonClick);
    connect(
        FUi->CheckAllButton, &QPushButton::clicked, this, &TQuickCheckForm::CheckAllButtonClick);
    connect(FUi->CheckAllExceptFirstButton, &QPushButton::clicked, this,
        &TQuickCheckForm::CheckAllExceptFirstButtonClick);
    connect(FUi->UncheckAllButton, &QPushButton::clicked, this,
        &TQuickCheckForm::UncheckAllButtonClick);
    connect(FUi->CheckButton, &QPushButton::clicked, this, &TQuickCheckForm::CheckButtonClick);
    connect(FUi->UncheckButton, &QPushButton::clicked, this, &TQuickCheckForm::UncheckButtonClick);
    connect(FUi->CloselButton, &QPushButton::clicked, this, &QDialog::reject);
    InstallHelpKey(this, hcExclusions);

    FormShow();
    ConnectImmediateHandlers();
}

TQuickCheckForm::~TQuickCheckForm() = default;

void TQuickCheckForm::Execute(QWidget* owner, TQuickCheckTarget& target)
{
    TQuickCheckForm form(AppSettings, target, owner);
    ExecDialog(&form);
}

void TQuickCheckForm::FormShow()
{
    const TSettings& s = FSettings;
    FUi->FoldersListBox->SetFolders(s.QuickCheckFolders);
    FUi->ExtCheckListBox->SetExtensions(s.QuickCheckExt, s.QuickCheckExtList);
    FSmaller->Fill(
        s.QuickCheckSmallerFiles, s.QuickCheckSmallerFileSize, s.QuickCheckSmallerFileSizeType);
    FBigger->Fill(
        s.QuickCheckBiggerFiles, s.QuickCheckBiggerFileSize, s.QuickCheckBiggerFileSizeType);
    FOlder->Fill(s.QuickCheckOlderFiles, s.QuickCheckOlderFilesDate, s.QuickDateOlderType);
    FNewer->Fill(s.QuickCheckNewerFiles, s.QuickCheckNewerFilesDate, s.QuickDateNewerType);
    FUi->QuickCheckFileNamesBool->setChecked(s.QuickCheckFileNamesBool);
    FUi->ExcludeFileNameWords->setText(QString::fromStdString(s.QuickCheckFileNameWords));
    FUi->QuickMatchFullPath->setChecked(s.QuickMatchFullPath);
    FUi->ExcludeFileNameWords->setEnabled(s.QuickCheckFileNamesBool);
    FUi->QuickMatchFullPath->setEnabled(s.QuickCheckFileNamesBool);
}

void TQuickCheckForm::ConnectImmediateHandlers()
{
    TSettings& s = FSettings;
    connect(FSmaller, &TSizeRow::Toggled, this, [&s](bool on) { s.QuickCheckSmallerFiles = on; });
    connect(FSmaller, &TSizeRow::LimitChanged, this,
        [&s](std::int64_t limit) { s.QuickCheckSmallerFileSize = std::int32_t(limit); });
    connect(FSmaller, &TSizeRow::UnitChanged, this,
        [&s](std::uint8_t unit) { s.QuickCheckSmallerFileSizeType = unit; });
    connect(FBigger, &TSizeRow::Toggled, this, [&s](bool on) { s.QuickCheckBiggerFiles = on; });
    connect(FBigger, &TSizeRow::LimitChanged, this,
        [&s](std::int64_t limit) { s.QuickCheckBiggerFileSize = std::int32_t(limit); });
    connect(FBigger, &TSizeRow::UnitChanged, this,
        [&s](std::uint8_t unit) { s.QuickCheckBiggerFileSizeType = unit; });
    connect(FOlder, &TDateRow::Toggled, this, [&s](bool on) { s.QuickCheckOlderFiles = on; });
    connect(FOlder, &TDateRow::DateChanged, this,
        [&s](double date) { s.QuickCheckOlderFilesDate = date; });
    connect(FOlder, &TDateRow::KindChanged, this,
        [&s](std::uint8_t kind) { s.QuickDateOlderType = kind; });
    connect(FNewer, &TDateRow::Toggled, this, [&s](bool on) { s.QuickCheckNewerFiles = on; });
    connect(FNewer, &TDateRow::DateChanged, this,
        [&s](double date) { s.QuickCheckNewerFilesDate = date; });
    connect(FNewer, &TDateRow::KindChanged, this,
        [&s](std::uint8_t kind) { s.QuickDateNewerType = kind; });
    connect(FUi->QuickCheckFileNamesBool, &QCheckBox::toggled, this, [this](bool on) {
        FSettings.QuickCheckFileNamesBool = on;
        FUi->ExcludeFileNameWords->setEnabled(on);
        FUi->QuickMatchFullPath->setEnabled(on);
    });
}

void TQuickCheckForm::AddButtonClick()
{
    FUi->ExtCheckListBox->AddExtension(FUi->ExtEdit->text());
}

void TQuickCheckForm::AddFolderButtonClick()
{
    AddFoldersFromPicker(this, *FUi->FoldersListBox, FSettings);
}

void TQuickCheckForm::RemoveFolderButtonClick()
{
    FUi->FoldersListBox->RemoveSelected();
}

void TQuickCheckForm::CheckAllButtonClick()
{
    FTarget.CheckAllRows();
}

void TQuickCheckForm::CheckAllExceptFirstButtonClick()
{
    TDFinder* results = FTarget.Results();
    if (results == nullptr) {
        return;
    }
    CheckAllExceptFirstInGroup(results->Groups);
    FTarget.ChecksChanged();
}

void TQuickCheckForm::UncheckAllButtonClick()
{
    FTarget.UncheckAllRows(this);
}

void TQuickCheckForm::CheckButtonClick()
{
    CheckMatching(true);
}

void TQuickCheckForm::UncheckButtonClick()
{
    CheckMatching(false);
}

void TQuickCheckForm::CheckMatching(bool check)
{
    // The criteria the user sees are the ones matched, also those stored only at close.
    StoreQuickCheckCriteria(false);
    TDFinder* results = FTarget.Results();
    if (results == nullptr) {
        return;
    }
    CheckMatchingFiles(results->Groups, FSettings, check);
    FTarget.ChecksChanged();
}

void TQuickCheckForm::StoreQuickCheckCriteria(bool save)
{
    FSettings.SetQuickCheckExt(FUi->ExtCheckListBox->CheckedText());
    FSettings.SetQuickCheckFileNameWords(FUi->ExcludeFileNameWords->text().trimmed().toStdString());
    FSettings.QuickMatchFullPath = FUi->QuickMatchFullPath->isChecked();
    FSettings.QuickCheckFolders = FUi->FoldersListBox->Folders();
    if (save) {
        SaveOptions(FSettings, this);
    }
}

void TQuickCheckForm::done(int result)
{
    StoreQuickCheckCriteria(true);
    QDialog::done(result);
}
