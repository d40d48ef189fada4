#include "ui/ResultUnit.h"

#include "ui_ResultUnit.h"

#include <QPushButton>
#include <QResizeEvent>

TResultForm::TResultForm(QWidget* owner)
    : QDialog(owner)
    , FUi(std::make_unique<Ui::ResultForm>())
{
    FUi->setupUi(this);
    connect(FUi->OKButton, &QPushButton::clicked, this, &QDialog::accept);
    FUi->OKButton->setFocus();
    FormResize();
}

TResultForm::~TResultForm() = default;

void TResultForm::SetText(const QString& text)
{
    FUi->ResultMemo->setPlainText(text);
}

QString TResultForm::Text() const
{
    return FUi->ResultMemo->toPlainText();
}

void TResultForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FormResize();
}

void TResultForm::FormResize()
{
    QPushButton* ok = FUi->OKButton;
    ok->move((FUi->BottomPanel->width() - ok->width()) / 2, ok->y());
}
