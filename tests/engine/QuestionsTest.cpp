#include "engine/Questions.h"

#include <QObject>

#include <string>
#include <vector>

#include <gtest/gtest.h>

TEST(Questions, WithNothingInstalledEveryQuestionIsAnsweredNoAndTheMessageGoesToStderr)
{
    ::testing::internal::CaptureStderr();
    ShowErrorMessage("The file \"a.txt\" could not be read.");
    bool confirmed = ShowConfirmMessage("Clear the results?");
    bool retried = ShowRetryCancelError("Disk full.");
    std::string folder = BrowseForFolder("Select target folder", "", "/tmp/");
    std::string written = ::testing::internal::GetCapturedStderr();

    EXPECT_FALSE(confirmed);
    EXPECT_FALSE(retried);
    EXPECT_EQ(folder, "");
    EXPECT_NE(written.find("Error: The file \"a.txt\" could not be read."), std::string::npos);
    EXPECT_NE(written.find("Confirm: Clear the results?"), std::string::npos);
    EXPECT_NE(written.find("Error: Disk full."), std::string::npos);
}

TEST(Questions, TheProgramsQuestionsGoToTheInstalledAnswersUntilTheScopeEnds)
{
    TScriptedQuestions outer;
    TScopedQuestions outerScope(outer);
    {
        TScriptedQuestions inner;
        TScopedQuestions innerScope(inner);
        inner.AnswerConfirm(true);
        EXPECT_TRUE(ShowConfirmMessage("inner"));
        EXPECT_EQ(
            inner.AskedTexts(TScriptedQuestions::qkConfirm), std::vector<std::string> {"inner"});
    }
    outer.AnswerConfirm(false);
    EXPECT_FALSE(ShowConfirmMessage("outer"));
    EXPECT_EQ(outer.AskedTexts(TScriptedQuestions::qkConfirm), std::vector<std::string> {"outer"});
    EXPECT_EQ(&Questions(), &outer);
}

TEST(Questions, AChosenFolderEndsWithOneSlashAndCancelStaysEmpty)
{
    TScriptedQuestions scripted;
    TScopedQuestions scope(scripted);
    struct TCase {
        std::string Picked;
        std::string Expected;
    };
    const std::vector<TCase> cases = {
        {"/home/user/Target", "/home/user/Target/"},
        {"/home/user/Target/", "/home/user/Target/"},
        {"/", "/"},
        {"", ""},
    };
    for (const TCase& c : cases) {
        scripted.AnswerFolder(c.Picked);
        EXPECT_EQ(BrowseForFolder("Select target folder", "", "/home/user/"), c.Expected)
            << c.Picked;
    }
    ASSERT_EQ(scripted.Asked().size(), cases.size());
    EXPECT_EQ(scripted.Asked().front().Kind, TScriptedQuestions::qkBrowseForFolder);
    EXPECT_EQ(scripted.Asked().front().Text, "Select target folder");
    EXPECT_EQ(scripted.Asked().front().Initial, "/home/user/");
}

TEST(ScriptedQuestions, AnswersAreTakenInOrderAndAQuestionOutOfTurnGetsNo)
{
    TScriptedQuestions scripted;
    scripted.AnswerRetry(true);
    scripted.AnswerConfirm(true);

    // Messages need no answer and leave the queue alone.
    scripted.ShowErrorMessage("first error", nullptr);
    // The confirmation comes before its turn: it gets No and the queue stays as it was.
    EXPECT_FALSE(scripted.ShowConfirmMessage("too early", nullptr));
    EXPECT_EQ(scripted.Unexpected(), 1);
    EXPECT_EQ(scripted.AnswersLeft(), 2u);

    EXPECT_TRUE(scripted.ShowRetryCancelError("retry?", nullptr));
    EXPECT_TRUE(scripted.ShowConfirmMessage("now", nullptr));
    EXPECT_FALSE(scripted.ShowRetryCancelError("nothing left", nullptr));
    EXPECT_EQ(scripted.Unexpected(), 2);
    EXPECT_EQ(scripted.AnswersLeft(), 0u);

    std::vector<TScriptedQuestions::TQuestionKind> kinds;
    for (const auto& asked : scripted.Asked()) {
        kinds.push_back(asked.Kind);
    }
    EXPECT_EQ(kinds,
        (std::vector<TScriptedQuestions::TQuestionKind> {TScriptedQuestions::qkError,
            TScriptedQuestions::qkConfirm, TScriptedQuestions::qkRetryCancel,
            TScriptedQuestions::qkConfirm, TScriptedQuestions::qkRetryCancel}));
    EXPECT_EQ(
        scripted.AskedTexts(TScriptedQuestions::qkError), std::vector<std::string> {"first error"});
}

TEST(ScriptedQuestions, DialogsAndFilePickersAreAnsweredInTurnAndRecorded)
{
    TScriptedQuestions scripted;
    TScopedQuestions scope(scripted);
    QObject dialog;
    dialog.setObjectName(QStringLiteral("FilterForm"));
    QObject* seen = nullptr;
    scripted.AnswerDialog([&seen](QObject* shown) {
        seen = shown;
        return 1;
    });
    scripted.AnswerSaveFile("/home/user/a.twrk");
    scripted.AnswerOpenFile("");

    EXPECT_EQ(ExecDialog(&dialog), 1);
    EXPECT_EQ(seen, &dialog);
    EXPECT_EQ(GetSaveFileName("Save As", "Projects (*.twrk)", "/home/user/"), "/home/user/a.twrk");
    EXPECT_EQ(GetOpenFileName("Open", "", ""), "");
    // Nothing queued: the dialog counts as cancelled.
    EXPECT_EQ(ExecDialog(&dialog), 0);
    EXPECT_EQ(scripted.Unexpected(), 1);

    ASSERT_EQ(scripted.Asked().size(), 4u);
    EXPECT_EQ(scripted.Asked()[0].Kind, TScriptedQuestions::qkDialog);
    EXPECT_EQ(scripted.Asked()[0].Text, "FilterForm");
    EXPECT_EQ(scripted.Asked()[1].Kind, TScriptedQuestions::qkSaveFile);
    EXPECT_EQ(scripted.Asked()[1].Root, "Projects (*.twrk)");
    EXPECT_EQ(scripted.Asked()[2].Kind, TScriptedQuestions::qkOpenFile);
}
