#include "engine/Questions.h"

#include <QObject>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<TQuestions*> InstalledQuestions {nullptr};

TQuestions& DefaultQuestions()
{
    static TDefaultQuestions questions;
    return questions;
}

void WriteToStderr(
    const std::string& caption, const std::string& text, const char* answer = nullptr)
{
    std::string line = caption + ": " + text;
    if (answer) {
        line += std::string(" [") + answer + "]";
    }
    line += "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

} // namespace

TQuestions& Questions()
{
    TQuestions* questions = InstalledQuestions.load(std::memory_order_acquire);
    return questions ? *questions : DefaultQuestions();
}

void InstallQuestions(TQuestions* questions)
{
    InstalledQuestions.store(questions, std::memory_order_release);
}

TScopedQuestions::TScopedQuestions(TQuestions& questions)
    : FPrevious(InstalledQuestions.exchange(&questions, std::memory_order_acq_rel))
{ }

TScopedQuestions::~TScopedQuestions()
{
    InstalledQuestions.store(FPrevious, std::memory_order_release);
}

// ---- the default ---------------------------------------------------------------------------

void TDefaultQuestions::ShowErrorMessage(const std::string& text, QObject*)
{
    WriteToStderr(ErrorCaption, text);
}

bool TDefaultQuestions::ShowConfirmMessage(const std::string& text, QObject*)
{
    WriteToStderr(ConfirmCaption, text, "No");
    return false;
}

bool TDefaultQuestions::ShowRetryCancelError(const std::string& text, QObject*)
{
    WriteToStderr(ErrorCaption, text, "Cancel");
    return false;
}

std::string TDefaultQuestions::BrowseForFolder(
    const std::string& title, const std::string&, const std::string&)
{
    WriteToStderr(title, "no folder chosen", "Cancel");
    return {};
}

int TDefaultQuestions::ExecDialog(QObject* dialog)
{
    WriteToStderr(dialog ? dialog->objectName().toStdString() : std::string("dialog"),
        "not shown", "Cancel");
    return 0;
}

std::string TDefaultQuestions::GetOpenFileName(
    const std::string& title, const std::string&, const std::string&)
{
    WriteToStderr(title, "no file chosen", "Cancel");
    return {};
}

std::string TDefaultQuestions::GetSaveFileName(
    const std::string& title, const std::string&, const std::string&)
{
    WriteToStderr(title, "no file chosen", "Cancel");
    return {};
}

// ---- answers given in advance ----------------------------------------------------------------

void TScriptedQuestions::AnswerConfirm(bool yes)
{
    FAnswers.push_back({qkConfirm, yes, {}, {}});
}

void TScriptedQuestions::AnswerRetry(bool retry)
{
    FAnswers.push_back({qkRetryCancel, retry, {}, {}});
}

void TScriptedQuestions::AnswerFolder(const std::string& folder)
{
    FAnswers.push_back({qkBrowseForFolder, !folder.empty(), folder, {}});
}

void TScriptedQuestions::AnswerDialog(TDialogAnswer answer)
{
    FAnswers.push_back({qkDialog, true, {}, std::move(answer)});
}

void TScriptedQuestions::AnswerOpenFile(const std::string& path)
{
    FAnswers.push_back({qkOpenFile, !path.empty(), path, {}});
}

void TScriptedQuestions::AnswerSaveFile(const std::string& path)
{
    FAnswers.push_back({qkSaveFile, !path.empty(), path, {}});
}

std::vector<std::string> TScriptedQuestions::AskedTexts(TQuestionKind kind) const
{
    std::vector<std::string> texts;
    for (const TAsked& asked : FAsked) {
        if (asked.Kind == kind) {
            texts.push_back(asked.Text);
        }
    }
    return texts;
}

bool TScriptedQuestions::TakeAnswer(TQuestionKind kind, TAnswer& answer)
{
    if (FAnswers.empty() || FAnswers.front().Kind != kind) {
        ++FUnexpected;
        return false;
    }
    answer = FAnswers.front();
    FAnswers.pop_front();
    return true;
}

void TScriptedQuestions::ShowErrorMessage(const std::string& text, QObject* owner)
{
    FAsked.push_back({qkError, text, {}, {}, owner});
}

bool TScriptedQuestions::ShowConfirmMessage(const std::string& text, QObject* owner)
{
    FAsked.push_back({qkConfirm, text, {}, {}, owner});
    TAnswer answer;
    return TakeAnswer(qkConfirm, answer) && answer.Yes;
}

bool TScriptedQuestions::ShowRetryCancelError(const std::string& text, QObject* owner)
{
    FAsked.push_back({qkRetryCancel, text, {}, {}, owner});
    TAnswer answer;
    return TakeAnswer(qkRetryCancel, answer) && answer.Yes;
}

std::string TScriptedQuestions::BrowseForFolder(
    const std::string& title, const std::string& root, const std::string& initial)
{
    FAsked.push_back({qkBrowseForFolder, title, root, initial, nullptr});
    TAnswer answer;
    return TakeAnswer(qkBrowseForFolder, answer) ? answer.Folder : std::string();
}

int TScriptedQuestions::ExecDialog(QObject* dialog)
{
    FAsked.push_back(
        {qkDialog, dialog ? dialog->objectName().toStdString() : std::string(), {}, {}, nullptr});
    TAnswer answer;
    if (!TakeAnswer(qkDialog, answer) || !answer.Dialog) {
        return 0;
    }
    return answer.Dialog(dialog);
}

std::string TScriptedQuestions::GetOpenFileName(
    const std::string& title, const std::string& filter, const std::string& initial)
{
    FAsked.push_back({qkOpenFile, title, filter, initial, nullptr});
    TAnswer answer;
    return TakeAnswer(qkOpenFile, answer) ? answer.Folder : std::string();
}

std::string TScriptedQuestions::GetSaveFileName(
    const std::string& title, const std::string& filter, const std::string& initial)
{
    FAsked.push_back({qkSaveFile, title, filter, initial, nullptr});
    TAnswer answer;
    return TakeAnswer(qkSaveFile, answer) ? answer.Folder : std::string();
}

// ---- the program's questions -----------------------------------------------------------------

void ShowErrorMessage(const std::string& text, QObject* owner)
{
    Questions().ShowErrorMessage(text, owner);
}

bool ShowConfirmMessage(const std::string& text, QObject* owner)
{
    return Questions().ShowConfirmMessage(text, owner);
}

bool ShowRetryCancelError(const std::string& text, QObject* owner)
{
    return Questions().ShowRetryCancelError(text, owner);
}

std::string BrowseForFolder(
    const std::string& title, const std::string& root, const std::string& initial)
{
    std::string folder = Questions().BrowseForFolder(title, root, initial);
    if (!folder.empty() && folder.back() != '/') {
        folder.push_back('/');
    }
    return folder;
}

int ExecDialog(QObject* dialog)
{
    return Questions().ExecDialog(dialog);
}

std::string GetOpenFileName(
    const std::string& title, const std::string& filter, const std::string& initial)
{
    return Questions().GetOpenFileName(title, filter, initial);
}

std::string GetSaveFileName(
    const std::string& title, const std::string& filter, const std::string& initial)
{
    return Questions().GetSaveFileName(title, filter, initial);
}
