#pragma once

#include <QDialog>

#include <string>

class QLineEdit;

// A read-only window of one file's properties, for desktops whose file manager shows none:
// name, folder, size, the three times, permissions and owner, each in a field that can be
// selected and copied. A file that cannot be looked up shows its name, folder and why.
class TFilePropertiesForm : public QDialog {
    Q_OBJECT

public:
    explicit TFilePropertiesForm(QWidget* parent = nullptr);

    // Reads the file's properties now and shows them.
    void SetFile(const std::string& path);

    // The field of a property by its object name ("NameEdit", "FolderEdit", "SizeEdit",
    // "CreatedEdit", "ModifiedEdit", "AccessedEdit", "PermissionsEdit", "OwnerEdit").
    QString FieldText(const char* objectName) const;
};

// Shows the file's properties window over owner through the program's questions (ExecDialog).
void ShowFilePropertiesForm(const std::string& path, QWidget* owner);
