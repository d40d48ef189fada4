#pragma once

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class TSettings;

namespace Ui {
class OptionsForm;
}

// Saves every option to the registry store. When they cannot be stored, an error message
// says so over the owner; the options in memory stay as they are. Never raises. True when
// they were saved.
bool SaveOptions(const TSettings& settings, QWidget* owner);

// The dialog "Options": the program-wide options on two pages, "General" and "Columns".
// The options change only by OK, which stores every control, lets the main window apply the
// column mask to the results grid and repaint it, and saves the options. Cancel, Esc and the
// window's close change nothing.
class TOptionsForm : public QDialog {
    Q_OBJECT

public:
    // Applies the visible columns and repaints the results grid.
    using TApplyToGrid = std::function<void()>;

    // Filled from the settings at once; opens on "General". applyToGrid may be empty.
    TOptionsForm(TSettings& settings, TApplyToGrid applyToGrid, QWidget* owner = nullptr);
    ~TOptionsForm() override;

    // The Options command: opens the dialog on AppSettings over the owner, through the
    // program's questions (ExecDialog); after OK has stored the options, applyToGrid runs and
    // then the options are saved. True when it was closed with OK.
    static bool Execute(QWidget* owner, TApplyToGrid applyToGrid);

    void OKButtonClick();

private:
    void FormShow();
    // The boxes of the visible columns in order: box i stands for bit i + 1 of the mask.
    std::array<QCheckBox*, 8> ColumnBoxes() const;

    std::unique_ptr<Ui::OptionsForm> FUi;
    TSettings& FSettings;
    TApplyToGrid FApplyToGrid;
};

// The number of items of the priority list; a stored priority at or past it (the engine
// knows one more) shows no item and is kept until the user picks one.
inline constexpr int PriorityItemCount = 6;
