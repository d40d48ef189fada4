#pragma once

#include <QObject>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QSpinBox;

// One size rule of the exclusion, quick-check and filter dialogs: a check box that switches
// the rule on, a limit and its unit ("Bytes", "KBytes", "MBytes": 0, 1, 2). The row drives
// three controls of the dialog's form; the limit and the unit are enabled exactly while the
// box is checked.
//
// Fill shows stored values without reporting them as changes. The limit box accepts 0 to
// 2147483647; a stored value it cannot show (a negative limit, a unit past 2) is shown as the
// nearest one it can and given back unchanged by Limit() and Unit() until the user changes
// that control. Main thread only.
class TSizeRow : public QObject {
    Q_OBJECT

public:
    // The controls stay the form's; the row is a child of the check box. Sets the limit's
    // range and fills the unit list.
    TSizeRow(QCheckBox* box, QSpinBox* limit, QComboBox* unit);

    void Fill(bool on, std::int64_t limit, std::uint8_t unit);

    bool IsOn() const;
    // The limit: the stored one until the user changes it, then the box's value.
    std::int64_t Limit() const;
    std::uint8_t Unit() const;

Q_SIGNALS:
    // The user changed a control (never emitted by Fill).
    void Toggled(bool on);
    void LimitChanged(std::int64_t limit);
    void UnitChanged(std::uint8_t unit);

private:
    void UpdateEnabled();

    QCheckBox* FBox;
    QSpinBox* FLimit;
    QComboBox* FUnit;
    std::int64_t FStoredLimit = 0;
    std::uint8_t FStoredUnit = 0;
    bool FLimitTouched = false;
    bool FUnitTouched = false;
};
