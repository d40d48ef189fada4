#include "ui/ExcludeUnit.h"

#include "ui_ExcludeUnit.h"

#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "toolkit/DateRow.h"
#include "toolkit/DialogKeys.h"
#include "toolkit/HelpLinks.h"
#include "toolkit/SizeRow.h"
#include "ui/OptionsFormUnit.h"

TExcludeForm::TExcludeForm(TSettings& settings, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , FUi(std::make_unique<Ui::ExcludeForm>())
    , FSettings(settings)
{
    FUi->setupUi(this);
    FSmaller =
        new TSizeRow(FUi->DoNotMarkSmallerFileSize, FUi->SmallerFileSize, FUi->SmallerFileSizeType);
    FBigger =
        new TSizeRow(FUi->DoNotMarkBiggerFileSize, FUi->BiggerFileSize, FUi->BiggerFileSizeType);
    FOlder = new TDateRow(FUi->DoNotMarkOlderFiles, FUi->OlderFilesDateTime,
        FUi->ExcludeDateOlderType, tr("%1 before:"));
    FNewer = new TDateRow(FUi->DoNotMarkNewerFiles, FUi->NewerFilesDateTime,
        FUi->ExcludeDateNewerType, tr("%1 after:"));

    connect(FUi->AddButton, &QPushButton::clicked, this, &TExcludeForm::AddButtonClick);
    InstallEnterKeyAction(FUi->ExtEdit, [this] { AddButtonClick(); });
    connect(FUi->OKButton, &QPushButton::clicked, this, &TExcludeForm::OKButtonClick);
    connect(FUi->CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    InstallHelpKey(this, hcExclusions);

    FormShow();
    ConnectImmediateHandlers();
}

TExcludeForm::~TExcludeForm() = default;

bool TExcludeForm::Execute(QWidget* owner)
{
    TExcludeForm form(AppSettings, owner);
    return ExecDialog(&form) == QDialog::Accepted;
}

void TExcludeForm::FormShow()
{
    const TSettings& s = FSettings;
    FUi->ExtCheckListBox->SetExtensions(s.ExcludeExt, s.ExcludeExtList);
    FSmaller->Fill(s.DoNotMarkSmallerFileSize, s.SmallerFileSize, s.SmallerFileSizeType);
    FBigger->Fill(s.DoNotMarkBiggerFileSize, s.BiggerFileSize, s.BiggerFileSizeType);
    FOlder->Fill(s.DoNotMarkOlderFiles, s.OlderFilesDate, s.ExcludeDateOlderType);
    FNewer->Fill(s.DoNotMarkNewerFiles, s.NewerFilesDate, s.ExcludeDateNewerType);
    FUi->DoNotMarkFileNames->setChecked(s.DoNotMarkFileNames);
    FUi->ExcludeFileNameWords->setText(QString::fromStdString(s.ExcludeFileNameWords));
    FUi->DoNotMarkFolders->setChecked(s.DoNotMarkFolders);
    FUi->ExcludeFileNameWords->setEnabled(s.DoNotMarkFileNames);
    FUi->DoNotMarkFolders->setEnabled(s.DoNotMarkFileNames);
}

void TExcludeForm::ConnectImmediateHandlers()
{
    TSettings& s = FSettings;
    connect(FSmaller, &TSizeRow::Toggled, this, [&s](bool on) { s.DoNotMarkSmallerFileSize = on; });
    connect(FSmaller, &TSizeRow::LimitChanged, this,
        [&s](std::int64_t limit) { s.SmallerFileSize = limit; });
    connect(FSmaller, &TSizeRow::UnitChanged, this,
        [&s](std::uint8_t unit) { s.SmallerFileSizeType = unit; });
    connect(FBigger, &TSizeRow::Toggled, this, [&s](bool on) { s.DoNotMarkBiggerFileSize = on; });
    connect(FBigger, &TSizeRow::LimitChanged, this,
        [&s](std::int64_t limit) { s.BiggerFileSize = limit; });
    connect(FBigger, &TSizeRow::UnitChanged, this,
        [&s](std::uint8_t unit) { s.BiggerFileSizeType = unit; });
    connect(FOlder, &TDateRow::Toggled, this, [&s](bool on) { s.DoNotMarkOlderFiles = on; });
    connect(FOlder, &TDateRow::DateChanged, this, [&s](double date) { s.OlderFilesDate = date; });
    connect(FOlder, &TDateRow::KindChanged, this,
        [&s](std::uint8_t kind) { s.ExcludeDateOlderType = kind; });
    connect(FNewer, &TDateRow::Toggled, this, [&s](bool on) { s.DoNotMarkNewerFiles = on; });
    connect(FNewer, &TDateRow::DateChanged, this, [&s](double date) { s.NewerFilesDate = date; });
    connect(FNewer, &TDateRow::KindChanged, this,
        [&s](std::uint8_t kind) { s.ExcludeDateNewerType = kind; });
    connect(FUi->DoNotMarkFileNames, &QCheckBox::toggled, this, [this](bool on) {
        FSettings.DoNotMarkFileNames = on;
        FUi->ExcludeFileNameWords->setEnabled(on);
        FUi->DoNotMarkFolders->setEnabled(on);
    });
}

void TExcludeForm::AddButtonClick()
{
    FUi->ExtCheckListBox->AddExtension(FUi->ExtEdit->text());
}

void TExcludeForm::OKButtonClick()
{
    FSettings.SetExcludeExt(FUi->ExtCheckListBox->CheckedText());
    FSettings.SetExcludeFileNameWords(FUi->ExcludeFileNameWords->text().trimmed().toStdString());
    FSettings.DoNotMarkFolders = FUi->DoNotMarkFolders->isChecked();
    SaveOptions(FSettings, this);
    accept();
}
