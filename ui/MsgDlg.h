#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

class QCheckBox;
class QProgressBar;
class QPushButton;

// A message box that lays itself out: an icon, a word-wrapped message, a centred row of
// buttons, and as options a don't-show-again box whose choice can be remembered (in an INI
// file or the registry store), a time-out with a countdown, a progress gauge along the bottom
// and a modeless mode. Each Execute builds a fresh window (TMessageForm); a modal window runs
// through the program's one seam for modal windows (ExecDialog of engine/Questions.h), so tests
// answer it like any other dialog. Everything here runs on the main thread.

enum TMsgDlgType : std::uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : std::uint8_t {
    mbYes,
    mbNo,
    mbOK,
    mbCancel,
    mbAbort,
    mbRetry,
    mbIgnore,
    mbAll,
    mbNoToAll,
    mbYesToAll,
    mbHelp,
    mbClose,
};
inline constexpr int MsgDlgButtonCount = 12;

// A set of buttons, one bit per button (bit n = button n).
using TMsgDlgButtons = std::uint16_t;
constexpr TMsgDlgButtons MsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons)
{
    TMsgDlgButtons set = 0;
    for (TMsgDlgBtn button : buttons) {
        set = TMsgDlgButtons(set | (1u << button));
    }
    return set;
}
constexpr bool HasButton(TMsgDlgButtons set, TMsgDlgBtn button)
{
    return (set >> button) & 1u;
}

enum TTimeOutResult : std::uint8_t {
    trNone,
    trOk,
    trCancel,
    trAbort,
    trRetry,
    trIgnore,
    trYes,
    trNo,
    trAll,
    trNoToAll,
    trYesToAll,
};

// Modal results.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrAll = 12;
inline constexpr int mrNoToAll = 13;
inline constexpr int mrYesToAll = 14;

// The button's control name, caption ("&" marks the access key) and modal result (0 for Help,
// which opens the help instead of closing the box).
QString MsgDlgButtonName(TMsgDlgBtn button);
QString MsgDlgButtonCaption(TMsgDlgBtn button);
int MsgDlgButtonResult(TMsgDlgBtn button);
// The caption of a box type ("Warning", "Error", "Information", "Confirm"; empty for custom).
QString MsgDlgTypeCaption(TMsgDlgType type);

// The time-out result with the name of the button (mbOK and trOk, ...); none for Help and
// Close.
std::optional<TTimeOutResult> TimeOutCounterpart(TMsgDlgBtn button);
// The result a time-out ends the box with: the result of the button of the same name (so
// trAll, trNoToAll and trYesToAll give 12, 13 and 14, as their buttons do); 0 for trNone.
int TimeOutModalResult(TTimeOutResult result);
// The time-out result once the buttons are known: when it is the counterpart of none of the
// chosen buttons, the counterpart of the first chosen button that has one. trNone stays.
TTimeOutResult AdjustedTimeOutResult(TTimeOutResult result, TMsgDlgButtons buttons);
// Enter's button: OK if chosen, else Yes if chosen, else Retry (when chosen).
std::optional<TMsgDlgBtn> DefaultMsgDlgButton(TMsgDlgButtons buttons);
// Esc's button: Cancel if chosen, else No if chosen, else OK if chosen; else none.
std::optional<TMsgDlgBtn> CancelMsgDlgButton(TMsgDlgButtons buttons);
// The value remembered with a ticked box for a result: the box's own result, except that a
// Cancel is remembered as onCancelStoredResult when that is set (not 0).
int StoredResultFor(int result, int onCancelStoredResult);
// Windows' MulDiv: a * b / c rounded half away from zero.
int MulDiv(int a, int b, int c);

// The errors of a misconfigured component (a programming error; the program's own uses never
// raise them).
class EMsgDlgError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

class TMessageDlg;

// The window of one Execute, built entirely from the component's properties.
class TMessageForm : public QDialog {
    Q_OBJECT

public:
    explicit TMessageForm(TMessageDlg* ownerDialog);

    QCheckBox* DontShowAgain = nullptr;
    QProgressBar* Gauge = nullptr;
    QLabel* Message = nullptr;
    bool Modeless = false;
    // The component; null once it has gone (a modeless window may outlive it).
    QPointer<TMessageDlg> OwnerDialog;
    // The buttons in their order, and the ones Enter and Esc press.
    std::vector<QPushButton*> Buttons;
    QPushButton* DefaultButton = nullptr;
    QPushButton* CancelButton = nullptr;
    int HelpContext = 0;

    void HelpButtonClick();
    void ModelessButtonClick(int result);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;
};

class TMessageDlg : public QObject {
    Q_OBJECT

public:
    explicit TMessageDlg(QObject* owner = nullptr);
    ~TMessageDlg() override;

    // Shows the box and returns its modal result (see the algorithm in the source). Raises
    // EMsgDlgError when CheckBox is set without IniSection or IniItem, before any window.
    int Execute();
    int Execute(const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons, int helpContext);

    QString CustomCaption;
    std::uint8_t TimeOut = 0;
    TMsgDlgType DlgType = mtWarning;
    QColor Color;
    QFont ButtonFont;
    QFont Font;
    QString IniFile;
    QString IniSection;
    bool UseRegistry = false;
    QIcon CustomIcon;
    QString HelpFile;
    int HelpContext = 0;
    int GaugeMaxValue = 0;
    QColor GaugeForeColor = QColor(0, 0, 0xFF);
    QColor GaugeBackColor;
    bool GaugeShowText = true;
    bool ShowCountdown = false;
    int OnCancelStoredResult = 0;

    // Properties whose setting does more than store the value.
    QString Msg() const { return FMsg; }
    void SetMsg(const QString& msg); // also the shown window's message
    TMsgDlgButtons Buttons() const { return FButtons; }
    void SetButtons(TMsgDlgButtons buttons); // adjusts the time-out result
    TTimeOutResult TimeOutResult() const { return FTimeOutResult; }
    void SetTimeOutResult(TTimeOutResult result); // adjusts it as well
    bool CheckBox() const { return FCheckBox; }
    void SetCheckBox(bool checkBox); // stays false while Modeless
    bool Modeless() const { return FModeless; }
    void SetModeless(bool modeless); // true clears CheckBox
    QString IniItem() const { return FIniItem; }
    // Raises EMsgDlgError for "MsgDlgValue" in any letter case, keeping the previous value.
    void SetIniItem(const QString& item);
    QString CheckBoxCaption() const { return FCheckBoxCaption; }
    void SetCheckBoxCaption(const QString& caption); // empty restores the initial caption

    // Run-time state.
    std::uint8_t Countdown = 0;
    QTimer* Timer = nullptr;
    bool CheckBoxChecked = false;
    QPointer<QLabel> CountdownLabel;
    QPointer<TMessageForm> Form;

    // The once-a-second tick of a time-out.
    void TimerTick();
    // Stops the timer and, with a box and a complete store, remembers the value.
    void StoreResult(int value);
    TMessageForm* CreateDialogForm();

private:
    void AdjustTimeOutResult();
    bool StoreConfigured() const;
    void ReadStored(bool& checked, int& result) const;
    void WriteStored(bool checked, int value) const;
    QString IniPath() const;

    QString FMsg;
    TMsgDlgButtons FButtons;
    TTimeOutResult FTimeOutResult = trCancel;
    bool FCheckBox = false;
    bool FModeless = false;
    QString FIniItem;
    QString FCheckBoxCaption;
};

// The caption of the don't-show-again box after construction.
inline const QString DefaultCheckBoxCaption = QStringLiteral("&Don't show this message again.");
