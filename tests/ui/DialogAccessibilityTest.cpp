// Every control of the dialogs can be reached with the keyboard and names itself to
// assistive technology.
#include "ui/AboutUnit.h"
#include "ui/BrowseForFolderUnit.h"
#include "ui/ExcludeUnit.h"
#include "ui/FilterUnit.h"
#include "ui/OptionsFormUnit.h"
#include "ui/QuickCheckUnit.h"

#include "tests/ui/DialogTestSupport.h"

#include <QAccessible>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace dialog_tests;

namespace {

class TNoResults : public TQuickCheckTarget {
public:
    void CheckAllRows() override { }
    void UncheckAllRows(QWidget*) override { }
    TDFinder* Results() override { return nullptr; }
    void ChecksChanged() override { }
};

class DialogControls : public TDialogTest { };

TEST_F(DialogControls, EveryControlTakesTheFocusByTabAndHasAnAccessibleName)
{
    TNoResults noResults;
    TSettings settings = TSettings::Defaults();
    const std::vector<std::function<std::unique_ptr<QDialog>()>> makers = {
        [&] { return std::make_unique<TExcludeForm>(settings); },
        [&] { return std::make_unique<TQuickCheckForm>(settings, noResults); },
        [&] { return std::make_unique<TOptionsForm>(settings, TOptionsForm::TApplyToGrid()); },
        [&] { return std::make_unique<TAboutForm>(); },
        [&] { return std::make_unique<TBrowseForFoldersForm>(); },
        [&] { return std::make_unique<TFilterForm>(settings); },
    };
    for (const auto& make : makers) {
        const std::unique_ptr<QDialog> dialog = make();
        const std::string form = dialog->objectName().toStdString();
        EXPECT_FALSE(dialog->windowTitle().isEmpty()) << form;
        int controls = 0;
        for (QWidget* control : dialog->findChildren<QWidget*>()) {
            const QString name = control->objectName();
            if (name.isEmpty() || name.startsWith(QStringLiteral("qt_")) ||
                !(control->focusPolicy() & Qt::TabFocus)) {
                continue;
            }
            ++controls;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
            ASSERT_NE(accessible, nullptr) << form << " " << name.toStdString();
            EXPECT_FALSE(accessible->text(QAccessible::Name).trimmed().isEmpty())
                << form << " " << name.toStdString();
        }
        EXPECT_GT(controls, 0) << form;
    }
}

} // namespace
