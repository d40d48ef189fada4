// Program start-up: the program's identity, the application object, the program's questions on
// real dialogs (a single folder is chosen in the program's own folder picker), and the main
// window, which loads the options when it is made and saves them when it closes.
#include "engine/Questions.h"
#include "engine/ZYGlobals.h"
#include "toolkit/MessageBoxes.h"
#include "toolkit/ProgramIcons.h"
#include "ui/BrowseForFolderUnit.h"
#include "ui/MainUnit.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt ends the program with an abort when it finds no display; say so plainly instead.
bool HasDisplay()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (!HasDisplay()) {
        std::fprintf(stderr,
            "Twinrake needs a graphical desktop: no display was found "
            "(DISPLAY and WAYLAND_DISPLAY are not set).\n");
        return 1;
    }
    QApplication app(argc, argv);
    InitProductGlobals();
    QApplication::setApplicationName(QString::fromStdString(ProductName));
    QApplication::setApplicationVersion(QString::fromStdString(ProductVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("pairloom"));
    QApplication::setWindowIcon(MainIcon());

    TPickerQuestions questions;
    InstallQuestions(&questions);
    int result = 0;
    {
        TMainForm mainForm;
        questions.SetMainWindow(&mainForm);
        mainForm.show();
        result = app.exec();
        questions.SetMainWindow(nullptr);
    }
    InstallQuestions(nullptr);
    return result;
}
