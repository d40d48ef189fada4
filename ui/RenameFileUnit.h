#pragma once

#include <QDialog>

#include <string>

class QLineEdit;
class QPushButton;

// The rename dialog of the results grid: the file's old name and extension (read-only) above
// the new ones. OK renames the file on disk and closes the dialog with QDialog::Accepted; a
// name that cannot be used, or a rename that fails, is explained in an error box and the
// dialog stays open. Cancel (or Esc) closes it with QDialog::Rejected, as does OK when nothing
// was changed.
//
// Use: SetFile with the file's full path, run it through ExecDialog, then read NewPath. A
// rename never replaces an existing file. Main thread only.
class TRenameFileForm : public QDialog {
    Q_OBJECT

public:
    explicit TRenameFileForm(QWidget* parent = nullptr);

    // Fills the fields from the full path: FileFolder, and the name split at its last "." (a
    // name whose only "." comes first has no extension) into the name and the extension with
    // its dot, both as the old and the new name.
    void SetFile(const std::string& path);
    // The full path the file has after an accepted rename: FileFolder, new name, new extension.
    std::string NewPath() const;
    std::string OldPath() const;

    // Why the name cannot be used for a file, or "" when it can: empty, "." or "..", or
    // holding "/" or a NUL character.
    static std::string InvalidNameReason(const std::string& name);

    // OK: checks the new name and renames the file.
    void OKButtonClick();

    // The folder of the file, ending with "/".
    std::string FileFolder;

    QLineEdit* OldFileName;
    QLineEdit* OldExt;
    QLineEdit* NewFileName;
    QLineEdit* NewExt;
    QPushButton* OKButton;
    QPushButton* CancelButton;

protected:
    void showEvent(QShowEvent* event) override;
};
