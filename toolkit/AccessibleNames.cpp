#include "toolkit/AccessibleNames.h"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

#include <map>

namespace {

QString Cleaned(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    text = text.trimmed();
    if (text.endsWith(QLatin1Char(':'))) {
        text.chop(1);
    }
    return text;
}

} // namespace

void NameControlsForAccessibility(QWidget* window)
{
    std::map<const QWidget*, QString> buddyNames;
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (label->buddy() != nullptr && !label->text().isEmpty()) {
            buddyNames.emplace(label->buddy(), Cleaned(label->text()));
        }
    }
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (control->focusPolicy() == Qt::NoFocus || !control->accessibleName().isEmpty()) {
            continue;
        }
        QString name;
        if (auto buddy = buddyNames.find(control); buddy != buddyNames.end()) {
            name = buddy->second;
        } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            name = Cleaned(button->text());
        }
        if (name.isEmpty()) {
            name = Cleaned(control->toolTip());
        }
        if (!name.isEmpty()) {
            control->setAccessibleName(name);
        }
    }
}
