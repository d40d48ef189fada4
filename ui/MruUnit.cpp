#include "ui/MruUnit.h"

#include "engine/Questions.h"
#include "engine/ZYGlobals.h"
#include "engine/ZYUtils.h"
#include "platform/RegistryStore.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QWidget>

#include <sys/stat.h>

#include <algorithm>

namespace {

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A file of that name exists (links followed).
bool FileExists(const std::string& name)
{
    struct stat info { };
    return !name.empty() && ::stat(name.c_str(), &info) == 0;
}

bool IsOwnItem(const QAction* action)
{
    return action->data().toInt() == MruItemTag;
}

std::string FileNamePart(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string MruValueName(int slot)
{
    return "MRU" + std::to_string(slot);
}

QString MruCaption(int k, const std::string& text)
{
    QString shown = QString::fromUtf8(text);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1  %2").arg(k).arg(shown);
}

TMostRecentFiles::TMostRecentFiles(QObject* owner)
    : QObject(owner)
{ }

TMostRecentFiles::~TMostRecentFiles()
{
    if (!Trimmed(FRegPath).empty() && FFileList != FStoredList) {
        SaveToRegistry();
    }
}

void TMostRecentFiles::SetMaxFiles(unsigned maxFiles)
{
    if (maxFiles == FMaxFiles) {
        return;
    }
    FMaxFiles = maxFiles == 0 ? 1 : std::min(maxFiles, 8u);
    RebuildMenu();
}

void TMostRecentFiles::SetShowFullPath(bool showFullPath)
{
    if (showFullPath != FShowFullPath) {
        FShowFullPath = showFullPath;
        RebuildMenu();
    }
}

void TMostRecentFiles::SetOwnerMenuItem(QMenu* menu)
{
    FOwnerMenuItem = menu;
    RebuildMenu();
}

void TMostRecentFiles::SetOwnerMenu(QMenu* menu)
{
    FOwnerMenu = menu;
    RebuildMenu();
}

void TMostRecentFiles::SetMenuPosition(unsigned position)
{
    FMenuPosition = position;
}

void TMostRecentFiles::SetRegPath(const std::string& regPath)
{
    FRegPath = regPath;
    if (!Trimmed(regPath).empty()) {
        LoadFromRegistry();
    }
}

void TMostRecentFiles::LoadFromRegistry()
{
    FFileList.clear();
    platform::TRegistryStore& store = platform::RegistryStore();
    for (unsigned k = 1; k <= FMaxFiles; ++k) {
        platform::TRegValue value;
        if (store.ReadValue(FRegPath, MruValueName(int(k)), value)) {
            break; // an absent slot ends the list
        }
        if (value.Type != platform::rtString && value.Type != platform::rtExpandString) {
            continue;
        }
        const std::string name = value.Data.substr(0, value.Data.find('\0'));
        if (Trimmed(name).empty() || (RemoveMissingFiles && !FileExists(name))) {
            continue;
        }
        FFileList.push_back(name);
    }
    FStoredList = FFileList;
    RebuildMenu();
}

bool TMostRecentFiles::SaveToRegistry()
{
    platform::TRegistryBatch batch;
    batch.CreateKey(FRegPath);
    for (unsigned k = 1; k <= FMaxFiles; ++k) {
        const std::string entry = k <= FFileList.size() ? FFileList[k - 1] : std::string();
        batch.WriteValue(FRegPath, MruValueName(int(k)), platform::TRegValue::String(entry));
    }
    if (platform::RegistryStore().Apply(batch)) {
        return false;
    }
    FStoredList = FFileList;
    return true;
}

QAction* TMostRecentFiles::InsertItem(
    QMenu* menu, int position, const QString& caption, bool separator)
{
    auto* item = new QAction(menu);
    if (separator) {
        item->setSeparator(true);
    } else {
        item->setText(caption);
        connect(item, &QAction::triggered, this, [this, item] { MenuItemClick(item); });
    }
    item->setData(MruItemTag);
    const QList<QAction*> items = menu->actions();
    menu->insertAction(position < items.size() ? items[position] : nullptr, item);
    return item;
}

void TMostRecentFiles::RebuildMenu()
{
    if (!FOwnerMenuItem) {
        return;
    }
    // Old items go later: one of them may be the item whose click is being handled.
    const QList<QAction*> items = FOwnerMenuItem->actions();
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if (IsOwnItem(*it)) {
            FOwnerMenuItem->removeAction(*it);
            (*it)->deleteLater();
        }
    }
    if (FOwnerMenu) {
        for (QAction* item : FOwnerMenu->actions()) {
            FOwnerMenu->removeAction(item);
            if (IsOwnItem(item)) {
                item->deleteLater();
            }
        }
    }
    if (FFileList.empty()) {
        return;
    }
    const int count = int(FOwnerMenuItem->actions().size());
    int p = int(FMenuPosition) < count ? int(FMenuPosition) : count;
    auto insert = [&](const QString& caption, bool separator) {
        InsertItem(FOwnerMenuItem, p, caption, separator);
        if (FOwnerMenu) {
            InsertItem(FOwnerMenu, p, caption, separator);
        }
        ++p;
    };
    if (p > 0 && !FOwnerMenuItem->actions().at(p - 1)->isSeparator()) {
        insert(QString(), true);
    }
    for (std::size_t k = 0; k < FFileList.size(); ++k) {
        const std::string& entry = FFileList[k];
        insert(MruCaption(int(k) + 1, FShowFullPath ? entry : FileNamePart(entry)), false);
    }
    const QList<QAction*> after = FOwnerMenuItem->actions();
    if (p < after.size() && !after.at(p)->isSeparator()) {
        InsertItem(FOwnerMenuItem, p, QString(), true);
        if (FOwnerMenu) {
            InsertItem(FOwnerMenu, p, QString(), true);
        }
    }
}

void TMostRecentFiles::AddFile(const std::string& fileName)
{
    if (!FOwnerMenuItem) {
        return;
    }
    const auto found = std::find_if(FFileList.begin(), FFileList.end(),
        [&](const std::string& entry) { return SamePath(entry, fileName); });
    if (found == FFileList.begin() && found != FFileList.end()) {
        return;
    }
    if (found != FFileList.end()) {
        FFileList.erase(found);
    }
    FFileList.insert(FFileList.begin(), fileName);
    while (FFileList.size() > FMaxFiles) {
        FFileList.erase(FFileList.begin() + FMaxFiles);
    }
    RebuildMenu();
}

void TMostRecentFiles::MenuItemClick(QAction* item)
{
    if (item == nullptr || !OnMenuClick) {
        return;
    }
    QMenu* holder = nullptr;
    for (QMenu* menu : {FOwnerMenuItem.data(), FOwnerMenu.data()}) {
        if (menu != nullptr && menu->actions().contains(item)) {
            holder = menu;
        }
    }
    if (holder == nullptr) {
        return;
    }
    const QList<QAction*> items = holder->actions();
    const int i = int(items.indexOf(item));
    int first = int(items.size());
    for (int k = 0; k < int(items.size()); ++k) {
        if (IsOwnItem(items[k])) {
            first = k;
            break;
        }
    }
    if (first == int(items.size())) {
        return;
    }
    if (items[first]->isSeparator()) {
        ++first;
    }
    const int k = i - first;
    if (k < 0 || k >= int(FFileList.size())) {
        return;
    }
    const std::string name = FFileList[std::size_t(k)];
    if (FileExists(name)) {
        if (k > 0) {
            FFileList.erase(FFileList.begin() + k);
            FFileList.insert(FFileList.begin(), name);
            RebuildMenu();
        }
        OnMenuClick(this, name);
        return;
    }
    if (OnFileNotExist) {
        OnFileNotExist(this, name);
    } else {
        // A plain information box, run through the program's seam for modal windows.
        auto* owner = qobject_cast<QWidget*>(parent());
        QMessageBox box(QMessageBox::Information, QString::fromStdString(ProductTitle),
            QStringLiteral("The file ...\n\"%1\"\nno longer exists.").arg(QString::fromUtf8(name)),
            QMessageBox::Ok, owner != nullptr ? owner->window() : nullptr);
        box.setObjectName(QStringLiteral("MruFileNotExist"));
        box.setTextFormat(Qt::PlainText);
        ExecDialog(&box);
    }
    const auto entry = std::find(FFileList.begin(), FFileList.end(), name);
    if (entry != FFileList.end()) {
        FFileList.erase(entry);
    }
    RebuildMenu();
}
