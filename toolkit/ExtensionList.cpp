#include "toolkit/ExtensionList.h"

#include "engine/Filter.h"
#include "engine/ZYUtils.h"

#include <QKeyEvent>

TExtCheckListBox::TExtCheckListBox(QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void TExtCheckListBox::SetExtensions(
    const std::string& text, const std::vector<std::string>& checked)
{
    clear();
    std::vector<std::string> items;
    SplitDelimitedText(items, text, '|');
    for (const std::string& item : items) {
        AppendItem(QString::fromStdString(item), ListHoldsText(checked, item));
    }
}

void TExtCheckListBox::SetExtensions(const std::string& text)
{
    std::vector<std::string> items;
    SplitDelimitedText(items, text, '|');
    SetExtensions(text, items);
}

std::string TExtCheckListBox::CheckedText() const
{
    std::string text;
    for (int row = 0; row < count(); ++row) {
        const QListWidgetItem* entry = item(row);
        if (entry->checkState() != Qt::Checked) {
            continue;
        }
        if (!text.empty()) {
            text += '|';
        }
        text += entry->text().toStdString();
    }
    return text;
}

std::vector<std::string> TExtCheckListBox::Extensions() const
{
    std::vector<std::string> patterns;
    for (int row = 0; row < count(); ++row) {
        patterns.push_back(item(row)->text().toStdString());
    }
    return patterns;
}

bool TExtCheckListBox::AddExtension(const QString& text)
{
    const QString pattern = text.trimmed();
    if (pattern.size() < 3 || !pattern.startsWith(QStringLiteral("*.")) ||
        pattern.contains(QLatin1Char('|'))) {
        return false;
    }
    for (int row = 0; row < count(); ++row) {
        if (item(row)->text().compare(pattern, Qt::CaseInsensitive) == 0) {
            return false;
        }
    }
    AppendItem(pattern, true);
    return true;
}

void TExtCheckListBox::DeleteSelected()
{
    const QList<QListWidgetItem*> selected = selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    delete takeItem(row(selected.first()));
}

void TExtCheckListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete) {
        DeleteSelected();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TExtCheckListBox::AppendItem(const QString& pattern, bool checked)
{
    auto* entry = new QListWidgetItem(pattern, this);
    entry->setFlags(entry->flags() | Qt::ItemIsUserCheckable);
    entry->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}
