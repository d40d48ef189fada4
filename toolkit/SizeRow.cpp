#include "toolkit/SizeRow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <limits>

TSizeRow::TSizeRow(QCheckBox* box, QSpinBox* limit, QComboBox* unit)
    : QObject(box)
    , FBox(box)
    , FLimit(limit)
    , FUnit(unit)
{
    // The range comes first: a spin box clamps every value set while its range is narrower.
    FLimit->setRange(0, std::numeric_limits<std::int32_t>::max());
    if (FUnit->count() == 0) {
        FUnit->addItems({tr("Bytes"), tr("KBytes"), tr("MBytes")});
    }
    connect(FBox, &QCheckBox::toggled, this, [this](bool on) {
        UpdateEnabled();
        Q_EMIT Toggled(on);
    });
    connect(FLimit, &QSpinBox::valueChanged, this, [this](int value) {
        FLimitTouched = true;
        Q_EMIT LimitChanged(value);
    });
    connect(FUnit, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) {
            return;
        }
        FUnitTouched = true;
        Q_EMIT UnitChanged(std::uint8_t(index));
    });
    UpdateEnabled();
}

void TSizeRow::Fill(bool on, std::int64_t limit, std::uint8_t unit)
{
    const QSignalBlocker blockBox(FBox);
    const QSignalBlocker blockLimit(FLimit);
    const QSignalBlocker blockUnit(FUnit);
    FStoredLimit = limit;
    FStoredUnit = unit;
    FLimitTouched = false;
    FUnitTouched = false;
    FBox->setChecked(on);
    FLimit->setValue(
        int(std::clamp<std::int64_t>(limit, 0, std::numeric_limits<std::int32_t>::max())));
    FUnit->setCurrentIndex(unit < FUnit->count() ? unit : 0);
    UpdateEnabled();
}

bool TSizeRow::IsOn() const
{
    return FBox->isChecked();
}

std::int64_t TSizeRow::Limit() const
{
    return FLimitTouched ? std::int64_t(FLimit->value()) : FStoredLimit;
}

std::uint8_t TSizeRow::Unit() const
{
    return FUnitTouched ? std::uint8_t(std::max(FUnit->currentIndex(), 0)) : FStoredUnit;
}

void TSizeRow::UpdateEnabled()
{
    FLimit->setEnabled(FBox->isChecked());
    FUnit->setEnabled(FBox->isChecked());
}
