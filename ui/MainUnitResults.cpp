// The results grid of the main window and the autocheck: the grid's rows rebuilt from the
// finder's groups (with the autocheck rule when asked), the counts caption, sorting with the
// groups kept together, the window's keys, the autocheck controls and the quick check.
#include "ui/MainUnit.h"

#include "engine/DFinder.h"
#include "engine/FileTimeHelper.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "toolkit/FileViewer.h"
#include "toolkit/LauncherProgress.h"
#include "toolkit/NextGrid.h"
#include "toolkit/NextGridRows.h"
#include "toolkit/WaitCursor.h"
#include "ui/AutoCheck.h"
#include "ui/ExcludeUnit.h"
#include "ui/PreviewFormUnit.h"
#include "ui/PreviewImage.h"
#include "ui/QuickCheckUnit.h"
#include "ui/ZYStatusBar.h"
#include "ui_MainUnit.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QProgressBar>
#include <QToolButton>

#include <exception>
#include <functional>

namespace {

// Hands the keys meant for the main window to it before the focused control sees them, and
// lets them go on: the window's key preview.
class TKeyPreview : public QObject {
public:
    explicit TKeyPreview(TMainForm& form)
        : QObject(&form)
        , FForm(form)
    { }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) {
            return false;
        }
        // A key goes first to the focused control (or the window when none has the focus);
        // when that control passes it on, its parents see it again, and they are not asked.
        auto* widget = static_cast<QWidget*>(watched);
        QWidget* focused = QApplication::focusWidget();
        const bool first = focused != nullptr ? widget == focused : widget->isWindow();
        if (first && widget->window() == &FForm) {
            try {
                FForm.FormKeyPress(*static_cast<QKeyEvent*>(event));
            } catch (const std::exception& error) {
                ShowErrorMessage(error.what());
            }
        }
        return false;
    }

private:
    TMainForm& FForm;
};

// Runs an action whenever the watched widget is resized.
class TResizeWatch : public QObject {
public:
    TResizeWatch(QWidget& watched, std::function<void()> resized)
        : QObject(&watched)
        , FResized(std::move(resized))
    {
        watched.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize) {
            FResized();
        }
        return false;
    }

private:
    std::function<void()> FResized;
};

// The grid is not painted while its rows are replaced, and is painted once afterwards.
class TPaintLock {
public:
    explicit TPaintLock(QWidget& widget)
        : FWidget(widget)
        , FWasEnabled(widget.updatesEnabled())
    {
        FWidget.setUpdatesEnabled(false);
    }
    ~TPaintLock() { FWidget.setUpdatesEnabled(FWasEnabled); }
    TPaintLock(const TPaintLock&) = delete;
    TPaintLock& operator=(const TPaintLock&) = delete;

private:
    QWidget& FWidget;
    bool FWasEnabled;
};

// The results grid as the preview window walks it: its rows, its selection, and a check state
// changed in the window shown in the grid, the counts caption and the modified mark, as a
// click on a check box does.
class TGridNavigator : public TPreviewNavigator {
public:
    explicit TGridNavigator(TMainForm& form)
        : FForm(form)
    { }

    int SelectedRow() const override { return FForm.DupGrid->SelectedRow(); }
    int RowCount() const override { return FForm.DupGrid->RowCount(); }
    TDImage* RowRecord(int row) const override { return FForm.DupGrid->Record(row); }
    void SelectRow(int row) override { FForm.DupGrid->SelectRow(row); }
    void RowCheckStateChanged(int row) override
    {
        FForm.DupGrid->Model().RefreshRows(row, row);
        FForm.DupGrid->viewport()->update();
        FForm.DupGridChange(CheckBoxColumn, row);
    }

private:
    TMainForm& FForm;
};

} // namespace

