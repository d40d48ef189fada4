#include "ui/OptionsFormUnit.h"

#include "ui_OptionsFormUnit.h"

#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYUtils.h"
#include "toolkit/DialogKeys.h"
#include "toolkit/HelpLinks.h"

#include <QSystemTrayIcon>

#include <utility>

bool SaveOptions(const TSettings& settings, QWidget* owner)
{
    bool saved = false;
    try {
        saved = settings.Save();
    } catch (...) {
        saved = false;
    }
    if (!saved) {
        ShowErrorMessage("The options could not be saved.", owner);
    }
    return saved;
}

TOptionsForm::TOptionsForm(TSettings& settings, TApplyToGrid applyToGrid, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , FUi(std::make_unique<Ui::OptionsForm>())
    , FSettings(settings)
    , FApplyToGrid(std::move(applyToGrid))
{
    FUi->setupUi(this);
    FUi->PageControl->setCurrentWidget(FUi->GeneralSheet);
    // Where the desktop has no tray, a window sent there could not come back.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        FUi->MinimizeToTray->setEnabled(false);
        FUi->MinimizeToTray->setToolTip(tr("This desktop has no system tray."));
    }
    // The option is kept and stored, but this system has no preview of such documents.
    FUi->PreviewOfficeFiles->setEnabled(false);
    FUi->PreviewOfficeFiles->setToolTip(tr("There is no Office preview on this system."));

    connect(FUi->OKButton, &QPushButton::clicked, this, &TOptionsForm::OKButtonClick);
    connect(FUi->CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    InstallHelpKey(this, hcOptions);
    FormShow();
}

TOptionsForm::~TOptionsForm() = default;

bool TOptionsForm::Execute(QWidget* owner, TApplyToGrid applyToGrid)
{
    TOptionsForm form(AppSettings, std::move(applyToGrid), owner);
    return ExecDialog(&form) == QDialog::Accepted;
}

std::array<QCheckBox*, 8> TOptionsForm::ColumnBoxes() const
{
    return {FUi->ColFileName, FUi->ColFolder, FUi->ColFileSize, FUi->ColCrDateTime,
        FUi->ColModDateTime, FUi->ColAccDateTime, FUi->ColSimilarity, FUi->ColGroup};
}

void TOptionsForm::FormShow()
{
    const TSettings& s = FSettings;
    FUi->MinimizeToTray->setChecked(s.MinimizeToTray);
    FUi->LoadLastProject->setChecked(s.LoadLastProject);
    FUi->ProtectSysFiles->setChecked(s.ProtectSysFiles);
    FUi->PriorityComboBox->setCurrentIndex(s.Priority < PriorityItemCount ? s.Priority : -1);
    FUi->SkipZeroFiles->setChecked(s.SkipZeroFiles);
    FUi->ShowUserCheckedColor->setChecked(s.ShowUserCheckedColor);
    FUi->EnableLog->setChecked(s.EnableLog);
    FUi->RemoveSingleFileGroups->setChecked(s.RemoveSingleFileGroups);
    FUi->ShowUserCheckedBold->setChecked(s.ShowUserCheckedBold);
    FUi->DelWholeGroupWarning->setChecked(s.ShowDelWholeGroupWarning);
    FUi->PreviewOfficeFiles->setChecked(s.PreviewOfficeFiles);
    const std::array<QCheckBox*, 8> columns = ColumnBoxes();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        columns[i]->setChecked(IsBitSet(s.Columns, std::uint8_t(i + 1)));
    }
    FUi->PreserveGroupOrder->setChecked(s.PreserveGroupOrder);
}

void TOptionsForm::OKButtonClick()
{
    TSettings& s = FSettings;
    // No item: a stored priority the list cannot show, kept as it is.
    if (FUi->PriorityComboBox->currentIndex() >= 0) {
        s.Priority = std::uint8_t(FUi->PriorityComboBox->currentIndex());
    }
    s.MinimizeToTray = FUi->MinimizeToTray->isChecked();
    s.LoadLastProject = FUi->LoadLastProject->isChecked();
    s.ProtectSysFiles = FUi->ProtectSysFiles->isChecked();
    s.SkipZeroFiles = FUi->SkipZeroFiles->isChecked();
    s.EnableLog = FUi->EnableLog->isChecked();
    s.ShowUserCheckedColor = FUi->ShowUserCheckedColor->isChecked();
    s.ShowUserCheckedBold = FUi->ShowUserCheckedBold->isChecked();
    s.RemoveSingleFileGroups = FUi->RemoveSingleFileGroups->isChecked();
    s.ShowDelWholeGroupWarning = FUi->DelWholeGroupWarning->isChecked();
    const std::array<QCheckBox*, 8> columns = ColumnBoxes();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const auto bit = std::uint8_t(i + 1);
        s.Columns = columns[i]->isChecked() ? SetBit(s.Columns, bit) : ClearBit(s.Columns, bit);
    }
    s.PreviewOfficeFiles = FUi->PreviewOfficeFiles->isChecked();
    s.PreserveGroupOrder = FUi->PreserveGroupOrder->isChecked();
    if (FApplyToGrid) {
        FApplyToGrid();
    }
    SaveOptions(s, this);
    accept();
}
