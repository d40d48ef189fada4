#include "toolkit/FolderListBox.h"

#include "engine/ZYUtils.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>

TFolderListBox::TFolderListBox(QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void TFolderListBox::SetFolders(const std::vector<std::string>& folders)
{
    clear();
    for (const std::string& folder : folders) {
        AddFolder(folder);
    }
}

std::vector<std::string> TFolderListBox::Folders() const
{
    std::vector<std::string> folders;
    for (int row = 0; row < count(); ++row) {
        folders.push_back(item(row)->text().toStdString());
    }
    return folders;
}

bool TFolderListBox::AddFolder(const std::string& folder)
{
    if (folder.empty()) {
        return false;
    }
    const std::string path = folder.back() == '/' ? folder : folder + '/';
    for (int row = 0; row < count(); ++row) {
        if (SamePath(item(row)->text().toStdString(), path)) {
            return false;
        }
    }
    addItem(QString::fromStdString(path));
    return true;
}

void TFolderListBox::RemoveSelected()
{
    int next = -1;
    for (int row = count() - 1; row >= 0; --row) {
        if (!item(row)->isSelected()) {
            continue;
        }
        delete takeItem(row);
        next = row == count() ? row - 1 : row;
    }
    clearSelection();
    if (next >= 0 && next < count()) {
        setCurrentRow(next, QItemSelectionModel::ClearAndSelect);
    }
}

QString TFolderListBox::ToolTipAt(const QPoint& viewportPosition) const
{
    const QListWidgetItem* entry = itemAt(viewportPosition);
    if (entry == nullptr) {
        return {};
    }
    const int textWidth = QFontMetrics(font()).horizontalAdvance(entry->text());
    return textWidth > viewport()->width() ? entry->text() : QString();
}

void TFolderListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete) {
        RemoveSelected();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

bool TFolderListBox::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = ToolTipAt(help->pos());
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, viewport());
        }
        return true;
    }
    return QListWidget::viewportEvent(event);
}
