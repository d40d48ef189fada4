#include "ui/MsgDlg.h"

#include "engine/Questions.h"
#include "engine/ZYGlobals.h"
#include "platform/RegistryStore.h"
#include "toolkit/HelpLinks.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>

#include <algorithm>
#include <cstdlib>

namespace {

struct TButtonInfo {
    const char* Name;
    const char* Caption;
    int Result;
    std::optional<TTimeOutResult> Counterpart;
};

const TButtonInfo& Info(TMsgDlgBtn button)
{
    static const TButtonInfo table[MsgDlgButtonCount] = {
        {"Yes", "&Yes", mrYes, trYes},
        {"No", "&No", mrNo, trNo},
        {"OK", "OK", mrOk, trOk},
        {"Cancel", "Cancel", mrCancel, trCancel},
        {"Abort", "&Abort", mrAbort, trAbort},
        {"Retry", "&Retry", mrRetry, trRetry},
        {"Ignore", "&Ignore", mrIgnore, trIgnore},
        {"All", "&All", mrAll, trAll},
        {"NoToAll", "N&o to All", mrNoToAll, trNoToAll},
        {"YesToAll", "Yes to &All", mrYesToAll, trYesToAll},
        {"Help", "Help", mrNone, std::nullopt},
        {"Close", "Close", mrCancel, std::nullopt},
    };
    return table[button];
}

const QString ReservedItem = QStringLiteral("MsgDlgValue");

// A DWORD of the registry store at a full key path, or nothing.
std::optional<std::uint32_t> ReadDword(const QString& key, const QString& name)
{
    platform::TRegValue value;
    if (platform::RegistryStore().ReadValue(key.toStdString(), name.toStdString(), value) ||
        value.Type != platform::rtDword || value.Data.size() != 4) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        number |= std::uint32_t(static_cast<unsigned char>(value.Data[k])) << (8 * k);
    }
    return number;
}

QIcon TypeIcon(TMsgDlgType type, const QIcon& custom)
{
    QStyle* style = QApplication::style();
    switch (type) {
    case mtWarning:
        return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case mtError:
        return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case mtInformation:
        return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case mtConfirmation:
        return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    case mtCustom:
        return custom;
    }
    return {};
}

QString WithoutAccessKey(QString caption)
{
    caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    caption.remove(QLatin1Char('&'));
    caption.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return caption;
}

} // namespace

// ---- tables and rules --------------------------------------------------------------------------

QString MsgDlgButtonName(TMsgDlgBtn button)
{
    return QString::fromLatin1(Info(button).Name);
}

QString MsgDlgButtonCaption(TMsgDlgBtn button)
{
    return QString::fromLatin1(Info(button).Caption);
}

int MsgDlgButtonResult(TMsgDlgBtn button)
{
    return Info(button).Result;
}

QString MsgDlgTypeCaption(TMsgDlgType type)
{
    switch (type) {
    case mtWarning:
        return QStringLiteral("Warning");
    case mtError:
        return QStringLiteral("Error");
    case mtInformation:
        return QStringLiteral("Information");
    case mtConfirmation:
        return QStringLiteral("Confirm");
    case mtCustom:
        break;
    }
    return {};
}

std::optional<TTimeOutResult> TimeOutCounterpart(TMsgDlgBtn button)
{
    return Info(button).Counterpart;
}

int TimeOutModalResult(TTimeOutResult result)
{
    for (int b = 0; b < MsgDlgButtonCount; ++b) {
        if (Info(TMsgDlgBtn(b)).Counterpart == result) {
            return Info(TMsgDlgBtn(b)).Result;
        }
    }
    return mrNone;
}

TTimeOutResult AdjustedTimeOutResult(TTimeOutResult result, TMsgDlgButtons buttons)
{
    if (result == trNone) {
        return result;
    }
    std::optional<TTimeOutResult> first;
    for (int b = 0; b < MsgDlgButtonCount; ++b) {
        if (!HasButton(buttons, TMsgDlgBtn(b))) {
            continue;
        }
        const auto counterpart = TimeOutCounterpart(TMsgDlgBtn(b));
        if (counterpart == result) {
            return result;
        }
        if (!first && counterpart) {
            first = counterpart;
        }
    }
    return first.value_or(result);
}

