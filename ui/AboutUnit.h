#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class AboutForm;
}

// The About box: the program's icon, its title and the maker's rights notice. "Close" or Esc
// closes it.
class TAboutForm : public QDialog {
    Q_OBJECT

public:
    explicit TAboutForm(QWidget* owner = nullptr);
    ~TAboutForm() override;

    // The Help menu's About command: shows the box over the owner through the program's
    // questions (ExecDialog).
    static void Execute(QWidget* owner);

    // The text of the box: the product title, the system it is for, an empty line and the
    // rights notice.
    static QString InfoText();

private:
    std::unique_ptr<Ui::AboutForm> FUi;
};
