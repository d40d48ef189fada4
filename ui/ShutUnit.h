#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Ui {
class ShutForm;
}

// The names of the after-scan actions, by TSettings::AfterScan (the items of the main window's
// "After scan" box).
std::string AfterScanActionName(std::uint8_t afterScan);

// The countdown before the after-scan action: "Program will close after 30 sec..." and the
// like, one second less every second. At 0 the action is checked again (silently) and carried
// out: 2 nothing here (the main window closes itself after an OK), 3 the session ends, 4 stand
// by, 5 hibernate, 6 power off; the dialog then closes with OK. When the check refuses, the
// dialog stays at 0 until Cancel. When the action fails its reason is shown and the dialog
// closes with Cancel. Cancel, and Esc, stop the countdown and close it with Cancel. Caption
// "Warning"; no close box.
class TShutForm : public QDialog {
    Q_OBJECT

public:
    // afterScan: the action (2 to 6). beforeSessionEnds runs before the session is ended or
    // the machine powered off (the main window saves what its closing would save).
    TShutForm(QWidget* owner, std::uint8_t afterScan, std::function<void()> beforeSessionEnds);
    ~TShutForm() override;

    // Shows the countdown over the owner through the program's questions (ExecDialog) and
    // returns its result (QDialog::Accepted after the action, else QDialog::Rejected).
    static int Execute(
        QWidget* owner, std::uint8_t afterScan, std::function<void()> beforeSessionEnds);

    void FormCreate();
    // The once-a-second tick.
    void ShutTimerTimer();
    void CancelButtonClick();

    std::int32_t SecondsLeft = 30;
    // The message with one %d for the seconds; lines end with CR LF.
    std::string MessageTemplate;
    QTimer* ShutTimer = nullptr;

    // The message as shown now.
    QString LabelText() const;

protected:
    void reject() override;

private:
    void ShowSecondsLeft();
    // Carries out the action; false with the reason when it failed.
    bool RunAction(std::string& errorText);

    std::unique_ptr<Ui::ShutForm> FUi;
    std::uint8_t FAfterScan;
    std::function<void()> FBeforeSessionEnds;
};
