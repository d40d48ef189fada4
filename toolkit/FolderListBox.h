#pragma once

#include <QListWidget>
#include <QString>

#include <string>
#include <vector>

// The folder list of the quick-check and filter dialogs: one folder per item, each ending in
// "/", several of them selectable. Folders compare exactly and by whole path ("/x/Photos" and
// "/x/photos" are two folders). An item too long for the list shows in full as its tool tip.
// Main thread only.
class TFolderListBox : public QListWidget {
    Q_OBJECT

public:
    explicit TFolderListBox(QWidget* parent = nullptr);

    // Replaces the items with the folders, in order, each given a trailing "/".
    void SetFolders(const std::vector<std::string>& folders);
    std::vector<std::string> Folders() const;

    // Appends the folder with a trailing "/" unless the list holds it already (SamePath).
    // An empty path is never added. True when it was added.
    bool AddFolder(const std::string& folder);

    // Deletes every selected item, then selects the item now at the position of the topmost
    // deleted one, or the new last item when that position lies past the end; nothing is
    // selected when the list became empty. Nothing happens when no item is selected.
    void RemoveSelected();

    // The tool tip at a point of the list's viewport: the text of the item there when it is
    // wider than the viewport, else the empty text.
    QString ToolTipAt(const QPoint& viewportPosition) const;

protected:
    // Del removes the selected folders.
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
};
