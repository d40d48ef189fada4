#pragma once

#include <QDialog>

#include <memory>

class TDateRow;
class TFilter;
class TSettings;
class TSizeRow;

namespace Ui {
class FilterForm;
}

// The dialog "Filter Files And Folders": the rules of the scan filter (folders and folder-name
// words, extensions, size and date limits, file-name words) and whether matches are excluded
// or are the only files taken.
//
// OK writes every control into the filter; the two date kinds and the last folder chosen in
// the folder picker are written the moment they change. Cancel also switches the filter off;
// Esc and the window's close leave it on. Reset returns the controls to an empty filter,
// which only OK then writes. The dialog does not save the options.
class TFilterForm : public QDialog {
    Q_OBJECT

public:
    // Filled from settings.Filter at once.
    explicit TFilterForm(TSettings& settings, QWidget* owner = nullptr);
    ~TFilterForm() override;

    // The filter button, after it switched the filter on: opens the dialog on AppSettings
    // over the owner, through the program's questions (ExecDialog), and returns its result.
    // Afterwards the button shows pressed, with "Filter is ON", exactly while
    // AppSettings.Filter.EnableFilter is still on (Cancel switched it off).
    static int Execute(QWidget* owner);

    // The controls from a filter, and the controls into one (its switch stays as it is).
    void FillFromFilter(const TFilter& filter);
    void WriteToFilter(TFilter& filter) const;

    void AddButtonClick();
    void AddFolderButtonClick();
    void RemoveFolderButtonClick();
    void ResetButtonClick();
    void OKButtonClick();
    void CancelButtonClick();

private:
    void ConnectHandlers();

    std::unique_ptr<Ui::FilterForm> FUi;
    TSettings& FSettings;
    TSizeRow* FSmaller = nullptr;
    TSizeRow* FBigger = nullptr;
    TDateRow* FOlder = nullptr;
    TDateRow* FNewer = nullptr;
};
