#pragma once

#include "ui/FileWork.h"

#include <QDialog>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TDFinder;
class TSettings;

namespace Ui {
class DeleteFilesForm;
}

// The file-operation dialog of the Perform command. Once shown it checks the trash or the
// target, runs the action over the checked files of the results (TFileWork, on a thread of its
// own so the window stays responsive), shows progress and every message in its memo, then
// brings the results up to date (files that went leave them, failed files stay checked) and
// lets the user save the log. While the run goes on, Esc and closing are ignored; Stop ends it
// between files. No close box.
//
// The finder and the settings must outlive the dialog; the finder is touched only on the main
// thread, after the run.
class TDeleteFilesForm : public QDialog {
    Q_OBJECT

public:
    TDeleteFilesForm(TDFinder& finder, const TSettings& settings, QWidget* parent = nullptr);
    // Stops a run still going and waits for it.
    ~TDeleteFilesForm() override;

    // The action to run, from which the caption and the operation word follow.
    void SetAction(TPerformAction action);
    const std::string& OperationWord() const { return FOperationWord; }

    // The log as it stands: one entry per line, file names byte for byte.
    const std::vector<std::string>& LogLines() const { return FLog; }
    bool Running() const { return FRunning; }

    // Tests decide what the trash holds and may hold, and which files can go to a trash.
    void SetTrashSpaceSource(TTrashSpaceSource source) { FTrashSpace = std::move(source); }
    void SetCanTrash(std::function<bool(const std::string& path)> canTrash)
    {
        FCanTrash = std::move(canTrash);
    }

Q_SIGNALS:
    // The run has ended (or ended before it began), and the log is complete.
    void RunEnded();

public Q_SLOTS:
    // Esc and the buttons that close the dialog do nothing while the run goes on.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // What the run reports, gathered from its threads and handed to the window in batches.
    class TReports : public TFileWorkEvents {
    public:
        explicit TReports(TDeleteFilesForm& form)
            : FForm(form)
        { }
        void Line(const std::string& line) override;
        void Progress(std::int32_t done, std::int32_t total) override;
        // Takes what has come since the last call.
        std::vector<std::string> TakeLines(std::int32_t& done);

    private:
        void Post();
        TDeleteFilesForm& FForm;
        std::mutex FLock;
        std::vector<std::string> FLines;
        std::int32_t FDone = 0;
        bool FPosted = false;
    };

    void RunFileOperation();
    void WorkEnded();
    void TakeReports();
    void AppendLines(const std::vector<std::string>& lines);
    // Ends the dialog's work before any file was touched, with the line that says why.
    void EndEarly(const std::string& line);
    void Finished();
    // The user said No or Cancel to a question before the run: the dialog closes.
    void CloseWithNothingDone();
    void StopButtonClick();
    void SaveLogButtonClick();
    void ErrorCodesInfoButtonClick();

    std::unique_ptr<Ui::DeleteFilesForm> FUi;
    TDFinder& FFinder;
    const TSettings& FSettings;
    TPerformAction FAction = paRecycleBin;
    std::string FOperationWord = "Delete";
    std::unique_ptr<TFileWork> FWork;
    TReports FReports {*this};
    std::thread FRunner;
    std::vector<std::string> FLog;
    TTrashSpaceSource FTrashSpace = TTrashSpaceSource::System();
    std::function<bool(const std::string& path)> FCanTrash;
    bool FShown = false;
    bool FRunning = false;
    bool FEnded = false;
    bool FStopping = false;
};

// Runs the dialog for the action modally through the program's questions (ExecDialog), owned
// by owner. Returns when the work is over and the dialog closed.
void RunFileOperationDialog(
    TDFinder& finder, const TSettings& settings, TPerformAction action, QWidget* owner);