void TMainForm::SetUpResultsGrid()
{
    DupGrid = ui->DupGrid;
    connect(DupGrid, &TNextGrid::Change, this, &TMainForm::DupGridChange);
    connect(DupGrid, &TNextGrid::SelectCell, this, &TMainForm::DupGridSelectCell);
    connect(DupGrid, &TNextGrid::CellDblClick, this, &TMainForm::DupGridCellDblClick);
    connect(DupGrid, &TNextGrid::AfterSort, this, &TMainForm::DupGridAfterSort);
    SetUpGridCommands();

    connect(ui->AutoCheckButton, &QPushButton::clicked, this,
        [this] { DoAutoSelect2(TAutoCheckCaller::accButton); });
    connect(AutoCheckToolButton, &QToolButton::clicked, this,
        [this] { DoAutoSelect2(TAutoCheckCaller::accButton); });
    connect(ui->ClearButton, &QPushButton::clicked, this, [this] { ClearButtonClick(); });
    connect(ui->AutoAdvanced, &QPushButton::clicked, this, &TMainForm::AutoAdvancedClick);
    connect(
        QuickCheckToolButton, &QToolButton::clicked, this, &TMainForm::QuickCheckToolButtonClick);
    connect(ui->AutoCheckCombo, &QComboBox::activated, this, &TMainForm::AutoCheckComboChange);
    connect(ui->DateType, &QComboBox::activated, this, &TMainForm::DateTypeChange);

    FKeyPreview = new TKeyPreview(*this);
    qApp->installEventFilter(FKeyPreview);

    new TResizeWatch(*DupGrid->viewport(), [this] {
        if (FAutoFitColumns) {
            FitGridColumns();
        }
    });
    connect(DupGrid->horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
        // A column the user drags keeps its width from now on.
        if (!FFittingColumns && QGuiApplication::mouseButtons() != Qt::NoButton) {
            FAutoFitColumns = false;
        }
    });
}

void TMainForm::FitGridColumns()
{
    QHeaderView* header = DupGrid->horizontalHeader();
    FFittingColumns = true;
    // A date of the widest kind: two-digit day and hour.
    const QString date =
        QString::fromStdString(FileTimeToDisplayText(platform::FileTimeFromUnix(1798473538, 0)));
    const int dateWidth = DupGrid->fontMetrics().horizontalAdvance(date) + 16;
    for (int column : {CreatedColumn, ModifiedColumn, AccessedColumn}) {
        header->resizeSection(column, std::max(dateWidth, 110));
    }
    int others = 0;
    for (int column = 0; column < header->count(); ++column) {
        if (column != FileNameColumn && column != FolderColumn &&
            !header->isSectionHidden(column)) {
            others += header->sectionSize(column);
        }
    }
    const int spare = DupGrid->viewport()->width() - others - 2;
    const int name = std::max(100, spare * 2 / 5);
    header->resizeSection(FileNameColumn, name);
    header->resizeSection(FolderColumn, std::max(140, spare - name));
    FFittingColumns = false;
}

void TMainForm::SetUpPreviewWindow()
{
    FGridNavigator = std::make_unique<TGridNavigator>(*this);
    PreviewForm = new TPreviewForm(this);
    PreviewForm->setObjectName(QStringLiteral("PreviewForm"));
    PreviewForm->SetNavigator(FGridNavigator.get());
}

void TMainForm::ClearPreview()
{
    // The pane forgets the record it holds. The preview window holds one while it shows; the
    // tray's menu (a new scan, Exit) still works then, so the window closes and forgets it.
    if (PreviewImage != nullptr) {
        PreviewImage->ClearPreview();
    }
    if (PreviewForm != nullptr && PreviewForm->CurrentImage != nullptr) {
        PreviewForm->reject();
    }
}

