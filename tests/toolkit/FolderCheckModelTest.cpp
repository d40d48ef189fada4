#include "toolkit/FolderCheckModel.h"

#include "tests/support/TempTree.h"

#include <QFileSystemModel>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

using testing_support::TTempTree;

namespace {

using TState = TFolderCheckStore::TCheckState;

TEST(FolderCheckStore, MarksHoldForFoldersBelowThatAreNotLoadedAndMixedStatesAreComputed)
{
    using TStep = std::pair<std::string, bool>;
    struct TCase {
        const char* Label;
        std::vector<TStep> Steps;
        std::vector<std::pair<std::string, TState>> Expected;
    };
    const std::vector<TCase> cases = {
        {"a checked folder checks everything below it", {{"/d", true}},
            {{"/d", TFolderCheckStore::csChecked},
                {"/d/never/loaded", TFolderCheckStore::csChecked},
                {"/d2", TFolderCheckStore::csUnchecked}, {"/", TFolderCheckStore::csMixed}}},
        {"unchecking one child leaves the parent mixed", {{"/d", true}, {"/d/a", false}},
            {{"/d", TFolderCheckStore::csMixed}, {"/d/a", TFolderCheckStore::csUnchecked},
                {"/d/a/x", TFolderCheckStore::csUnchecked}, {"/d/b", TFolderCheckStore::csChecked},
                {"/", TFolderCheckStore::csMixed}}},
        {"checking a mixed folder checks its whole subtree",
            {{"/d", true}, {"/d/a", false}, {"/d", true}},
            {{"/d", TFolderCheckStore::csChecked}, {"/d/a", TFolderCheckStore::csChecked}}},
        {"unchecking the folder again leaves nothing checked",
            {{"/d", true}, {"/d/a", false}, {"/d", false}},
            {{"/d", TFolderCheckStore::csUnchecked}, {"/d/b", TFolderCheckStore::csUnchecked},
                {"/", TFolderCheckStore::csUnchecked}}},
        {"a checked child makes its unchecked ancestors mixed", {{"/d/a/x", true}},
            {{"/d/a", TFolderCheckStore::csMixed}, {"/d", TFolderCheckStore::csMixed},
                {"/d/b", TFolderCheckStore::csUnchecked},
                {"/d/a/x/y", TFolderCheckStore::csChecked}}},
        {"paths compare exactly and by whole components", {{"/x/Foo", true}},
            {{"/x/foo", TFolderCheckStore::csUnchecked},
                {"/x/Foobar", TFolderCheckStore::csUnchecked},
                {"/x/Foo/", TFolderCheckStore::csChecked}}},
        {"the root", {{"/", true}, {"/tmp", false}},
            {{"/", TFolderCheckStore::csMixed}, {"/home", TFolderCheckStore::csChecked},
                {"/tmp/x", TFolderCheckStore::csUnchecked}}},
    };
    for (const TCase& c : cases) {
        TFolderCheckStore store;
        for (const TStep& step : c.Steps) {
            store.SetChecked(step.first, step.second);
        }
        for (const auto& [folder, state] : c.Expected) {
            EXPECT_EQ(store.StateOf(folder), state) << c.Label << ": " << folder;
        }
    }
    TFolderCheckStore store;
    store.SetChecked("/d", true);
    store.SetChecked("/d", false);
    EXPECT_TRUE(store.IsEmpty());
}

TEST(FolderCheckStore, TheCheckedFoldersAreTheTopmostFullyCheckedOnes)
{
    TTempTree tree;
    for (const char* folder : {"d/a/x", "d/a/y", "d/b", "d/c", "e/only"}) {
        tree.AddFolder(folder);
    }
    const std::string d = tree.Path("d");
    const std::string e = tree.Path("e");
    using TStep = std::pair<std::string, bool>;
    struct TCase {
        const char* Label;
        std::vector<TStep> Steps;
        std::vector<std::string> Expected;
    };
    const std::vector<TCase> cases = {
        {"one checked folder stands for its subtree", {{d, true}}, {d}},
        {"its checked subfolder does not come back", {{d + "/a/x", true}, {d, true}}, {d}},
        {"below a mixed folder its other subfolders", {{d, true}, {d + "/a", false}},
            {d + "/b", d + "/c"}},
        {"deeper down, only the checked part", {{d, true}, {d + "/a/x", false}},
            {d + "/a/y", d + "/b", d + "/c"}},
        {"a checked folder below an unchecked one",
            {{d, true}, {d + "/a", false}, {d + "/a/x", true}}, {d + "/a/x", d + "/b", d + "/c"}},
        {"a mixed folder whose only subfolder is unchecked", {{e, true}, {e + "/only", false}}, {}},
        {"nothing checked", {}, {}},
    };
    for (const TCase& c : cases) {
        TFolderCheckStore store;
        for (const TStep& step : c.Steps) {
            store.SetChecked(step.first, step.second);
        }
        std::vector<std::string> checked = store.CheckedFolders(ListSubfolders);
        std::sort(checked.begin(), checked.end());
        EXPECT_EQ(checked, c.Expected) << c.Label;
    }
}

TEST(FolderCheckProxy, ACheckedFolderShowsItsFoldersCheckedWhenTheyLoadAndAnUncheckedOneMixesIt)
{
    TTempTree tree;
    tree.AddFolder("top/a");
    tree.AddFolder("top/b");
    tree.AddFolder("top/.hidden");
    tree.AddFile("top/file.txt", "x");
    const QString top = QString::fromStdString(tree.Path("top"));

    QFileSystemModel folders;
    folders.setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    folders.setRootPath(QString::fromStdString(tree.Root()));
    TFolderCheckProxy proxy(&folders);
    QSignalSpy checks(&proxy, &TFolderCheckProxy::CheckChanged);

    const QPersistentModelIndex topIndex = proxy.IndexOf(top.toStdString());
    ASSERT_TRUE(topIndex.isValid());
    EXPECT_TRUE(proxy.flags(topIndex) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(proxy.flags(topIndex) & Qt::ItemIsEditable);
    ASSERT_TRUE(proxy.setData(topIndex, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(checks.count(), 1);

    // The folders below load only now, after the mark was set.
    proxy.fetchMore(topIndex);
    ASSERT_TRUE(QTest::qWaitFor([&] { return proxy.rowCount(topIndex) == 3; }, 10000));
    std::vector<std::string> names;
    for (int row = 0; row < proxy.rowCount(topIndex); ++row) {
        const QModelIndex child = proxy.index(row, 0, topIndex);
        names.push_back(proxy.PathOf(child).substr(top.size() + 1));
        EXPECT_EQ(proxy.data(child, Qt::CheckStateRole).toInt(), Qt::Checked);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> {".hidden", "a", "b"}));
    EXPECT_EQ(proxy.columnCount(topIndex), 1);

    QSignalSpy repainted(&proxy, &QAbstractItemModel::dataChanged);
    const QModelIndex a = proxy.IndexOf(top.toStdString() + "/a");
    proxy.setData(a, Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(proxy.data(a, Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(proxy.data(topIndex, Qt::CheckStateRole).toInt(), Qt::PartiallyChecked);
    const bool topRepainted = std::any_of(repainted.begin(), repainted.end(),
        [&](const QList<QVariant>& args) { return args.at(0).toModelIndex() == topIndex; });
    EXPECT_TRUE(topRepainted);

    // A folder named as hidden is left out of the tree.
    proxy.SetHiddenFolders({top + QStringLiteral("/.hidden")});
    EXPECT_EQ(proxy.rowCount(topIndex), 2);
}

} // namespace
