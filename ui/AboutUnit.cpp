#include "ui/AboutUnit.h"

#include "ui_AboutUnit.h"

#include "engine/Questions.h"
#include "engine/ZYGlobals.h"
#include "toolkit/MessageBoxes.h"
#include "toolkit/ProgramIcons.h"

#include <QApplication>
#include <QStyle>
#include <QTextCursor>

TAboutForm::TAboutForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , FUi(std::make_unique<Ui::AboutForm>())
{
    FUi->setupUi(this);
    // The program's own icon; the application's or the style's only if the resource is missing.
    QIcon icon = MainIcon();
    if (icon.isNull()) {
        icon = QApplication::windowIcon();
    }
    if (icon.isNull()) {
        icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    }
    // The picture is transparent around the icon, whatever colour the group box has.
    QPalette clear = FUi->Image1->palette();
    clear.setColor(QPalette::Button, Qt::transparent);
    FUi->Image1->setPalette(clear);
    DrawIconToImage(icon, FUi->Image1);

    // A borderless memo in the dialog's colour with centred text.
    FUi->InfoMemo->viewport()->setAutoFillBackground(false);
    FUi->InfoMemo->setPlainText(InfoText());
    QTextCursor all(FUi->InfoMemo->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    all.mergeBlockFormat(centred);

    connect(FUi->CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    FUi->CloseButton->setFocus();
}

TAboutForm::~TAboutForm() = default;

void TAboutForm::Execute(QWidget* owner)
{
    TAboutForm form(owner);
    ExecDialog(&form);
}

QString TAboutForm::InfoText()
{
    return QString::fromStdString(ProductTitle) + QStringLiteral("\nFor Linux\n\n") +
        tr("Copyright (C) Zanthory.") + QLatin1Char('\n') + tr("All rights reserved.");
}
