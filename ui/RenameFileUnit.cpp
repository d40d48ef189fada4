#include "ui/RenameFileUnit.h"

#include "engine/Questions.h"
#include "engine/ZYUtils.h"
#include "platform/FileOperations.h"
#include "toolkit/AccessibleNames.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* AddField(QFormLayout& form, const QString& objectName, const QString& caption)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(objectName);
    form.addRow(caption, edit);
    return edit;
}

std::string FieldText(const QLineEdit& edit)
{
    return NameBytes(edit.text());
}

} // namespace

TRenameFileForm::TRenameFileForm(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("RenameFileForm"));
    setWindowTitle(QStringLiteral("Rename File"));
    // A dialog frame with its caption and no buttons in it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    auto* fields = new QFormLayout;
    OldFileName =
        AddField(*fields, QStringLiteral("OldFileName"), QStringLiteral("Old File Name:"));
    OldExt = AddField(*fields, QStringLiteral("OldExt"), QStringLiteral("Old Extension:"));
    NewFileName =
        AddField(*fields, QStringLiteral("NewFileName"), QStringLiteral("New File Name:"));
    NewExt = AddField(*fields, QStringLiteral("NewExt"), QStringLiteral("New Extension:"));
    for (QLineEdit* old : {OldFileName, OldExt}) {
        old->setReadOnly(true);
        old->setEnabled(false);
    }
    NewFileName->setMinimumWidth(320);

    OKButton = new QPushButton(QStringLiteral("OK"));
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"));
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    connect(OKButton, &QPushButton::clicked, this, &TRenameFileForm::OKButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    setTabOrder(NewFileName, NewExt);
    setTabOrder(NewExt, OKButton);
    setTabOrder(OKButton, CancelButton);
    NameControlsForAccessibility(this);
}

void TRenameFileForm::SetFile(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    FileFolder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    const bool hasExt = dot != std::string::npos && dot != 0;
    const QString base = NameText(hasExt ? name.substr(0, dot) : name);
    const QString ext = hasExt ? NameText(name.substr(dot)) : QString();
    OldFileName->setText(base);
    NewFileName->setText(base);
    OldExt->setText(ext);
    NewExt->setText(ext);
}

std::string TRenameFileForm::OldPath() const
{
    return FileFolder + FieldText(*OldFileName) + FieldText(*OldExt);
}

std::string TRenameFileForm::NewPath() const
{
    return FileFolder + FieldText(*NewFileName) + FieldText(*NewExt);
}

std::string TRenameFileForm::InvalidNameReason(const std::string& name)
{
    if (name.empty()) {
        return "Please enter a file name.";
    }
    if (name == "." || name == "..") {
        return "\"" + name + "\" cannot be used as a file name.";
    }
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos) {
        return "A file name cannot contain \"/\".";
    }
    return {};
}

void TRenameFileForm::OKButtonClick()
{
    const std::string name = FieldText(*NewFileName) + FieldText(*NewExt);
    if (const std::string reason = InvalidNameReason(name); !reason.empty()) {
        ShowErrorMessage(reason, this);
        NewFileName->setFocus();
        return;
    }
    const std::string from = OldPath();
    const std::string to = NewPath();
    if (to == from) {
        reject();
        return;
    }
    if (const int code = platform::RenameNoReplace(from, to); code != 0) {
        ShowErrorMessage("Cannot rename \"" + from + "\" to \"" + name + "\":\r\n" +
                platform::FileOperationErrorText(code),
            this);
        NewFileName->setFocus();
        return;
    }
    accept();
}

void TRenameFileForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (parentWidget() != nullptr) {
        const QRect owner = parentWidget()->window()->frameGeometry();
        move(owner.center() - rect().center());
    }
    NewFileName->setFocus();
    NewFileName->selectAll();
}
