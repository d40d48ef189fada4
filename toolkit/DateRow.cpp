#include "toolkit/DateRow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

namespace {

const QDate DateTimeEpoch(1899, 12, 30);

} // namespace

QDate DateOfDateTime(double dateTime)
{
    if (!std::isfinite(dateTime) || std::abs(dateTime) > 4.0e6) {
        return DateTimeEpoch;
    }
    return DateTimeEpoch.addDays(qint64(std::floor(dateTime)));
}

double WithDate(double dateTime, const QDate& date)
{
    double timeOfDay = 0.0;
    if (std::isfinite(dateTime)) {
        timeOfDay = dateTime - std::floor(dateTime);
    }
    return double(DateTimeEpoch.daysTo(date)) + timeOfDay;
}

TDateRow::TDateRow(QCheckBox* box, QDateEdit* date, QComboBox* kind, const QString& captionFormat)
    : QObject(box)
    , FBox(box)
    , FDate(date)
    , FKind(kind)
    , FCaptionFormat(captionFormat)
{
    FDate->setDateRange(QDate(100, 1, 1), QDate(9999, 12, 31));
    if (FKind->count() == 0) {
        FKind->addItems({tr("Created"), tr("Modified"), tr("Accessed")});
    }
    connect(FBox, &QCheckBox::toggled, this, [this](bool on) {
        UpdateEnabled();
        Q_EMIT Toggled(on);
    });
    connect(FDate, &QDateEdit::dateChanged, this, [this](const QDate& picked) {
        FDateTime = WithDate(FDateTime, picked);
        Q_EMIT DateChanged(FDateTime);
    });
    connect(FKind, &QComboBox::currentIndexChanged, this, [this](int index) {
        UpdateCaption();
        if (index < 0) {
            return;
        }
        FKindTouched = true;
        Q_EMIT KindChanged(std::uint8_t(index));
    });
    UpdateEnabled();
    UpdateCaption();
}

void TDateRow::Fill(bool on, double dateTime, std::uint8_t kind)
{
    const QSignalBlocker blockBox(FBox);
    const QSignalBlocker blockDate(FDate);
    const QSignalBlocker blockKind(FKind);
    FDateTime = dateTime;
    FStoredKind = kind;
    FKindTouched = false;
    FBox->setChecked(on);
    FDate->setDate(DateOfDateTime(dateTime));
    FKind->setCurrentIndex(kind < FKind->count() ? kind : 0);
    UpdateEnabled();
    UpdateCaption();
}

bool TDateRow::IsOn() const
{
    return FBox->isChecked();
}

double TDateRow::Date() const
{
    return FDateTime;
}

std::uint8_t TDateRow::Kind() const
{
    return FKindTouched ? std::uint8_t(std::max(FKind->currentIndex(), 0)) : FStoredKind;
}

void TDateRow::UpdateEnabled()
{
    FDate->setEnabled(FBox->isChecked());
    FKind->setEnabled(FBox->isChecked());
}

void TDateRow::UpdateCaption()
{
    FBox->setText(FCaptionFormat.arg(FKind->currentText()));
}
