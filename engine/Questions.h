#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

class QObject;

// The captions of the standard message boxes.
inline const std::string ErrorCaption = "Error";
inline const std::string ConfirmCaption = "Confirm";

// Every question the program asks the user and every message it shows goes through the one
// installed TQuestions, so each command can run headless with the answers given in advance.
// The user interface installs the implementation with the real dialogs at start-up; until
// then (and in tests that install nothing) the default one answers every question with No,
// Cancel or nothing and writes the message to the standard error stream.
//
// Owner: the window that owns the box, or null to let the implementation choose (the active
// window, else the main window). Called on the main thread.
class TQuestions {
public:
    virtual ~TQuestions() = default;

    // An error box: caption "Error", an OK button, the error icon.
    virtual void ShowErrorMessage(const std::string& text, QObject* owner) = 0;
    // A question box: caption "Confirm", Yes and No, the warning icon. True on Yes; closing
    // the box counts as No.
    virtual bool ShowConfirmMessage(const std::string& text, QObject* owner) = 0;
    // An error box: caption "Error", Retry and Cancel, the error icon. True on Retry; closing
    // the box counts as Cancel.
    virtual bool ShowRetryCancelError(const std::string& text, QObject* owner) = 0;
    // The folder picker: only folders of the file system can be chosen; root limits the
    // folders shown ("" for the whole file system) and initial is preselected when not
    // empty. The chosen folder, or "" when the user cancelled.
    virtual std::string BrowseForFolder(
        const std::string& title, const std::string& root, const std::string& initial) = 0;
    // Any other modal window of the user interface: the dialog (a QDialog, handed over as its
    // QObject so this layer needs no widgets) is shown and run until the user closes it; the
    // result is the dialog's result (QDialog::Accepted, QDialog::Rejected or a modal result of
    // its own). The caller keeps ownership. Windows are told apart by their object names.
    virtual int ExecDialog(QObject* dialog) = 0;
    // The file pickers: an existing file to open, or a file name to save under. filter is in
    // Qt's form ("Projects (*.twrk);;All files (*)"); initial is the file or folder to start
    // in. The chosen path, or "" when the user cancelled.
    virtual std::string GetOpenFileName(
        const std::string& title, const std::string& filter, const std::string& initial) = 0;
    virtual std::string GetSaveFileName(
        const std::string& title, const std::string& filter, const std::string& initial) = 0;
};

// The implementation in force: the installed one, else the default.
TQuestions& Questions();
// Installs the implementation the program uses from now on (null: the default again). The
// caller keeps ownership and uninstalls it before destroying it.
void InstallQuestions(TQuestions* questions);

// Installs an implementation for the lifetime of the object and restores the previous one.
class TScopedQuestions {
public:
    explicit TScopedQuestions(TQuestions& questions);
    ~TScopedQuestions();
    TScopedQuestions(const TScopedQuestions&) = delete;
    TScopedQuestions& operator=(const TScopedQuestions&) = delete;

private:
    TQuestions* FPrevious;
};

// Used when nothing is installed: writes each message to stderr and answers No, Cancel or
// nothing.
class TDefaultQuestions : public TQuestions {
public:
    void ShowErrorMessage(const std::string& text, QObject* owner) override;
    bool ShowConfirmMessage(const std::string& text, QObject* owner) override;
    bool ShowRetryCancelError(const std::string& text, QObject* owner) override;
    std::string BrowseForFolder(
        const std::string& title, const std::string& root, const std::string& initial) override;
    // Runs nothing: the dialog counts as cancelled (QDialog::Rejected, 0).
    int ExecDialog(QObject* dialog) override;
    std::string GetOpenFileName(
        const std::string& title, const std::string& filter, const std::string& initial) override;
    std::string GetSaveFileName(
        const std::string& title, const std::string& filter, const std::string& initial) override;
};

// Answers given in advance, for tests of every layer: queue the answers in the order the
// questions will be asked, run the command, then check what was asked. A question whose turn
// finds no answer of its kind at the front of the queue gets No, Cancel or nothing, and is
// counted in Unexpected(). Error messages need no answer; they are only recorded.
class TScriptedQuestions : public TQuestions {
public:
    enum TQuestionKind {
        qkError,
        qkConfirm,
        qkRetryCancel,
        qkBrowseForFolder,
        qkDialog,
        qkOpenFile,
        qkSaveFile
    };

    // What the user does in a modal dialog: called with the dialog while it is "shown" (built
    // and filled, not on screen); it may read and set the dialog's controls, found by their
    // object names, or click its buttons, and returns the dialog's result.
    using TDialogAnswer = std::function<int(QObject* dialog)>;

    struct TAsked {
        TQuestionKind Kind = qkError;
        // The message, the picker's title, or the dialog's object name.
        std::string Text;
        std::string Root; // the folder picker's root, or a file picker's filter
        std::string Initial;
        QObject* Owner = nullptr;
    };

    void AnswerConfirm(bool yes);
    void AnswerRetry(bool retry);
    // The folder the user picks, "" for Cancel.
    void AnswerFolder(const std::string& folder);
    void AnswerDialog(TDialogAnswer answer);
    // The file the user picks in the open or the save picker, "" for Cancel.
    void AnswerOpenFile(const std::string& path);
    void AnswerSaveFile(const std::string& path);

    const std::vector<TAsked>& Asked() const { return FAsked; }
    // The texts of the questions and messages of one kind, in order.
    std::vector<std::string> AskedTexts(TQuestionKind kind) const;
    // Questions that found no matching answer queued.
    int Unexpected() const { return FUnexpected; }
    // Answers that no question has used yet.
    std::size_t AnswersLeft() const { return FAnswers.size(); }

    void ShowErrorMessage(const std::string& text, QObject* owner) override;
    bool ShowConfirmMessage(const std::string& text, QObject* owner) override;
    bool ShowRetryCancelError(const std::string& text, QObject* owner) override;
    std::string BrowseForFolder(
        const std::string& title, const std::string& root, const std::string& initial) override;
    // Runs the queued answer; with none queued the dialog counts as cancelled (0).
    int ExecDialog(QObject* dialog) override;
    std::string GetOpenFileName(
        const std::string& title, const std::string& filter, const std::string& initial) override;
    std::string GetSaveFileName(
        const std::string& title, const std::string& filter, const std::string& initial) override;

private:
    struct TAnswer {
        TQuestionKind Kind;
        bool Yes;
        std::string Folder; // the folder or file picked
        TDialogAnswer Dialog;
    };
    // Takes the front answer when it is of the kind asked.
    bool TakeAnswer(TQuestionKind kind, TAnswer& answer);

    std::deque<TAnswer> FAnswers;
    std::vector<TAsked> FAsked;
    int FUnexpected = 0;
};

// The program's questions, forwarded to the installed implementation.
void ShowErrorMessage(const std::string& text, QObject* owner = nullptr);
bool ShowConfirmMessage(const std::string& text, QObject* owner = nullptr);
bool ShowRetryCancelError(const std::string& text, QObject* owner = nullptr);
// The chosen folder with a trailing "/", or "" when the user cancelled.
std::string BrowseForFolder(
    const std::string& title, const std::string& root, const std::string& initial);
// Runs a modal dialog through the installed implementation and returns its result.
int ExecDialog(QObject* dialog);
std::string GetOpenFileName(
    const std::string& title, const std::string& filter, const std::string& initial);
std::string GetSaveFileName(
    const std::string& title, const std::string& filter, const std::string& initial);
