#include "ui/DeleteFilesUnit.h"

#include "ui_DeleteFilesUnit.h"

#include "engine/DFinder.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/SystemServices.h"
#include "platform/SysCalls.h"
#include "toolkit/HelpLinks.h"
#include "toolkit/MessageBoxes.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QShowEvent>

#include <cerrno>

namespace {

QString ShownText(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

// ---- reports from the run ----------------------------------------------------------------

void TDeleteFilesForm::TReports::Line(const std::string& line)
{
    std::lock_guard guard(FLock);
    FLines.push_back(line);
    Post();
}

void TDeleteFilesForm::TReports::Progress(std::int32_t done, std::int32_t)
{
    std::lock_guard guard(FLock);
    FDone = done;
    Post();
}

std::vector<std::string> TDeleteFilesForm::TReports::TakeLines(std::int32_t& done)
{
    std::lock_guard guard(FLock);
    FPosted = false;
    done = FDone;
    return std::exchange(FLines, {});
}

void TDeleteFilesForm::TReports::Post()
{
    // One queued call takes everything that comes until the window gets to it, so a run of
    // many files reaches the memo in batches.
    if (!FPosted) {
        FPosted = true;
        QMetaObject::invokeMethod(
            &FForm, [form = &FForm] { form->TakeReports(); }, Qt::QueuedConnection);
    }
}

// ---- the dialog --------------------------------------------------------------------------

TDeleteFilesForm::TDeleteFilesForm(TDFinder& finder, const TSettings& settings, QWidget* parent)
    : QDialog(parent)
    , FUi(std::make_unique<Ui::DeleteFilesForm>())
    , FFinder(finder)
    , FSettings(settings)
{
    FUi->setupUi(this);
    // No border icons: no close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    FUi->ProgressBar->setRange(0, 1);
    connect(FUi->StopButton, &QPushButton::clicked, this, &TDeleteFilesForm::StopButtonClick);
    connect(FUi->SaveLogButton, &QPushButton::clicked, this, &TDeleteFilesForm::SaveLogButtonClick);
    connect(FUi->ErrorCodesInfoButton, &QPushButton::clicked, this,
        &TDeleteFilesForm::ErrorCodesInfoButtonClick);
}

TDeleteFilesForm::~TDeleteFilesForm()
{
    if (FWork) {
        FWork->Stop();
    }
    if (FRunner.joinable()) {
        FRunner.join();
    }
}

void TDeleteFilesForm::SetAction(TPerformAction action)
{
    FAction = action;
    FOperationWord = OperationWordOf(action);
    setWindowTitle(ShownText(DialogCaptionOf(action)));
}

void TDeleteFilesForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!FShown) {
        FShown = true;
        QMetaObject::invokeMethod(this, &TDeleteFilesForm::RunFileOperation, Qt::QueuedConnection);
    }
}

