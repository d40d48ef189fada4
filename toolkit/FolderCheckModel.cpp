#include "toolkit/FolderCheckModel.h"

#include <QDir>
#include <QFileSystemModel>

#include <algorithm>

namespace {

// What every folder strictly below the folder begins with.
std::string BelowPrefix(const std::string& folder)
{
    return folder == "/" ? folder : folder + '/';
}

// The parent of a stored path; empty for the root and for a path without "/".
std::string ParentOf(const std::string& folder)
{
    if (folder == "/") {
        return {};
    }
    const std::size_t slash = folder.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : folder.substr(0, slash);
}

} // namespace

// ---- TFolderCheckStore -----------------------------------------------------------------------

std::string TFolderCheckStore::Normalized(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

void TFolderCheckStore::SetChecked(const std::string& folder, bool checked)
{
    const std::string path = Normalized(folder);
    if (path.empty()) {
        return;
    }
    FMarks.erase(BelowBegin(path), BelowEnd(path));
    FMarks.erase(path);
    const std::string parent = ParentOf(path);
    const bool inherited = !parent.empty() && InheritedState(parent);
    if (checked != inherited) {
        FMarks[path] = checked;
    }
}

TFolderCheckStore::TCheckState TFolderCheckStore::StateOf(const std::string& folder) const
{
    const std::string path = Normalized(folder);
    // Marks are kept only where they differ from what their folder inherits, so any mark
    // below differs from this folder's state somewhere in its subtree.
    if (HasMarksBelow(path)) {
        return csMixed;
    }
    return InheritedState(path) ? csChecked : csUnchecked;
}

std::vector<std::string> TFolderCheckStore::CheckedFolders(const TSubfolderLister& subfolders) const
{
    std::vector<std::string> result;
    for (const auto& [path, checked] : FMarks) {
        // Every checked mark starts a checked region: its parent is unchecked.
        if (checked) {
            Expand(path, subfolders, result);
        }
    }
    return result;
}

bool TFolderCheckStore::InheritedState(const std::string& folder) const
{
    for (std::string path = folder; !path.empty(); path = ParentOf(path)) {
        const auto found = FMarks.find(path);
        if (found != FMarks.end()) {
            return found->second;
        }
    }
    return false;
}

std::map<std::string, bool>::const_iterator TFolderCheckStore::BelowBegin(
    const std::string& folder) const
{
    return FMarks.lower_bound(BelowPrefix(folder));
}

std::map<std::string, bool>::const_iterator TFolderCheckStore::BelowEnd(
    const std::string& folder) const
{
    const std::string prefix = BelowPrefix(folder);
    auto it = FMarks.lower_bound(prefix);
    while (it != FMarks.end() && it->first.starts_with(prefix)) {
        ++it;
    }
    return it;
}

bool TFolderCheckStore::HasMarksBelow(const std::string& folder) const
{
    return BelowBegin(folder) != BelowEnd(folder);
}

void TFolderCheckStore::Expand(const std::string& folder, const TSubfolderLister& subfolders,
    std::vector<std::string>& result) const
{
    if (!HasMarksBelow(folder)) {
        result.push_back(folder);
        return;
    }
    // Mixed: something below is unchecked. Every subfolder that is not itself unchecked is
    // checked or mixed in turn; checked marks below an unchecked one start regions of their
    // own, which CheckedFolders visits.
    for (const std::string& child : subfolders(folder)) {
        const std::string path = Normalized(child);
        const auto found = FMarks.find(path);
        if (found != FMarks.end() && !found->second) {
            continue;
        }
        Expand(path, subfolders, result);
    }
}

std::vector<std::string> ListSubfolders(const std::string& folder)
{
    const QDir dir(QString::fromStdString(folder));
    const QStringList names = dir.entryList(
        QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Unsorted);
    std::vector<std::string> paths;
    const std::string prefix = folder.ends_with('/') ? folder : folder + '/';
    for (const QString& name : names) {
        paths.push_back(prefix + name.toStdString());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// ---- TFolderCheckProxy -----------------------------------------------------------------------

TFolderCheckProxy::TFolderCheckProxy(QFileSystemModel* folders, QObject* parent)
    : QSortFilterProxyModel(parent)
    , FFolders(folders)
{
    setSourceModel(folders);
}

std::string TFolderCheckProxy::PathOf(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return {};
    }
    return FFolders->filePath(mapToSource(index)).toStdString();
}

QModelIndex TFolderCheckProxy::IndexOf(const std::string& folder) const
{
    return mapFromSource(FFolders->index(QString::fromStdString(folder)));
}

void TFolderCheckProxy::SetHiddenFolders(const QSet<QString>& folders)
{
    FHidden = folders;
    invalidateRowsFilter();
}

bool TFolderCheckProxy::IsHidden(const std::string& folder) const
{
    return FHidden.contains(QString::fromStdString(TFolderCheckStore::Normalized(folder)));
}

void TFolderCheckProxy::SetCheckable(bool checkable)
{
    // Only flags and check states change: the views repaint every row.
    Q_EMIT layoutAboutToBeChanged();
    FCheckable = checkable;
    Q_EMIT layoutChanged();
}

Qt::ItemFlags TFolderCheckProxy::flags(const QModelIndex& index) const
{
    Qt::ItemFlags result = QSortFilterProxyModel::flags(index);
    if (index.isValid()) {
        if (FCheckable) {
            result |= Qt::ItemIsUserCheckable;
        }
        // Read-only: no renaming, no dragging.
        result &= ~(Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
    }
    return result;
}

QVariant TFolderCheckProxy::data(const QModelIndex& index, int role) const
{
    if (role == Qt::CheckStateRole) {
        if (!FCheckable || !index.isValid()) {
            return {};
        }
        switch (FStore.StateOf(PathOf(index))) {
        case TFolderCheckStore::csChecked:
            return Qt::Checked;
        case TFolderCheckStore::csMixed:
            return Qt::PartiallyChecked;
        case TFolderCheckStore::csUnchecked:
            return Qt::Unchecked;
        }
    }
    return QSortFilterProxyModel::data(index, role);
}

bool TFolderCheckProxy::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || !FCheckable) {
        return false;
    }
    const auto state = Qt::CheckState(value.toInt());
    FStore.SetChecked(PathOf(index), state == Qt::Checked);
    for (QModelIndex at = index; at.isValid(); at = at.parent()) {
        Q_EMIT dataChanged(at, at, {Qt::CheckStateRole});
    }
    RepaintBelow(index);
    Q_EMIT CheckChanged();
    return true;
}

bool TFolderCheckProxy::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (FHidden.isEmpty()) {
        return true;
    }
    const QModelIndex source = FFolders->index(sourceRow, 0, sourceParent);
    return !FHidden.contains(FFolders->filePath(source));
}

bool TFolderCheckProxy::filterAcceptsColumn(int sourceColumn, const QModelIndex&) const
{
    return sourceColumn == 0;
}

void TFolderCheckProxy::RepaintBelow(const QModelIndex& index)
{
    // Only loaded folders have rows; the others ask the store when they load.
    const int rows = rowCount(index);
    if (rows == 0) {
        return;
    }
    Q_EMIT dataChanged(
        this->index(0, 0, index), this->index(rows - 1, 0, index), {Qt::CheckStateRole});
    for (int row = 0; row < rows; ++row) {
        RepaintBelow(this->index(row, 0, index));
    }
}
