#include "ui/MruUnit.h"

#include "engine/ZYGlobals.h"
#include "tests/ui/UiRegistryFixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QMessageBox>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using platform::TRegValue;

class RecentFiles : public TUiTest {
protected:
    void Put(int slot, const std::string& name)
    {
        ASSERT_FALSE(FStore.WriteValue(RegistryRoot, MruValueName(slot), TRegValue::String(name)));
    }
    std::optional<std::string> Stored(int slot)
    {
        TRegValue value;
        if (FStore.ReadValue(RegistryRoot, MruValueName(slot), value)) {
            return std::nullopt;
        }
        return value.Data;
    }
    // The main window's list: five entries, full paths, in a "Reopen" submenu.
    std::unique_ptr<TMostRecentFiles> MakeList()
    {
        auto list = std::make_unique<TMostRecentFiles>();
        list->SetMaxFiles(5);
        list->SetShowFullPath(true);
        list->SetOwnerMenuItem(&FReopen);
        list->SetRegPath(RegistryRoot);
        return list;
    }
    std::vector<QString> Captions() const
    {
        std::vector<QString> captions;
        for (QAction* item : FReopen.actions()) {
            captions.push_back(item->isSeparator() ? QStringLiteral("-") : item->text());
        }
        return captions;
    }
    QAction* Item(int k) const { return FReopen.actions().at(k); }

    QMenu FReopen {QStringLiteral("Reopen")};
};

TEST_F(RecentFiles, LoadingStopsAtTheFirstMissingSlotAndSkipsBlankOnes)
{
    struct TCase {
        const char* Label;
        std::vector<std::pair<int, std::string>> Slots;
        std::vector<std::string> Expected;
    };
    const std::vector<TCase> cases = {
        {"nothing stored", {}, {}},
        {"a gap ends the list", {{1, "/p/a.twrk"}, {2, "/p/b.twrk"}, {4, "/p/c.twrk"}},
            {"/p/a.twrk", "/p/b.twrk"}},
        {"blank entries are skipped", {{1, "  "}, {2, "/p/b.twrk"}, {3, ""}, {4, " /p/c "}},
            {"/p/b.twrk", " /p/c "}},
        {"slots beyond the count are not read",
            {{1, "/1"}, {2, "/2"}, {3, "/3"}, {4, "/4"}, {5, "/5"}, {6, "/6"}},
            {"/1", "/2", "/3", "/4", "/5"}},
    };
    for (const TCase& c : cases) {
        ASSERT_FALSE(FStore.DeleteKey(RegistryRoot));
        for (const auto& [slot, name] : c.Slots) {
            Put(slot, name);
        }
        auto list = MakeList();
        EXPECT_EQ(list->FileList(), c.Expected) << c.Label;
    }
}

TEST_F(RecentFiles, SavingWritesEverySlotAndTheListComesBack)
{
    {
        auto list = MakeList();
        list->AddFile("/p/old.twrk");
        list->AddFile("/p/new & shiny.twrk");
        EXPECT_EQ(Captions(),
            (std::vector<QString> {
                QStringLiteral("&1  /p/new && shiny.twrk"), QStringLiteral("&2  /p/old.twrk")}));
        ASSERT_TRUE(list->SaveToRegistry());
    }
    EXPECT_EQ(Stored(1), "/p/new & shiny.twrk");
    EXPECT_EQ(Stored(2), "/p/old.twrk");
    for (int slot : {3, 4, 5}) {
        EXPECT_EQ(Stored(slot), "") << slot;
    }
    EXPECT_EQ(Stored(6), std::nullopt);
    auto list = MakeList();
    EXPECT_EQ(list->FileList(), (std::vector<std::string> {"/p/new & shiny.twrk", "/p/old.twrk"}));
}

TEST_F(RecentFiles, AddingPutsAFileOnTopOnceAndDropsTheOldestBeyondTheCount)
{
    struct TCase {
        const char* Label;
        std::vector<std::string> Before;
        std::string Added;
        std::vector<std::string> After;
    };
    const std::vector<TCase> cases = {
        {"into an empty list", {}, "/a", {"/a"}},
        {"already on top", {"/a", "/b"}, "/a", {"/a", "/b"}},
        {"the third goes to the top", {"/a", "/b", "/c"}, "/c", {"/c", "/a", "/b"}},
        {"another letter case is another file", {"/a", "/b", "/c"}, "/C", {"/C", "/a", "/b", "/c"}},
        {"a sixth drops the oldest", {"/1", "/2", "/3", "/4", "/5"}, "/6",
            {"/6", "/1", "/2", "/3", "/4"}},
    };
    for (const TCase& c : cases) {
        ASSERT_FALSE(FStore.DeleteKey(RegistryRoot));
        auto list = MakeList();
        for (auto it = c.Before.rbegin(); it != c.Before.rend(); ++it) {
            list->AddFile(*it);
        }
        ASSERT_EQ(list->FileList(), c.Before) << c.Label;
        list->AddFile(c.Added);
        EXPECT_EQ(list->FileList(), c.After) << c.Label;
        EXPECT_EQ(int(FReopen.actions().size()), int(c.After.size())) << c.Label;
    }
}