std::optional<TMsgDlgBtn> DefaultMsgDlgButton(TMsgDlgButtons buttons)
{
    for (TMsgDlgBtn candidate : {mbOK, mbYes, mbRetry}) {
        if (HasButton(buttons, candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<TMsgDlgBtn> CancelMsgDlgButton(TMsgDlgButtons buttons)
{
    for (TMsgDlgBtn candidate : {mbCancel, mbNo, mbOK}) {
        if (HasButton(buttons, candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

int StoredResultFor(int result, int onCancelStoredResult)
{
    if (result == mrCancel && onCancelStoredResult != 0) {
        return onCancelStoredResult;
    }
    return result;
}

int MulDiv(int a, int b, int c)
{
    if (c == 0) {
        return -1;
    }
    const long long product = static_cast<long long>(a) * b;
    long long quotient = product / c;
    const long long remainder = product % c;
    if (2 * std::llabs(remainder) >= std::llabs(static_cast<long long>(c))) {
        quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    }
    return static_cast<int>(quotient);
}

// ---- the window --------------------------------------------------------------------------------

TMessageForm::TMessageForm(TMessageDlg* ownerDialog)
    : QDialog(nullptr)
    , OwnerDialog(ownerDialog)
{
    setObjectName(QStringLiteral("MessageForm"));
}

void TMessageForm::HelpButtonClick()
{
    ShowHelpContext(HelpContext);
}

void TMessageForm::ModelessButtonClick(int result)
{
    if (!Modeless) {
        return;
    }
    done(result);
    if (OwnerDialog) {
        OwnerDialog->StoreResult(result);
    }
}

void TMessageForm::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            if (DefaultButton != nullptr && DefaultButton->isEnabled()) {
                DefaultButton->click();
            }
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            if (CancelButton != nullptr && CancelButton->isEnabled()) {
                CancelButton->click();
            }
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void TMessageForm::reject()
{
    // The window's close box: Cancel, whatever the buttons.
    if (Modeless) {
        ModelessButtonClick(mrCancel);
        return;
    }
    done(mrCancel);
}

// ---- the component -----------------------------------------------------------------------------

TMessageDlg::TMessageDlg(QObject* owner)
    : QObject(owner)
    , Color(QApplication::palette().color(QPalette::Window))
    , ButtonFont(QApplication::font())
    , Font(QApplication::font())
    , GaugeBackColor(QApplication::palette().color(QPalette::Window))
    , FButtons(MsgDlgButtons({mbOK}))
    , FCheckBoxCaption(DefaultCheckBoxCaption)
{
    Timer = new QTimer(this);
    Timer->setInterval(1000);
    connect(Timer, &QTimer::timeout, this, &TMessageDlg::TimerTick);
}

TMessageDlg::~TMessageDlg()
{
    Timer->stop();
    // A window still open (a modeless one) goes with its component.
    if (Form) {
        Form->OwnerDialog = nullptr;
        Form->close();
        Form->deleteLater();
    }
}

void TMessageDlg::SetMsg(const QString& msg)
{
    FMsg = msg;
    if (Form && Form->Message != nullptr) {
        Form->Message->setText(msg);
    }
}

void TMessageDlg::SetButtons(TMsgDlgButtons buttons)
{
    FButtons = buttons;
    AdjustTimeOutResult();
}

void TMessageDlg::SetTimeOutResult(TTimeOutResult result)
{
    FTimeOutResult = result;
    AdjustTimeOutResult();
}

void TMessageDlg::AdjustTimeOutResult()
{
    if (TimeOut > 0) {
        FTimeOutResult = AdjustedTimeOutResult(FTimeOutResult, FButtons);
    }
}

void TMessageDlg::SetCheckBox(bool checkBox)
{
    FCheckBox = checkBox && !FModeless;
}

void TMessageDlg::SetModeless(bool modeless)
{
    FModeless = modeless;
    if (modeless) {
        FCheckBox = false;
    }
}

void TMessageDlg::SetIniItem(const QString& item)
{
    if (item.compare(ReservedItem, Qt::CaseInsensitive) == 0) {
        throw EMsgDlgError("MsgDlgValue is reserved for internal use by this component.\n"
                           "Please select another name for the IniItem property.");
    }
    FIniItem = item;
}

void TMessageDlg::SetCheckBoxCaption(const QString& caption)
{
    FCheckBoxCaption = caption.isEmpty() ? DefaultCheckBoxCaption : caption;
}

bool TMessageDlg::StoreConfigured() const
{
    return !IniFile.isEmpty() && !IniSection.isEmpty() && !FIniItem.isEmpty();
}

QString TMessageDlg::IniPath() const
{
    if (QFileInfo(IniFile).isAbsolute()) {
        return IniFile;
    }
    // A bare name lives in the program's configuration folder, beside the registry store.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config + QStringLiteral("/Zanthory")).filePath(IniFile);
}

void TMessageDlg::ReadStored(bool& checked, int& result) const
{
    checked = false;
    result = 0;
    if (UseRegistry) {
        checked = ReadDword(IniSection, FIniItem).value_or(0) != 0;
        result = int(ReadDword(IniSection, ReservedItem).value_or(0));
        return;
    }
    QSettings ini(IniPath(), QSettings::IniFormat);
    ini.beginGroup(IniSection);
    checked = ini.value(FIniItem, false).toBool();
    result = ini.value(ReservedItem, 0).toInt();
}

void TMessageDlg::WriteStored(bool checked, int value) const
{
    if (UseRegistry) {
        platform::TRegistryBatch batch;
        const std::string key = IniSection.toStdString();
        batch.WriteValue(key, FIniItem.toStdString(), platform::TRegValue::Dword(checked ? 1 : 0));
        batch.WriteValue(key, ReservedItem.toStdString(),
            platform::TRegValue::Dword(static_cast<std::uint32_t>(value)));
        platform::RegistryStore().Apply(batch); // a store that cannot be written is skipped
        return;
    }
    QDir().mkpath(QFileInfo(IniPath()).absolutePath());
    QSettings ini(IniPath(), QSettings::IniFormat);
    ini.beginGroup(IniSection);
    ini.setValue(FIniItem, checked);
    ini.setValue(ReservedItem, value);
}

int TMessageDlg::Execute(
    const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons, int helpContext)
{
    SetMsg(msg);
    DlgType = dlgType;
    SetButtons(buttons);
    HelpContext = helpContext;
    return Execute();
}

int TMessageDlg::Execute()
{
    CheckBoxChecked = false;
    int result = mrCancel;
    if (FCheckBox) {
        if (IniSection.isEmpty()) {
            throw EMsgDlgError("IniSection property not specified");
        }
        if (FIniItem.isEmpty()) {
            throw EMsgDlgError("IniItem property not specified");
        }
        if (StoreConfigured()) {
            ReadStored(CheckBoxChecked, result);
        }
    }
    if (CheckBoxChecked) {
        return result;
    }

    // A window left open by an earlier modeless Execute stays open on its own.
    if (Form) {
        Form->OwnerDialog = nullptr;
    }
    Form = CreateDialogForm();
    if (TimeOut > 0) {
        if (ShowCountdown && CountdownLabel) {
            CountdownLabel->setText(QString::number(TimeOut));
        }
        Countdown = TimeOut;
        Timer->start(1000);
    }

    if (FModeless) {
        Form->setAttribute(Qt::WA_DeleteOnClose);
        Form->setModal(false);
        Form->show();
        Form->repaint();
        return result;
    }

    QPointer<TMessageForm> form = Form;
    result = ExecDialog(form.data());
    if (form) {
        if (form->DontShowAgain != nullptr) {
            CheckBoxChecked = form->DontShowAgain->isChecked();
        }
        delete form.data();
    }
    Form = nullptr;
    StoreResult(StoredResultFor(result, OnCancelStoredResult));
    return result;
}

void TMessageDlg::StoreResult(int value)
{
    if (TimeOut > 0) {
        Timer->stop();
    }
    if (FCheckBox && StoreConfigured()) {
        WriteStored(CheckBoxChecked, value);
    }
}

void TMessageDlg::TimerTick()
{
    if (!Form) {
        Timer->stop();
        return;
    }
    if (Countdown == 0) {
        // Only with no time-out result: the box stays open and the countdown stays at 0.
        Timer->stop();
        return;
    }
    --Countdown;
    if (ShowCountdown && CountdownLabel) {
        CountdownLabel->setText(QString::number(Countdown));
    }
    if (Countdown == 0) {
        const int result = TimeOutModalResult(FTimeOutResult);
        if (FTimeOutResult == trNone) {
            Timer->stop();
        } else if (Form->Modeless) {
            Form->ModelessButtonClick(result);
        } else {
            Form->done(result);
        }
    }
}

TMessageForm* TMessageDlg::CreateDialogForm()
{
    auto* form = new TMessageForm(this);
    form->setFont(Font);
    form->Modeless = FModeless;
    form->setLayoutDirection(QApplication::layoutDirection());
    form->setAutoFillBackground(true);
    QPalette background = form->palette();
    background.setColor(QPalette::Window, Color);
    form->setPalette(background);
    if (HelpContext > 0) {
        form->HelpContext = HelpContext;
    }

    // Measures in the window's font.
    const QFontMetrics metrics(form->font());
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int avgW = metrics.horizontalAdvance(letters) / 52;
    const int chH = metrics.height();
    const int horzMargin = MulDiv(8, avgW, 4);
    const int vertMargin = MulDiv(8, chH, 8);
    const int horzSpacing = MulDiv(10, avgW, 4);
    int vertSpacing = MulDiv(10, chH, 8);
    int buttonWidth = MulDiv(50, avgW, 4);
    const int buttonSpacing = MulDiv(4, avgW, 4);

    std::vector<TMsgDlgBtn> chosen;
    for (int b = 0; b < MsgDlgButtonCount; ++b) {
        if (HasButton(FButtons, TMsgDlgBtn(b))) {
            chosen.push_back(TMsgDlgBtn(b));
        }
    }
    int buttonHeight = chosen.empty() ? 0 : MulDiv(14, chH, 8);

    // Button captions are measured in this window's font, every time.
    const QFontMetrics buttonMetrics(ButtonFont);
    for (TMsgDlgBtn button : chosen) {
        const QString caption = WithoutAccessKey(MsgDlgButtonCaption(button));
        buttonWidth = std::max(buttonWidth, buttonMetrics.horizontalAdvance(caption) + 8);
    }

    const QIcon icon = TypeIcon(DlgType, CustomIcon);
    const bool hasIcon = !icon.isNull();
    QScreen* screen = QGuiApplication::primaryScreen();
    const int halfScreen = screen != nullptr ? screen->geometry().width() / 2 : 640;
    const QRect text = metrics.boundingRect(
        QRect(0, 0, halfScreen, 0), Qt::TextWordWrap | Qt::TextExpandTabs, FMsg);
    int textWidth = text.width();
    int textHeight = text.height();
    if (hasIcon) {
        textWidth += 32 + horzSpacing;
        textHeight = std::max(textHeight, 32);
    }

    // Real buttons need at least the room their style asks for.
    std::vector<QPushButton*> buttons;
    for (TMsgDlgBtn button : chosen) {
        auto* push = new QPushButton(MsgDlgButtonCaption(button), form);
        push->setObjectName(MsgDlgButtonName(button));
        push->setFont(ButtonFont);
        push->setAutoDefault(false);
        buttonWidth = std::max(buttonWidth, push->sizeHint().width());
        buttonHeight = std::max(buttonHeight, push->sizeHint().height());
        buttons.push_back(push);
    }
    const int n = int(chosen.size());
    const int groupWidth = n == 0 ? 0 : n * buttonWidth + (n - 1) * buttonSpacing;
    if (FCheckBox) {
        vertSpacing += 26;
    }
    int clientWidth = std::max(textWidth, groupWidth) + 2 * horzMargin;
    // The don't-show-again box sits after the first button; with none it is not shown.
    QCheckBox* box = nullptr;
    if (FCheckBox && !buttons.empty()) {
        box = new QCheckBox(FCheckBoxCaption, form);
        box->setObjectName(QStringLiteral("DontShowAgain"));
        const int boxWidth =
            std::max(metrics.horizontalAdvance(WithoutAccessKey(FCheckBoxCaption)) + 10,
                box->sizeHint().width());
        const int boxHeight = std::max(metrics.height() + 10, box->sizeHint().height());
        box->resize(boxWidth, boxHeight);
        // A caption wider than the message keeps the whole box inside the window.
        clientWidth = std::max(clientWidth, 54 + boxWidth + horzMargin);
    }
    const int clientHeight = textHeight + buttonHeight + vertSpacing + 2 * vertMargin;

    const QString caption = DlgType == mtCustom
        ? (CustomCaption.isEmpty() ? QString::fromStdString(ProductTitle) : CustomCaption)
        : MsgDlgTypeCaption(DlgType);
    form->setWindowTitle(caption);

    int messageLeft = horzMargin;
    if (hasIcon) {
        auto* image = new QLabel(form);
        image->setObjectName(QStringLiteral("Image"));
        image->setGeometry(horzMargin, vertMargin, 32, 32);
        image->setPixmap(icon.pixmap(32, 32));
        image->setAccessibleName(caption);
        messageLeft += 32 + horzSpacing;
    }
    form->Message = new QLabel(FMsg, form);
    form->Message->setObjectName(QStringLiteral("Message"));
    form->Message->setTextFormat(Qt::PlainText);
    form->Message->setWordWrap(true);
    form->Message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const int messageWidth = text.width();
    if (form->layoutDirection() == Qt::RightToLeft) {
        messageLeft = clientWidth - messageLeft - messageWidth;
    }
    form->Message->setGeometry(messageLeft, vertMargin, messageWidth, text.height());

    const auto defaultButton = DefaultMsgDlgButton(FButtons);
    const auto cancelButton = CancelMsgDlgButton(FButtons);
    int x = (clientWidth - groupWidth) / 2;
    const int y = textHeight + vertMargin + vertSpacing;
    for (std::size_t k = 0; k < buttons.size(); ++k) {
        QPushButton* push = buttons[k];
        const TMsgDlgBtn button = chosen[k];
        push->setGeometry(x, y, buttonWidth, buttonHeight);
        x += buttonWidth + buttonSpacing;
        const int result = MsgDlgButtonResult(button);
        if (button == mbHelp) {
            QObject::connect(push, &QPushButton::clicked, form, &TMessageForm::HelpButtonClick);
        } else if (FModeless) {
            QObject::connect(push, &QPushButton::clicked, form,
                [form, result] { form->ModelessButtonClick(result); });
        } else {
            QObject::connect(
                push, &QPushButton::clicked, form, [form, result] { form->done(result); });
        }
        if (defaultButton == button) {
            push->setDefault(true);
            form->DefaultButton = push;
        }
        if (cancelButton == button) {
            form->CancelButton = push;
        }
        form->Buttons.push_back(push);
        if (k == 0 && box != nullptr) {
            box->move(54, push->y() - 26);
            form->DontShowAgain = box;
        }
    }
    const int windowWidth = clientWidth;

    if (GaugeMaxValue > 0) {
        form->Gauge = new QProgressBar(form);
        form->Gauge->setObjectName(QStringLiteral("Gauge"));
        form->Gauge->setRange(0, GaugeMaxValue);
        form->Gauge->setValue(0);
        form->Gauge->setTextVisible(GaugeShowText);
        QPalette colors = form->Gauge->palette();
        colors.setColor(QPalette::Highlight, GaugeForeColor);
        colors.setColor(QPalette::Base, GaugeBackColor);
        form->Gauge->setPalette(colors);
        form->Gauge->setGeometry(0, clientHeight - 12, windowWidth, 12);
    }
    if (TimeOut > 0 && ShowCountdown) {
        auto* label = new QLabel(form);
        label->setObjectName(QStringLiteral("CountdownLabel"));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const int height = std::max(13, metrics.height());
        label->setGeometry(windowWidth - 10 - 40, clientHeight - 20, 40, height);
        label->setLayoutDirection(form->layoutDirection());
        CountdownLabel = label;
    }

    // Tab order: the buttons, then the box.
    QWidget* previous = nullptr;
    for (QPushButton* push : form->Buttons) {
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, push);
        }
        previous = push;
    }
    if (previous != nullptr && form->DontShowAgain != nullptr) {
        QWidget::setTabOrder(previous, form->DontShowAgain);
    }
    if (form->DefaultButton != nullptr) {
        form->DefaultButton->setFocus();
    }
    form->setFixedSize(windowWidth, clientHeight);
    return form;
}
