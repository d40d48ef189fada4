#pragma once

#include <QDate>
#include <QObject>
#include <QString>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QDateEdit;

// The calendar date of a date-time (days since 1899-12-30, the fraction the time of day);
// 1899-12-30 for a value that is no number.
QDate DateOfDateTime(double dateTime);
// The date-time of that date with the time of day of dateTime kept.
double WithDate(double dateTime, const QDate& date);

// One date rule of the exclusion, quick-check and filter dialogs: a check box that switches
// the rule on, a date picker and the list of date kinds ("Created", "Modified", "Accessed":
// 0, 1, 2). The box's caption follows the kind: the caption format ("%1 before:") filled with
// the kind's text. The picker and the kind list are enabled exactly while the box is checked.
//
// The picker shows the date only. Fill shows stored values without reporting them as
// changes, and Date() gives the stored date-time back, time of day included, until the user
// picks another date; a picked date keeps the stored time of day. A stored kind the list has
// no item for is shown as "Created" and given back unchanged until the user picks one. Main
// thread only.
class TDateRow : public QObject {
    Q_OBJECT

public:
    // The controls stay the form's; the row is a child of the check box. Fills the kind list
    // when it is empty and takes the picker's range to the years 100 to 9999.
    TDateRow(QCheckBox* box, QDateEdit* date, QComboBox* kind, const QString& captionFormat);

    void Fill(bool on, double dateTime, std::uint8_t kind);

    bool IsOn() const;
    double Date() const;
    std::uint8_t Kind() const;

Q_SIGNALS:
    // The user changed a control (never emitted by Fill).
    void Toggled(bool on);
    void DateChanged(double dateTime);
    void KindChanged(std::uint8_t kind);

private:
    void UpdateEnabled();
    void UpdateCaption();

    QCheckBox* FBox;
    QDateEdit* FDate;
    QComboBox* FKind;
    QString FCaptionFormat;
    double FDateTime = 0.0;
    std::uint8_t FStoredKind = 0;
    bool FKindTouched = false;
};
