#include "ui/ShutUnit.h"

#include "ui_ShutUnit.h"

#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/SystemServices.h"
#include "platform/Power.h"

#include <QPushButton>

#include <array>
#include <exception>

namespace {

constexpr std::array<const char*, 7> AfterScanActionNames = {
    "Display Results",
    "Save project and display results",
    "Save project and close application",
    "Save project and Logoff Computer",
    "Save project and Stand-by Computer",
    "Save project and Hibernate Computer",
    "Save project and Shutdown Computer",
};

// The line of the countdown for the action, with %d for the seconds.
const char* CountdownLine(std::uint8_t afterScan)
{
    switch (afterScan) {
    case 2:
        return "Program will close after %d sec...";
    case 3:
        return "System log off after %d sec...";
    case 4:
        return "System stand-by after %d sec...";
    case 5:
        return "System hibernate after %d sec...";
    case 6:
        return "System shut down after %d sec...";
    default:
        return "";
    }
}

} // namespace

std::string AfterScanActionName(std::uint8_t afterScan)
{
    return afterScan < AfterScanActionNames.size() ? AfterScanActionNames[afterScan] : "";
}

TShutForm::TShutForm(
    QWidget* owner, std::uint8_t afterScan, std::function<void()> beforeSessionEnds)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , ShutTimer(new QTimer(this))
    , FUi(std::make_unique<Ui::ShutForm>())
    , FAfterScan(afterScan)
    , FBeforeSessionEnds(std::move(beforeSessionEnds))
{
    FUi->setupUi(this);
    ShutTimer->setObjectName(QStringLiteral("ShutTimer"));
    ShutTimer->setInterval(1000);
    connect(ShutTimer, &QTimer::timeout, this, &TShutForm::ShutTimerTimer);
    connect(FUi->CancelButton, &QPushButton::clicked, this, &TShutForm::CancelButtonClick);
    FormCreate();
    ShutTimer->start();
    FUi->CancelButton->setFocus();
}

TShutForm::~TShutForm() = default;

int TShutForm::Execute(
    QWidget* owner, std::uint8_t afterScan, std::function<void()> beforeSessionEnds)
{
    TShutForm form(owner, afterScan, std::move(beforeSessionEnds));
    return ExecDialog(&form);
}

void TShutForm::FormCreate()
{
    SecondsLeft = 30;
    MessageTemplate = "You have set the 'After scan' option to \r\n'" +
        AfterScanActionName(FAfterScan) + "'\r\n\r\n" + CountdownLine(FAfterScan) +
        "\r\n\r\nPress Cancel button to abort.";
    ShowSecondsLeft();
}

QString TShutForm::LabelText() const
{
    return FUi->ShutLabel->text();
}

void TShutForm::ShowSecondsLeft()
{
    QString text = QString::fromStdString(MessageTemplate);
    text.replace(QStringLiteral("%d"), QString::number(SecondsLeft));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    FUi->ShutLabel->setText(text);
}

void TShutForm::ShutTimerTimer()
{
    if (SecondsLeft <= 0) {
        return;
    }
    --SecondsLeft;
    ShowSecondsLeft();
    if (SecondsLeft > 0) {
        return;
    }
    ShutTimer->stop();
    if (!AppSettings.CheckAfterScanAction(true)) {
        // Nothing happens; the countdown shows 0 until Cancel.
        return;
    }
    std::string errorText;
    if (!RunAction(errorText)) {
        ShowErrorMessage("The after scan action could not be carried out:\r\n" + errorText, this);
        done(QDialog::Rejected);
        return;
    }
    done(QDialog::Accepted);
}

bool TShutForm::RunAction(std::string& errorText)
{
    try {
        if ((FAfterScan == 3 || FAfterScan == 6) && FBeforeSessionEnds) {
            FBeforeSessionEnds();
        }
        platform::TPowerResult result {true, {}};
        switch (FAfterScan) {
        case 3:
            result.Succeeded = ExitWindowsWithPrivilege(0, &result.ErrorText);
            break;
        case 4:
            result = platform::PowerService().Suspend();
            break;
        case 5:
            result = platform::PowerService().Hibernate();
            break;
        case 6:
            result.Succeeded = ExitWindowsWithPrivilege(8, &result.ErrorText);
            break;
        default:
            break;
        }
        errorText = result.ErrorText;
        return result.Succeeded;
    } catch (const std::exception& error) {
        errorText = error.what();
        return false;
    }
}

void TShutForm::CancelButtonClick()
{
    ShutTimer->stop();
    done(QDialog::Rejected);
}

void TShutForm::reject()
{
    CancelButtonClick();
}
