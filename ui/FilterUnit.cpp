#include "ui/FilterUnit.h"

#include "ui_FilterUnit.h"

#include "engine/FileTimeHelper.h"
#include "engine/Filter.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "toolkit/DateRow.h"
#include "toolkit/DialogKeys.h"
#include "toolkit/HelpLinks.h"
#include "toolkit/SizeRow.h"
#include "ui/BrowseForFolderUnit.h"

TFilterForm::TFilterForm(TSettings& settings, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , FUi(std::make_unique<Ui::FilterForm>())
    , FSettings(settings)
{
    FUi->setupUi(this);
    FSmaller =
        new TSizeRow(FUi->DoNotMarkSmallerFileSize, FUi->SmallerFileSize, FUi->SmallerFileSizeType);
    FBigger =
        new TSizeRow(FUi->DoNotMarkBiggerFileSize, FUi->BiggerFileSize, FUi->BiggerFileSizeType);
    FOlder = new TDateRow(FUi->DoNotMarkOlderFiles, FUi->OlderFilesDateTime,
        FUi->FilterDateOlderType, tr("%1 before:"));
    FNewer = new TDateRow(FUi->DoNotMarkNewerFiles, FUi->NewerFilesDateTime,
        FUi->FilterDateNewerType, tr("%1 after:"));
    InstallHelpKey(this, hcFilter);
    FillFromFilter(settings.Filter);
    ConnectHandlers();
}

TFilterForm::~TFilterForm() = default;

int TFilterForm::Execute(QWidget* owner)
{
    TFilterForm form(AppSettings, owner);
    return ExecDialog(&form);
}

void TFilterForm::ConnectHandlers()
{
    connect(FUi->AddButton, &QPushButton::clicked, this, &TFilterForm::AddButtonClick);
    InstallEnterKeyAction(FUi->ExtEdit, [this] { AddButtonClick(); });
    connect(FUi->AddFolderButton, &QPushButton::clicked, this, &TFilterForm::AddFolderButtonClick);
    connect(FUi->RemoveFolderButton, &QPushButton::clicked, this,
        &TFilterForm::RemoveFolderButtonClick);
    connect(FUi->ResetButton, &QPushButton::clicked, this, &TFilterForm::ResetButtonClick);
    connect(FUi->OKButton, &QPushButton::clicked, this, &TFilterForm::OKButtonClick);
    connect(FUi->CancelButton, &QPushButton::clicked, this, &TFilterForm::CancelButtonClick);
    connect(FUi->DoNotMarkFileNames, &QCheckBox::toggled, FUi->ExcludeFileNameWords,
        &QWidget::setEnabled);
    connect(FUi->DoNotMarkFolderNames, &QCheckBox::toggled, FUi->ExcludeFolderNameWords,
        &QWidget::setEnabled);
    // The date kinds are written at once, whether or not the dialog is confirmed.
    TFilter& filter = FSettings.Filter;
    connect(FOlder, &TDateRow::KindChanged, this,
        [&filter](std::uint8_t kind) { filter.FilterDateOlderType = kind; });
    connect(FNewer, &TDateRow::KindChanged, this,
        [&filter](std::uint8_t kind) { filter.FilterDateNewerType = kind; });
}

void TFilterForm::FillFromFilter(const TFilter& f)
{
    FUi->FoldersListBox->SetFolders(f.FiltFolders);
    // The filter keeps only the patterns in use: every one is checked.
    FUi->ExtCheckListBox->SetExtensions(f.FiltExcludeExt, f.FiltExcludeExtList);
    FSmaller->Fill(
        f.FiltDoNotMarkSmallerFileSize, f.FiltSmallerFileSize, f.FiltSmallerFileSizeType);
    FBigger->Fill(f.FiltDoNotMarkBiggerFileSize, f.FiltBiggerFileSize, f.FiltBiggerFileSizeType);
    FOlder->Fill(f.FiltDoNotMarkOlderFiles, f.FiltOlderFilesDate, f.FilterDateOlderType);
    FNewer->Fill(f.FiltDoNotMarkNewerFiles, f.FiltNewerFilesDate, f.FilterDateNewerType);
    FUi->DoNotMarkFileNames->setChecked(f.FiltDoNotMarkFileNames);
    FUi->ExcludeFileNameWords->setText(QString::fromStdString(f.FiltExcludeFileNameWords));
    FUi->ExcludeFileNameWords->setEnabled(f.FiltDoNotMarkFileNames);
    FUi->DoNotMarkFolderNames->setChecked(f.FiltDoNotMarkFolderNames);
    FUi->ExcludeFolderNameWords->setText(QString::fromStdString(f.FiltExcludeFolderNameWords));
    FUi->ExcludeFolderNameWords->setEnabled(f.FiltDoNotMarkFolderNames);
    FUi->ExcludeRadioButton->setChecked(f.FilterMode == 0);
    FUi->IncludeRadioButton->setChecked(f.FilterMode != 0);
}

void TFilterForm::WriteToFilter(TFilter& f) const
{
    f.FiltFolders = FUi->FoldersListBox->Folders();
    f.SetExcludeExt(FUi->ExtCheckListBox->CheckedText());
    f.FiltDoNotMarkSmallerFileSize = FSmaller->IsOn();
    f.FiltSmallerFileSize = FSmaller->Limit();
    f.FiltSmallerFileSizeType = FSmaller->Unit();
    f.FiltDoNotMarkBiggerFileSize = FBigger->IsOn();
    f.FiltBiggerFileSize = FBigger->Limit();
    f.FiltBiggerFileSizeType = FBigger->Unit();
    f.FiltDoNotMarkOlderFiles = FOlder->IsOn();
    f.FiltOlderFilesDate = FOlder->Date();
    f.FilterDateOlderType = FOlder->Kind();
    f.FiltDoNotMarkNewerFiles = FNewer->IsOn();
    f.FiltNewerFilesDate = FNewer->Date();
    f.FilterDateNewerType = FNewer->Kind();
    f.FiltDoNotMarkFileNames = FUi->DoNotMarkFileNames->isChecked();
    f.SetExcludeFileNameWords(FUi->ExcludeFileNameWords->text().trimmed().toStdString());
    f.FiltDoNotMarkFolderNames = FUi->DoNotMarkFolderNames->isChecked();
    f.SetExcludeFolderNameWords(FUi->ExcludeFolderNameWords->text().trimmed().toStdString());
    f.FilterMode = FUi->IncludeRadioButton->isChecked() ? 1 : 0;
}

void TFilterForm::AddButtonClick()
{
    FUi->ExtCheckListBox->AddExtension(FUi->ExtEdit->text());
}

void TFilterForm::AddFolderButtonClick()
{
    AddFoldersFromPicker(this, *FUi->FoldersListBox, FSettings);
}

void TFilterForm::RemoveFolderButtonClick()
{
    FUi->FoldersListBox->RemoveSelected();
}

void TFilterForm::ResetButtonClick()
{
    // An empty filter as an empty store loads it: no rule, dates of now, exclude mode.
    TFilter empty;
    empty.FiltOlderFilesDate = NowAsDateTime();
    empty.FiltNewerFilesDate = empty.FiltOlderFilesDate;
    FillFromFilter(empty);
}

void TFilterForm::OKButtonClick()
{
    WriteToFilter(FSettings.Filter);
    accept();
}

void TFilterForm::CancelButtonClick()
{
    FSettings.Filter.EnableFilter = false;
    reject();
}
