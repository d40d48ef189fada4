#include "ui/BrowseForFolderUnit.h"

#include "ui_BrowseForFolderUnit.h"

#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYUtils.h"
#include "toolkit/FolderCheckModel.h"
#include "toolkit/FolderListBox.h"
#include "toolkit/FormPlacement.h"
#include "ui/SizeGrip.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

const std::string PlacementSection = "BrowseForm";
const std::string PlacementValue = "BrowseForFoldersForm";

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// Byte order in which "/" comes before every other character: paths then sort by their
// components, and each folder is followed directly by the folders inside it.
bool ComponentLess(const std::string& a, const std::string& b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] == b[i]) {
            continue;
        }
        if (a[i] == '/') {
            return true;
        }
        if (b[i] == '/') {
            return false;
        }
        return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    }
    return a.size() < b.size();
}

// Without regard to letter case first, then exactly, so two folders that differ only in case
// keep a fixed order.
bool ResultLess(const std::string& a, const std::string& b)
{
    const int folded =
        QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

} // namespace

std::vector<std::string> ReduceCheckedFolders(std::vector<std::string> folders)
{
    std::vector<std::string> existing;
    for (std::string& folder : folders) {
        if (!folder.empty() && QFileInfo(QString::fromStdString(folder)).isDir()) {
            existing.push_back(WithoutTrailingSlash(std::move(folder)));
        }
    }
    std::sort(existing.begin(), existing.end(), ComponentLess);
    std::vector<std::string> kept;
    for (std::string& folder : existing) {
        if (!kept.empty() && PathStartsWith(folder, kept.back())) {
            continue;
        }
        kept.push_back(std::move(folder));
    }
    std::sort(kept.begin(), kept.end(), ResultLess);
    return kept;
}

