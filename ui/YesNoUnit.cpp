#include "ui/YesNoUnit.h"

#include "ui_YesNoUnit.h"

#include "engine/Questions.h"

#include <QPushButton>
#include <QResizeEvent>

TYesNoForm::TYesNoForm(QWidget* parent)
    : QDialog(parent)
    , FUi(std::make_unique<Ui::YesNoForm>())
{
    FUi->setupUi(this);
    // Maximise and help only: no system menu and no close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
        Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint);
    connect(FUi->YesButton, &QPushButton::clicked, this, [this] { done(mrYes); });
    connect(FUi->NoButton, &QPushButton::clicked, this, [this] { done(mrNo); });
    FormResize();
}

TYesNoForm::~TYesNoForm() = default;

void TYesNoForm::SetText(const std::string& text)
{
    QString shown = QString::fromUtf8(text.data(), qsizetype(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    FUi->Memo->setPlainText(shown);
}

std::string TYesNoForm::Text() const
{
    return FUi->Memo->toPlainText().toStdString();
}

void TYesNoForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FormResize();
}

void TYesNoForm::FormResize()
{
    const int half = width() / 2;
    FUi->YesButton->move(half - FUi->YesButton->width() - 6, FUi->YesButton->y());
    FUi->NoButton->move(half + 6, FUi->NoButton->y());
}

bool AskYesNo(const std::string& text, QWidget* owner)
{
    TYesNoForm form(owner);
    form.SetText(text);
    return ExecDialog(&form) == TYesNoForm::mrYes;
}
