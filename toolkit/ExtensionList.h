#pragma once

#include <QListWidget>
#include <QString>

#include <string>
#include <vector>

// The extension check-list of the exclusion, quick-check and filter dialogs: one item per
// extension pattern ("*.ext"), each with a check box. The dialogs fill it from a setting's
// "|"-separated text, let the user add patterns and delete the selected one with Del, and
// store the checked patterns back as one text. Main thread only.
class TExtCheckListBox : public QListWidget {
    Q_OBJECT

public:
    explicit TExtCheckListBox(QWidget* parent = nullptr);

    // Replaces the items with the patterns of the "|"-separated text, in order; an item is
    // checked when the list holds it, letter case ignored.
    void SetExtensions(const std::string& text, const std::vector<std::string>& checked);
    // The same with every item checked.
    void SetExtensions(const std::string& text);
    // The checked patterns in list order, joined by "|" (empty when none is checked).
    std::string CheckedText() const;
    // Every pattern in list order, checked or not.
    std::vector<std::string> Extensions() const;

    // The Add rule: the text without its leading and trailing blanks is appended, checked,
    // when it is at least three characters long, begins with "*.", holds no "|" (the items
    // are stored joined by "|") and is not listed yet, letter case ignored. True when it was
    // added; anything else is ignored without a message.
    bool AddExtension(const QString& text);

    // Deletes the selected item; nothing when none is selected.
    void DeleteSelected();

protected:
    // Del deletes the selected item.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void AppendItem(const QString& pattern, bool checked);
};