TEST_F(RecentFiles, TheCountIsKeptBetweenOneAndEight)
{
    TMostRecentFiles list;
    EXPECT_EQ(list.MaxFiles(), 4u);
    const std::vector<std::pair<unsigned, unsigned>> cases = {{0, 1}, {3, 3}, {8, 8}, {12, 8}};
    for (const auto& [set, kept] : cases) {
        list.SetMaxFiles(set);
        EXPECT_EQ(list.MaxFiles(), kept) << set;
    }
}

TEST_F(RecentFiles, ItemsGoBetweenSeparatorsOnlyWhereOtherItemsAreAndForeignItemsStay)
{
    QAction before(QStringLiteral("Before"));
    QAction after(QStringLiteral("After"));
    auto list = MakeList();
    list->AddFile("/a");
    EXPECT_EQ(Captions(), (std::vector<QString> {QStringLiteral("&1  /a")}));

    FReopen.addAction(&before);
    FReopen.addAction(&after);
    list->SetMenuPosition(1);
    list->AddFile("/b");
    EXPECT_EQ(Captions(),
        (std::vector<QString> {QStringLiteral("Before"), QStringLiteral("-"),
            QStringLiteral("&1  /b"), QStringLiteral("&2  /a"), QStringLiteral("-"),
            QStringLiteral("After")}));
}

TEST_F(RecentFiles, ChoosingAnEntryOpensAPresentFileAndDropsAMissingOne)
{
    const std::string present = FTree.AddFile("present.twrk", "x");
    const std::string second = FTree.AddFile("second.twrk", "x");
    const std::string missing = FTree.Path("missing.twrk");
    auto list = MakeList();
    for (const std::string& name : {missing, second, present}) {
        list->AddFile(name);
    }
    std::vector<std::string> opened;
    std::vector<std::string> gone;
    list->OnMenuClick = [&](QObject* sender, const std::string& name) {
        EXPECT_EQ(sender, list.get());
        opened.push_back(name);
    };
    list->OnFileNotExist = [&](QObject*, const std::string& name) { gone.push_back(name); };

    Item(0)->trigger(); // the first entry: no reordering
    EXPECT_EQ(opened, std::vector<std::string> {present});
    EXPECT_EQ(list->FileList(), (std::vector<std::string> {present, second, missing}));

    Item(1)->trigger(); // the second moves to the top
    EXPECT_EQ(opened.back(), second);
    EXPECT_EQ(list->FileList(), (std::vector<std::string> {second, present, missing}));
    // The chosen item was rebuilt away but lives until the event loop deletes it.
    EXPECT_EQ(int(FReopen.actions().size()), 3);

    Item(2)->trigger(); // the missing file is reported and removed
    EXPECT_EQ(gone, std::vector<std::string> {missing});
    EXPECT_EQ(list->FileList(), (std::vector<std::string> {second, present}));
    EXPECT_EQ(opened.size(), 2u);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Captions().size(), 2u);
}

TEST_F(RecentFiles, WithoutAHandlerAClickDoesNothingAndAMissingFileHasABoxOfItsOwn)
{
    const std::string missing = FTree.Path("gone.twrk");
    auto list = MakeList();
    list->AddFile(missing);
    Item(0)->trigger();
    EXPECT_EQ(list->FileList(), std::vector<std::string> {missing});
    EXPECT_TRUE(FQuestions.Asked().empty());

    list->OnMenuClick = [](QObject*, const std::string&) { ADD_FAILURE() << "opened"; };
    QString text;
    FQuestions.AnswerDialog([&text](QObject* dialog) {
        text = qobject_cast<QMessageBox*>(dialog)->text();
        return int(QMessageBox::Ok);
    });
    Item(0)->trigger();
    EXPECT_EQ(text,
        QStringLiteral("The file ...\n\"%1\"\nno longer exists.")
            .arg(QString::fromStdString(missing)));
    EXPECT_TRUE(list->FileList().empty());
    EXPECT_TRUE(Captions().empty());
}

} // namespace