void TMainForm::ShowPreviewWindow(std::int32_t row)
{
    TDImage* image = DupGrid->Record(row);
    // The window is in use from here until Execute returns.
    if (image == nullptr || PreviewForm->CurrentImage != nullptr) {
        return;
    }
    PreviewForm->CurrentImage = image;
    // The pane's viewer lets go of its file (a playing sound stops) while the window shows it.
    PreviewImage->Viewer()->Close();
    if (DupGrid->SelectedRow() != row) {
        DupGrid->SelectRow(row);
    }
    PreviewForm->Execute();
    // The pane shows the row the window ended on (its Previous and Next move the selection).
    const std::int32_t selected = DupGrid->SelectedRow();
    if (selected >= 0) {
        DupGridSelectCell(0, selected);
    }
}

void TMainForm::PreviewImageClick()
{
    // The pane's record is looked up among the grid's rows, never read: a record that has
    // left the grid opens nothing.
    const TDImage* shown = PreviewImage->Tag();
    if (shown == nullptr) {
        return;
    }
    const std::int32_t selected = DupGrid->SelectedRow();
    if (selected >= 0 && DupGrid->Record(selected) == shown) {
        ShowPreviewWindow(selected);
        return;
    }
    for (std::int32_t row = 0; row < DupGrid->RowCount(); ++row) {
        if (DupGrid->Record(row) == shown) {
            ShowPreviewWindow(row);
            return;
        }
    }
}

// ---- the rows ----------------------------------------------------------------------------------

void TMainForm::DoAutoSelect2(TAutoCheckCaller caller)
{
    if (Finder == nullptr) {
        return;
    }
    if (caller != TAutoCheckCaller::accRefill && Finder->HasManualChecks() &&
        !ShowConfirmMessage("You have checked some files manually.\r\nThis operation may "
                            "uncheck some of them.\r\n\r\nDo you want to use auto check?",
            this)) {
        return;
    }
    if (caller == TAutoCheckCaller::accButton && AutoCheckDisabledForAllFolders(*Finder)) {
        ShowErrorMessage("There is nothing to select - you have disabled auto-check for all "
                         "folders in the folders list.",
            this);
        return;
    }
    {
        const TWaitCursor wait;
        const TPaintLock locked(*DupGrid);
        if (caller != TAutoCheckCaller::accRefill) {
            AutoCheckGroups(*Finder, AppSettings);
        }
        DupGrid->SetRows(ListGridRows(*Finder), Finder->Files.Count());
        UpdateCaption(true);
        // Frees the records of groups left with one file, clearing the preview first when
        // there are any.
        RemoveSingleFileGroups();
    }
    UpdateCheckedCounts();
}

void TMainForm::UpdateCheckedCounts()
{
    if (Finder == nullptr) {
        return;
    }
    ui->DupListPanel->setText(QString::fromStdString(CheckedCountsCaption(*Finder)));
}

void TMainForm::ApplyColumnVisibility()
{
    DupGrid->ApplyColumnVisibility(AppSettings.Columns);
}

void TMainForm::ResortResults()
{
    DupGrid->ResortResults();
}

// ---- the grid's events -------------------------------------------------------------------------

void TMainForm::DupGridChange(int column, int row)
{
    (void)column;
    (void)row;
    if (Finder == nullptr) {
        return;
    }
    UpdateCaption(true);
    UpdateCheckedCounts();
}

void TMainForm::DupGridSelectCell(int column, int row)
{
    (void)column;
    TDImage* image = DupGrid->Record(row);
    if (image == nullptr || PreviewImage == nullptr || !PreviewImage->IsPreviewEnabled()) {
        return;
    }
    // The pane shows the file from the event loop, once this handler has returned; a quick
    // walk through the rows becomes one preview of the last row's file. While the preview
    // window shows, the pane waits: it would open the same file twice (and play it twice).
    PreviewImage->SetFileName(image->FullPath());
    if (PreviewForm == nullptr || PreviewForm->CurrentImage == nullptr) {
        PreviewImage->RequestPreview(DupGrid);
    }
    PreviewImage->SetTag(image);
}

void TMainForm::DupGridCellDblClick(int column, int row)
{
    (void)column;
    ShowPreviewWindow(row);
}

