#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class ResultForm;
}

// The summary shown when a scan has finished: a read-only, scrollable text above an "OK"
// button that stays centred. Caption "Scan Finished"; Esc closes it as OK does.
class TResultForm : public QDialog {
    Q_OBJECT

public:
    explicit TResultForm(QWidget* owner = nullptr);
    ~TResultForm() override;

    // The text of the summary; lines end with LF.
    void SetText(const QString& text);
    QString Text() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Centres the OK button.
    void FormResize();

    std::unique_ptr<Ui::ResultForm> FUi;
};
