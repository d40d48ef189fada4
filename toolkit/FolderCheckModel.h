#pragma once

#include <QSet>
#include <QSortFilterProxyModel>
#include <QString>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QFileSystemModel;

// The check marks of a folder tree, kept by path rather than by tree node, so that they hold
// for folders the tree has not loaded yet: a folder without a mark of its own takes the mark
// of its nearest marked ancestor (none: unchecked). Checking or unchecking a folder drops the
// marks below it, so its whole subtree follows. A folder with a mark anywhere below it shows
// the mixed state. Paths compare exactly; "/" is the root. Main thread only.
class TFolderCheckStore {
public:
    enum TCheckState { csUnchecked, csChecked, csMixed };

    // The subfolders of a folder, as full paths (for CheckedFolders).
    using TSubfolderLister = std::function<std::vector<std::string>(const std::string& folder)>;

    void SetChecked(const std::string& folder, bool checked);
    TCheckState StateOf(const std::string& folder) const;
    // Whether no folder is checked or unchecked by a mark of its own.
    bool IsEmpty() const { return FMarks.empty(); }

    // The fully checked folders, each given once by its topmost folder: a checked folder
    // with nothing unchecked below it stands for its whole subtree; below a mixed folder the
    // lister gives the subfolders to look at. Folders are returned as stored (no trailing "/"
    // but on the root), in no particular order.
    std::vector<std::string> CheckedFolders(const TSubfolderLister& subfolders) const;

    // The path as the store keeps it: without trailing "/" (the root stays "/").
    static std::string Normalized(const std::string& folder);

private:
    // Whether the folder is checked by its own mark or its nearest marked ancestor's.
    bool InheritedState(const std::string& folder) const;
    // The range of marks strictly below the folder.
    std::map<std::string, bool>::const_iterator BelowBegin(const std::string& folder) const;
    std::map<std::string, bool>::const_iterator BelowEnd(const std::string& folder) const;
    bool HasMarksBelow(const std::string& folder) const;
    void Expand(const std::string& folder, const TSubfolderLister& subfolders,
        std::vector<std::string>& result) const;

    std::map<std::string, bool> FMarks;
};

// The subfolders of a folder on disk, hidden ones included, as full paths in byte order; an
// unreadable folder has none.
std::vector<std::string> ListSubfolders(const std::string& folder);

// A folder tree with check boxes: the folders of a QFileSystemModel (column 0 only) with the
// check marks of a TFolderCheckStore, tri-state. Setting a check state through the model
// (the view's click or Space) marks the folder in the store and repaints the folder, its
// ancestors and its loaded descendants. Folders named in HiddenFolders are left out.
class TFolderCheckProxy : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit TFolderCheckProxy(QFileSystemModel* folders, QObject* parent = nullptr);

    TFolderCheckStore& Store() { return FStore; }
    const TFolderCheckStore& Store() const { return FStore; }
    QFileSystemModel* Folders() const { return FFolders; }

    // The folder of an index of this model ("" for none).
    std::string PathOf(const QModelIndex& index) const;
    // The index of a folder, made known to the file-system model on the way.
    QModelIndex IndexOf(const std::string& folder) const;

    // Folders never shown (their subtrees neither), as full paths.
    void SetHiddenFolders(const QSet<QString>& folders);
    bool IsHidden(const std::string& folder) const;
    // Without check boxes the tree only offers its folders for selection (on by default).
    void SetCheckable(bool checkable);

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

Q_SIGNALS:
    // A check mark changed through setData.
    void CheckChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool filterAcceptsColumn(int sourceColumn, const QModelIndex& sourceParent) const override;

private:
    void RepaintBelow(const QModelIndex& index);

    QFileSystemModel* FFolders;
    TFolderCheckStore FStore;
    QSet<QString> FHidden;
    bool FCheckable = true;
};
