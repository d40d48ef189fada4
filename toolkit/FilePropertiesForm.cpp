#include "toolkit/FilePropertiesForm.h"

#include "engine/FileTimeHelper.h"
#include "engine/Questions.h"
#include "engine/ZYUtils.h"
#include "platform/FileDetails.h"
#include "platform/FileOperations.h"
#include "toolkit/AccessibleNames.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <sys/stat.h>

namespace {

struct TField {
    const char* ObjectName;
    const char* Caption;
};

constexpr TField Fields[] = {
    {"NameEdit", "Name:"},
    {"FolderEdit", "Folder:"},
    {"SizeEdit", "Size:"},
    {"CreatedEdit", "Created:"},
    {"ModifiedEdit", "Modified:"},
    {"AccessedEdit", "Accessed:"},
    {"PermissionsEdit", "Permissions:"},
    {"OwnerEdit", "Owner:"},
};

} // namespace

TFilePropertiesForm::TFilePropertiesForm(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FilePropertiesForm"));
    setWindowTitle(QStringLiteral("Properties"));
    auto* form = new QFormLayout;
    for (const TField& field : Fields) {
        auto* edit = new QLineEdit;
        edit->setObjectName(QString::fromLatin1(field.ObjectName));
        edit->setReadOnly(true);
        edit->setMinimumWidth(360);
        form->addRow(QString::fromLatin1(field.Caption), edit);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("CloseButton"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    NameControlsForAccessibility(this);
}

QString TFilePropertiesForm::FieldText(const char* objectName) const
{
    const auto* edit = findChild<QLineEdit*>(QString::fromLatin1(objectName));
    return edit != nullptr ? edit->text() : QString();
}

void TFilePropertiesForm::SetFile(const std::string& path)
{
    const auto set = [this](const char* objectName, const QString& text) {
        auto* edit = findChild<QLineEdit*>(QString::fromLatin1(objectName));
        edit->setText(text);
        edit->setCursorPosition(0);
    };
    const auto setText = [&set](const char* objectName, const std::string& text) {
        set(objectName, QString::fromStdString(text));
    };
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    set("NameEdit", NameText(name));
    set("FolderEdit", NameText(folder));
    setWindowTitle(NameText(name) + QStringLiteral(" Properties"));

    platform::TFileDetails details;
    if (const int code = platform::GetFileDetails(path, details); code != 0) {
        setText("SizeEdit", platform::FileOperationErrorText(code));
        for (const char* empty :
            {"CreatedEdit", "ModifiedEdit", "AccessedEdit", "PermissionsEdit", "OwnerEdit"}) {
            set(empty, QString());
        }
        return;
    }
    set("SizeEdit",
        QString::fromStdString(FormatByteSize(details.Size)) + QStringLiteral(" (") +
            QLocale().toString(qlonglong(details.Size)) + QStringLiteral(" bytes)"));
    setText("CreatedEdit",
        details.HasCreationTime ? FileTimeToDisplayText(details.CreationTime) : "Unknown.");
    setText("ModifiedEdit", FileTimeToDisplayText(details.LastWriteTime));
    setText("AccessedEdit", FileTimeToDisplayText(details.LastAccessTime));
    set("PermissionsEdit",
        QString::fromStdString(platform::PermissionText(details.Mode)) + QStringLiteral(" (") +
            QString::number(details.Mode & 07777, 8).rightJustified(4, QLatin1Char('0')) +
            QLatin1Char(')'));
    setText("OwnerEdit", details.OwnerName + " (group " + details.GroupName + ")");
}

void ShowFilePropertiesForm(const std::string& path, QWidget* owner)
{
    TFilePropertiesForm form(owner);
    form.SetFile(path);
    ExecDialog(&form);
}
