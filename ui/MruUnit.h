#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QAction;

// The tag of every menu item the recent-files list makes (entries and separators); the list
// knows its own items by it.
inline constexpr int MruItemTag = 0xBAD1DEA;

// The value of a slot of the store: "MRU" followed by the slot number (1-based).
std::string MruValueName(int slot);
// The caption of entry k (1-based): "&k  text", the digit being the item's access key, with
// every "&" of the text doubled so it is shown and never read as an access key.
QString MruCaption(int k, const std::string& text);

// A short list of recently used files, most recent first, kept in the registry store and shown
// as numbered items in a menu (the "Reopen" submenu).
//
// Store: under the key RegPath (a full key path), string values "MRU1" to "MRU<MaxFiles>",
// slot k holding entry k and later slots the empty string. Loading stops at the first slot
// that does not exist and skips blank ones. Paths compare exactly (letter case counts).
//
// A chosen entry whose file exists moves to the top and is handed to OnMenuClick; one whose
// file has gone is handed to OnFileNotExist (or reported in a box) and removed. The sender
// both events receive is the list itself: the chosen menu item is rebuilt away at once. Old
// items are deleted later (never inside their own click). Runs on the main thread.
class TMostRecentFiles : public QObject {
    Q_OBJECT

public:
    using TMRUMenuEvent = std::function<void(QObject* sender, const std::string& fileName)>;

    explicit TMostRecentFiles(QObject* owner = nullptr);
    // Saves the list when RegPath is set and the list changed since it was last loaded or
    // saved; a failure is ignored here.
    ~TMostRecentFiles() override;

    unsigned MaxFiles() const { return FMaxFiles; }
    // 0 gives 1, more than 8 gives 8; the list itself is cut at the next AddFile.
    void SetMaxFiles(unsigned maxFiles);
    bool ShowFullPath() const { return FShowFullPath; }
    void SetShowFullPath(bool showFullPath);
    QMenu* OwnerMenuItem() const { return FOwnerMenuItem; }
    void SetOwnerMenuItem(QMenu* menu);
    QMenu* OwnerMenu() const { return FOwnerMenu; }
    void SetOwnerMenu(QMenu* menu);
    unsigned MenuPosition() const { return FMenuPosition; }
    void SetMenuPosition(unsigned position);
    const std::string& RegPath() const { return FRegPath; }
    // Stores the key and, when it is not blank, loads the list from it.
    void SetRegPath(const std::string& regPath);
    const std::vector<std::string>& FileList() const { return FFileList; }

    TMRUMenuEvent OnMenuClick;
    TMRUMenuEvent OnFileNotExist;
    bool RemoveMissingFiles = false;

    // Puts the file at the top (nothing when it is already there or there is no menu).
    void AddFile(const std::string& fileName);
    void LoadFromRegistry();
    // Writes every slot in one change of the store. False when it could not be written.
    bool SaveToRegistry();
    void RebuildMenu();
    // The click on an item of the menu.
    void MenuItemClick(QAction* item);

private:
    QAction* InsertItem(QMenu* menu, int position, const QString& caption, bool separator);

    unsigned FMaxFiles = 4;
    bool FShowFullPath = false;
    QPointer<QMenu> FOwnerMenuItem;
    QPointer<QMenu> FOwnerMenu;
    unsigned FMenuPosition = 0;
    std::string FRegPath;
    std::vector<std::string> FFileList;
    std::vector<std::string> FStoredList;
};