void TDeleteFilesForm::closeEvent(QCloseEvent* event)
{
    if (FRunning || !FEnded) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TDeleteFilesForm::reject()
{
    if (FRunning || !FEnded) {
        return;
    }
    QDialog::reject();
}

void TDeleteFilesForm::RunFileOperation()
{
    try {
        FUi->ErrorMemo->clear();
        FLog.clear();
        TFileWorkOptions options;
        options.Action = FAction;
        options.TargetFolder = FSettings.MoveToFolder;
        options.KeepFolderStructure = FSettings.KeepFolderStructure;
        options.DeleteEmptyFolders = FSettings.DeleteEmptyFolders;
        options.Priority = FSettings.Priority;
        for (const TFinderFolder& folder : FFinder.Folders) {
            options.ScanRoots.push_back(folder.Folder);
        }
        FWork = std::make_unique<TFileWork>(CollectWorkGroups(FFinder), options);
        if (FCanTrash) {
            FWork->CanTrash = FCanTrash;
        }

        if (FAction == paRecycleBin) {
            if (FWork->HasNonRecyclableFiles()) {
                if (!ShowConfirmMessage(
                        "Some of the files you're trying to delete are on removable media or "
                        "network drives.\r\nSuch files cannot be deleted to the Recycle Bin and "
                        "will be deleted permanently.\r\n\r\nDo you want to continue?",
                        this)) {
                    CloseWithNothingDone();
                    return;
                }
                FWork->AllowPermanentDeleteOfNonRecyclable(true);
            }
            while (!FWork->CheckRecycleBinSpace(FTrashSpace)) {
                if (!ShowRetryCancelError(
                        "You don't have enough space in your Recycle Bin to delete the "
                        "files.\r\nIncrease the Recycle Bin size and try again.",
                        this)) {
                    CloseWithNothingDone();
                    return;
                }
            }
        }
        if (FAction == paMove || FAction == paCopy) {
            if (std::string line = FWork->CheckTarget(); !line.empty()) {
                EndEarly(line);
                return;
            }
        }

        FUi->ProgressBar->SetMax(std::max(1, FWork->CheckedCount()));
        FUi->ProgressBar->SetPosition(0);
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        FRunning = true;
        FRunner = std::thread([this] {
            try {
                FWork->Run(FReports);
            } catch (...) {
                // Files without a result stay checked and count as not done.
            }
            QMetaObject::invokeMethod(this, &TDeleteFilesForm::WorkEnded, Qt::QueuedConnection);
        });
    } catch (const std::exception& error) {
        EndEarly(error.what());
    }
}

void TDeleteFilesForm::CloseWithNothingDone()
{
    FEnded = true;
    Q_EMIT RunEnded();
    QDialog::reject();
}

void TDeleteFilesForm::TakeReports()
{
    std::int32_t done = 0;
    std::vector<std::string> lines = FReports.TakeLines(done);
    AppendLines(lines);
    if (FWork && FRunning) {
        FUi->ProgressBar->SetPosition(done);
        if (std::string status = StatusTextOf(FAction, done, FWork->CheckedCount());
            !status.empty()) {
            FUi->StatusLabel->setText(ShownText(status));
        }
    }
}

void TDeleteFilesForm::AppendLines(const std::vector<std::string>& lines)
{
    if (lines.empty()) {
        return;
    }
    QString block;
    for (const std::string& line : lines) {
        if (!block.isEmpty()) {
            block += QLatin1Char('\n');
        }
        block += ShownText(line);
    }
    FLog.insert(FLog.end(), lines.begin(), lines.end());
    FUi->ErrorMemo->appendPlainText(block);
    ScrollMemoToEnd(FUi->ErrorMemo);
}

void TDeleteFilesForm::WorkEnded()
{
    if (FRunner.joinable()) {
        FRunner.join();
    }
    TakeReports();
    FRunning = false;
    QGuiApplication::restoreOverrideCursor();
    FUi->StatusLabel->setText(ShownText(EndStatusTextOf(FAction, FWork->StopRequested())));
    FUi->ProgressBar->SetMax(1);
    FUi->ProgressBar->SetPosition(0);
    try {
        TWorkSummary summary =
            ApplyWorkResults(FFinder, *FWork, WebLinks::ErrorCodesPage().toString().toStdString());
        AppendLines(summary.Lines);
    } catch (const std::exception& error) {
        AppendLines({error.what()});
    }
    Finished();
}

void TDeleteFilesForm::EndEarly(const std::string& line)
{
    AppendLines({line});
    Finished();
}

void TDeleteFilesForm::Finished()
{
    FEnded = true;
    FUi->SaveLogButton->setEnabled(true);
    FUi->StopButton->setText(QStringLiteral("Close"));
    FUi->StopButton->setEnabled(true);
    FUi->StopButton->setFocus();
    ScrollMemoToEnd(FUi->ErrorMemo);
    Q_EMIT RunEnded();
}

void TDeleteFilesForm::StopButtonClick()
{
    if (FEnded) {
        accept();
        return;
    }
    if (FRunning && FWork) {
        // The run ends between files; the dialog can be closed once it has.
        FWork->Stop();
        FUi->StopButton->setText(QStringLiteral("Close"));
        FUi->StopButton->setEnabled(false);
        FUi->ProgressBar->SetMarquee(false);
    }
}

void TDeleteFilesForm::SaveLogButtonClick()
{
    const std::string path = GetSaveFileName(
        "Save Log File", "Log Files (*.log)", GetMyDocumentsFolder() + "TWRK_LogFile.log");
    if (path.empty()) {
        return;
    }
    std::string text;
    for (const std::string& line : FLog) {
        text += line;
        text += "\r\n";
    }
    platform::TUniqueFd file(
        platform::Sys().Open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, 0644));
    int error = file.Valid() ? platform::WriteAll(file.Get(), text).Code : errno;
    if (error == 0 && platform::Sys().Close(file.Release()) != 0 && errno != EINTR) {
        error = errno;
    }
    if (error != 0) {
        ShowErrorMessage(
            "Cannot save the log file " + path + "\r\n" + platform::TSysError {error}.Text(), this);
    }
}

void TDeleteFilesForm::ErrorCodesInfoButtonClick()
{
    OpenWebAddress(WebLinks::ErrorCodesPage());
}

void RunFileOperationDialog(
    TDFinder& finder, const TSettings& settings, TPerformAction action, QWidget* owner)
{
    TDeleteFilesForm form(finder, settings, owner);
    form.SetAction(action);
    ExecDialog(&form);
}