TBrowseForFoldersForm::TBrowseForFoldersForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , FUi(std::make_unique<Ui::BrowseForFoldersForm>())
{
    FUi->setupUi(this);
    setSizeGripEnabled(false);
    new TSizeGrip(FUi->BottomPanel);

    FFolders = new QFileSystemModel(this);
    FFolders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    FFolders->setReadOnly(true);
    FFolders->setRootPath(QStringLiteral("/"));
    FProxy = new TFolderCheckProxy(FFolders, this);
    // The desktop's trash is no folder to scan.
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        QStringLiteral("/Trash");
    FProxy->SetHiddenFolders({trash});
    FUi->VET->setModel(FProxy);
    FUi->VET->setSelectionMode(QAbstractItemView::SingleSelection);

    connect(FFolders, &QFileSystemModel::directoryLoaded, this, [this](const QString& folder) {
        if (!FKeepInView.empty() && PathStartsWith(FKeepInView, folder.toStdString())) {
            FUi->VET->scrollTo(FProxy->IndexOf(FKeepInView), QAbstractItemView::PositionAtCenter);
        }
    });
    connect(FProxy, &TFolderCheckProxy::CheckChanged, this, &TBrowseForFoldersForm::VETChecked);
    connect(FUi->VET->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &TBrowseForFoldersForm::VETChange);
    connect(FUi->OKButton, &QPushButton::clicked, this, &TBrowseForFoldersForm::OKButtonClick);
    connect(FUi->CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(FUi->GotoButton, &QPushButton::clicked, this, &TBrowseForFoldersForm::GoToTypedFolder);

    // The form sees Enter before any control; the edit selects its text when entered.
    installEventFilter(this);
    for (QWidget* control : findChildren<QWidget*>()) {
        control->installEventFilter(this);
    }

    RestoreFormPlacement(*this, PlacementSection, PlacementValue);
    SelectFolder(QDir::homePath().toStdString());
    FUi->FolderEdit->setFocus();
}

TBrowseForFoldersForm::~TBrowseForFoldersForm() = default;

bool TBrowseForFoldersForm::Execute(
    QWidget* owner, const std::string& initialFolder, std::vector<std::string>& folders)
{
    TBrowseForFoldersForm form(owner);
    form.SelectFolder(initialFolder);
    if (ExecDialog(&form) != QDialog::Accepted) {
        return false;
    }
    folders = form.SelectedFolders();
    return true;
}

void TBrowseForFoldersForm::SetSingleFolder(const QString& title)
{
    FProxy->SetCheckable(false);
    setWindowTitle(title);
    FUi->TopLabel->setText(title);
}

void TBrowseForFoldersForm::SetRootFolder(const std::string& root)
{
    if (root.empty() || !QFileInfo(QString::fromStdString(root)).isDir()) {
        return;
    }
    const QModelIndex index = FProxy->IndexOf(
        QDir::cleanPath(QFileInfo(QString::fromStdString(root)).absoluteFilePath()).toStdString());
    if (!index.isValid()) {
        return;
    }
    FUi->VET->setRootIndex(index);
    if (!PathStartsWith(SelectedPath(), FProxy->PathOf(index))) {
        FUi->VET->selectionModel()->clearSelection();
    }
}

void TBrowseForFoldersForm::SelectFolder(const std::string& folder)
{
    if (folder.empty()) {
        return;
    }
    const QFileInfo info(QString::fromStdString(folder));
    if (!info.isDir()) {
        return;
    }
    const QModelIndex index =
        FProxy->IndexOf(QDir::cleanPath(info.absoluteFilePath()).toStdString());
    if (!index.isValid()) {
        return;
    }
    FUi->VET->setUpdatesEnabled(false);
    for (QModelIndex at = index; at.isValid(); at = at.parent()) {
        FUi->VET->expand(at);
    }
    FUi->VET->setCurrentIndex(index);
    FUi->VET->scrollTo(index, QAbstractItemView::PositionAtCenter);
    FKeepInView = FProxy->PathOf(index);
    FUi->VET->setUpdatesEnabled(true);
    FUi->VET->setFocus();
}

std::string TBrowseForFoldersForm::SelectedPath() const
{
    const QModelIndexList selected = FUi->VET->selectionModel()->selectedRows();
    return selected.isEmpty() ? std::string() : FProxy->PathOf(selected.first());
}

std::vector<std::string> TBrowseForFoldersForm::CheckedFolders() const
{
    const TFolderCheckProxy* proxy = FProxy;
    return FProxy->Store().CheckedFolders([proxy](const std::string& folder) {
        std::vector<std::string> shown;
        for (std::string& child : ListSubfolders(folder)) {
            if (!proxy->IsHidden(child)) {
                shown.push_back(std::move(child));
            }
        }
        return shown;
    });
}

void TBrowseForFoldersForm::VETChecked()
{
    FUi->OKButton->setEnabled(!CheckedFolders().empty() || !SelectedPath().empty());
}

void TBrowseForFoldersForm::VETChange()
{
    // The tree's selection also changes while its folders load and sort; a folder the user is
    // typing must not be replaced by it.
    QLineEdit* edit = FUi->FolderEdit;
    if (!(edit->hasFocus() && edit->isModified())) {
        edit->setText(QString::fromStdString(SelectedPath()));
    }
    // A folder selected now can be taken, whatever the check marks say.
    if (!SelectedPath().empty()) {
        FUi->OKButton->setEnabled(true);
    }
}

void TBrowseForFoldersForm::OKButtonClick()
{
    FFolderList = ReduceCheckedFolders(CheckedFolders());
    if (!FFolderList.empty()) {
        accept();
        return;
    }
    const std::string selected = SelectedPath();
    if (!selected.empty()) {
        FFolderList.push_back(selected);
        accept();
        return;
    }
    ShowErrorMessage("Please check or select at least one folder that you want to add.", this);
}

void TBrowseForFoldersForm::GoToTypedFolder()
{
    const QString typed = FUi->FolderEdit->text();
    if (typed.trimmed().isEmpty()) {
        return;
    }
    if (!QFileInfo(typed).isDir()) {
        ShowErrorMessage("Folder doesn't exist!", this);
        return;
    }
    SelectFolder(typed.toStdString());
}

void TBrowseForFoldersForm::done(int result)
{
    StoreFormPlacement(*this, PlacementSection, PlacementValue);
    QDialog::done(result);
}

bool TBrowseForFoldersForm::eventFilter(QObject* watched, QEvent* event)
{
    const bool inTree = watched == FUi->VET || watched == FUi->VET->viewport();
    if (inTree &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel ||
            event->type() == QEvent::KeyPress)) {
        FKeepInView.clear();
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            GoToTypedFolder();
            return true;
        }
    } else if (event->type() == QEvent::FocusIn && watched == FUi->FolderEdit) {
        // After the focus change, or the click that focused the edit would undo it.
        QTimer::singleShot(0, FUi->FolderEdit, &QLineEdit::selectAll);
    }
    return QDialog::eventFilter(watched, event);
}

std::string TPickerQuestions::BrowseForFolder(
    const std::string& title, const std::string& root, const std::string& initial)
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || QThread::currentThread() != app->thread()) {
        return TWidgetQuestions::BrowseForFolder(title, root, initial);
    }
    TBrowseForFoldersForm form(MainWindow());
    form.SetSingleFolder(QString::fromStdString(title));
    form.SetRootFolder(root);
    if (!root.empty() && !PathStartsWith(initial, root)) {
        form.SelectFolder(root);
    } else {
        form.SelectFolder(initial);
    }
    if (ExecDialog(&form) != QDialog::Accepted || form.SelectedFolders().empty()) {
        return {};
    }
    const std::string& folder = form.SelectedFolders().front();
    return folder.ends_with('/') ? folder : folder + '/';
}

bool AddFoldersFromPicker(QWidget* dialog, TFolderListBox& list, TSettings& settings)
{
    std::string start;
    const QListWidgetItem* current = list.currentItem();
    if (current != nullptr && current->isSelected()) {
        start = current->text().toStdString();
    }
    if (!settings.LastFolder.empty() &&
        QFileInfo(QString::fromStdString(settings.LastFolder)).isDir()) {
        start = settings.LastFolder;
    }
    std::vector<std::string> chosen;
    if (!TBrowseForFoldersForm::Execute(dialog, start, chosen)) {
        return false;
    }
    std::string last;
    for (const std::string& folder : chosen) {
        if (folder.empty()) {
            continue;
        }
        last = folder.back() == '/' ? folder : folder + '/';
        list.AddFolder(last);
    }
    if (last.empty()) {
        last = start;
    }
    if (!last.empty()) {
        settings.LastFolder = last;
    }
    return true;
}
