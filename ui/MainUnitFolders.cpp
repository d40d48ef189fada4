// The folder list and the scan options panel of the main window.
#include "ui/MainUnit.h"

#include "engine/DFinder.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYUtils.h"
#include "platform/PathText.h"
#include "ui/BrowseForFolderUnit.h"
#include "ui/FilterUnit.h"
#include "ui_MainUnit.h"

#include <QFile>
#include <QItemSelectionModel>
#include <QSignalBlocker>
#include <QToolButton>

#include <sys/stat.h>

#include <algorithm>

namespace {

bool IsExistingFolder(const std::string& path)
{
    struct stat info { };
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

QTableWidgetItem* CheckItem()
{
    auto* item = new QTableWidgetItem();
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Unchecked);
    return item;
}

} // namespace

int TMainForm::AddFolderToList(const std::string& folder)
{
    QTableWidget* grid = ui->FoldersGrid;
    // Row i is entry i of the finder's folders, so the finder's list is searched.
    for (int row = 0; row < int(Finder->Folders.size()); ++row) {
        if (SamePath(Finder->Folders[std::size_t(row)].Folder, folder)) {
            grid->selectRow(row);
            grid->scrollToItem(grid->item(row, 2));
            return row;
        }
    }
    const int row = grid->rowCount();
    {
        const QSignalBlocker quiet(grid);
        grid->insertRow(row);
        grid->setItem(row, 0, CheckItem());
        grid->setItem(row, 1, CheckItem());
        auto* path = new QTableWidgetItem(QFile::decodeName(QByteArray::fromStdString(folder)));
        path->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        path->setToolTip(path->text());
        grid->setItem(row, 2, path);
    }
    Finder->Folders.push_back({folder, 0});
    return row;
}

void TMainForm::AddFolderButtonClick()
{
    if (Finder == nullptr) {
        return;
    }
    std::string initial;
    if (!Finder->Folders.empty()) {
        initial = Finder->Folders.back().Folder;
    }
    if (IsExistingFolder(AppSettings.LastFolder)) {
        initial = AppSettings.LastFolder;
    }
    std::vector<std::string> folders;
    if (!TBrowseForFoldersForm::Execute(this, initial, folders)) {
        return;
    }
    std::string last;
    for (const std::string& picked : folders) {
        if (picked.empty()) {
            continue;
        }
        last = platform::WithTrailingSlash(picked);
        AddFolderToList(last);
    }
    if (!last.empty()) {
        AppSettings.LastFolder = last;
    }
}

void TMainForm::RemoveFolderButtonClick()
{
    if (Finder == nullptr) {
        return;
    }
    QTableWidget* grid = ui->FoldersGrid;
    QItemSelectionModel* selection = grid->selectionModel();
    int next = -1;
    for (int row = grid->rowCount() - 1; row >= 0; --row) {
        if (!selection->isRowSelected(row, QModelIndex())) {
            continue;
        }
        grid->removeRow(row);
        if (row < int(Finder->Folders.size())) {
            Finder->Folders.erase(Finder->Folders.begin() + row);
        }
        next = row == grid->rowCount() ? row - 1 : row;
    }
    grid->clearSelection();
    if (next >= 0) {
        grid->selectRow(next);
    }
}

void TMainForm::FoldersGridKeyDown(int key)
{
    if (key == Qt::Key_Delete) {
        RemoveFolderButtonClick();
    }
}

void TMainForm::FoldersGridItemChanged(int row, int column)
{
    if (Finder == nullptr || (column != 0 && column != 1) || row < 0 ||
        row >= int(Finder->Folders.size())) {
        return;
    }
    const QTableWidgetItem* item = ui->FoldersGrid->item(row, column);
    if (item == nullptr) {
        return;
    }
    std::int32_t& flags = Finder->Folders[std::size_t(row)].Flags;
    const auto bit = std::uint8_t(column); // column 0 is bit 0, column 1 bit 1
    flags = item->checkState() == Qt::Checked ? SetBit(flags, bit) : ClearBit(flags, bit);
}

void TMainForm::ScanSubFoldersClick()
{
    AppSettings.Recurse = ui->ScanSubFolders->isChecked();
}

void TMainForm::CompareMethodChange()
{
    const int method = ui->CompareMethod->currentIndex();
    AppSettings.FindMode = std::uint8_t(std::max(method, 0));
    ui->SimilaritySpinEdit->setEnabled(method == 1 || method == 2);
    // Size and path rules make no sense for equal files: the older date rule takes over.
    const int rule = AppSettings.AutoCheckType;
    if (method == 0 && rule != 0 && rule != 3 && rule != 4 && rule != 5 && rule != 6) {
        AppSettings.AutoCheckType = 3;
        ui->AutoCheckCombo->setCurrentIndex(3);
        ui->AutoCheckCombo->setToolTip(ui->AutoCheckCombo->currentText());
        ui->DateType->setVisible(true);
    }
    ui->DoNotCompareExt->setEnabled(method == 2);
    if (method != 2) {
        ui->DoNotCompareExt->setChecked(false);
    }
}

void TMainForm::SimilaritySpinEditChange()
{
    AppSettings.Similarity = float(ui->SimilaritySpinEdit->value());
}

void TMainForm::ScanEqualExtOnlyClick()
{
    AppSettings.ScanEqualExtOnly = ui->ScanEqualExtOnly->isChecked();
}

void TMainForm::DoNotCompareExtClick()
{
    AppSettings.DoNotCompareExt = ui->DoNotCompareExt->isChecked();
}

void TMainForm::AfterScanChange()
{
    AppSettings.AfterScan = std::uint8_t(std::max(ui->AfterScan->currentIndex(), 0));
}

void TMainForm::FilterToolButtonClick()
{
    TFilter& filter = AppSettings.Filter;
    filter.EnableFilter = !filter.EnableFilter;
    ShowFilterState();
    if (filter.EnableFilter) {
        // Its Cancel switches the filter off again; Esc and the close box leave it on.
        TFilterForm::Execute(this);
    }
    ShowFilterState();
}

void TMainForm::ShowFilterState()
{
    const bool on = AppSettings.Filter.EnableFilter;
    FilterToolButton->setChecked(on);
    FilterToolButton->setText(
        on ? QStringLiteral("Filter is ON") : QStringLiteral("Filter is OFF"));
}