void TMainForm::DupGridAfterSort(int column, bool descending)
{
    if (Finder == nullptr || column < 1 || column > 9) {
        return;
    }
    std::string errorText;
    const bool sorted = RunBusy(
        QStringLiteral("Preparing results..."),
        [this, column, descending](std::string&) {
            Finder->SortGroups(std::uint8_t(column), descending);
            // A scan's completion fills the grid itself.
            if (Finder->State.load() != fsFinished) {
                DoAutoSelect2(TAutoCheckCaller::accRefill);
            }
            return true;
        },
        errorText);
    if (!sorted) {
        ShowErrorMessage(errorText);
    }
}

void TMainForm::ShowBusy(const QString& text)
{
    StatusProgressBar->setRange(0, 0);
    ui->StatusBar->SetPanelText(0, text);
    TaskbarListProgress->UpdateProgress();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ui->StatusBar->repaint();
}

void TMainForm::EndBusy()
{
    QApplication::restoreOverrideCursor();
    ui->StatusBar->SetPanelText(0, QString());
    ResetProgressBar(0);
    TaskbarListProgress->UpdateProgress();
}

void TMainForm::FormKeyPress(const QKeyEvent& key)
{
    if (key.key() == Qt::Key_Escape) {
        ActionStopScanExecute();
        return;
    }
    if ((key.text() == QStringLiteral("u") || key.text() == QStringLiteral("U")) &&
        DupGrid->RowCount() > 0) {
        // Change follows, which updates the counts and the modified mark.
        DupGrid->UncheckSelectedGroup();
    }
}

// ---- the autocheck controls --------------------------------------------------------------------

void TMainForm::AutoCheckComboChange()
{
    const std::uint8_t previous = AppSettings.AutoCheckType;
    QComboBox* combo = ui->AutoCheckCombo;
    const auto rule = std::uint8_t(std::max(combo->currentIndex(), 0));
    AppSettings.AutoCheckType = rule;
    combo->setToolTip(combo->currentText());
    if (AppSettings.FindMode == 0 && (rule == 1 || rule == 2)) {
        AppSettings.AutoCheckType = previous;
        combo->setCurrentIndex(previous);
        combo->setToolTip(combo->currentText());
        ShowErrorMessage(
            "The selected auto-check action is not applicable in equal files scan mode.");
    }
    const std::uint8_t shown = AppSettings.AutoCheckType;
    ui->DateType->setVisible(shown == 3 || shown == 4);
}

void TMainForm::DateTypeChange()
{
    AppSettings.CompareDateType = std::uint8_t(std::max(ui->DateType->currentIndex(), 0));
}

void TMainForm::ClearButtonClick(QWidget* sender)
{
    if (Finder == nullptr) {
        return;
    }
    QWidget* owner = sender != nullptr ? sender : this;
    if (Finder->HasManualChecks() &&
        !ShowConfirmMessage("You have checked some files manually.\r\nAre you sure that you "
                            "want to uncheck all files?",
            owner)) {
        return;
    }
    for (std::int32_t row = 0; row < DupGrid->RowCount(); ++row) {
        DupGrid->Record(row)->CheckState = 0;
    }
    DupGrid->RefreshChecks();
    UpdateCaption(true);
    UpdateCheckedCounts();
}

void TMainForm::AutoAdvancedClick()
{
    TExcludeForm::Execute(this);
}

void TMainForm::QuickCheckToolButtonClick()
{
    TQuickCheckForm::Execute(this, *this);
}

// ---- what the quick check does to the results -------------------------------------------------

void TMainForm::CheckAllRows()
{
    CheckSelectedMenuClick(nullptr);
}

void TMainForm::UncheckAllRows(QWidget* dialog)
{
    ClearButtonClick(dialog);
}

TDFinder* TMainForm::Results()
{
    return Finder;
}

void TMainForm::ChecksChanged()
{
    DoAutoSelect2(TAutoCheckCaller::accRefill);
    UpdateCheckedCounts();
    UpdateCaption(true);
}
