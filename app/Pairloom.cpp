// Program start-up: the application object, the program's questions on real dialogs, the
// options from the registry store, and the main window. The options are saved again when the
// window closes.
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYGlobals.h"
#include "toolkit/MessageBoxes.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    InitProductGlobals();
    QApplication::setApplicationName(QString::fromStdString(ProductName));
    QApplication::setApplicationVersion(QString::fromStdString(ProductVersion));

    TWidgetQuestions questions;
    InstallQuestions(&questions);
    AppSettings.Load();

    QMainWindow window;
    window.setObjectName(QStringLiteral("MainForm"));
    window.setWindowTitle(QString::fromStdString(ProductTitle));
    window.resize(900, 600);
    questions.SetMainWindow(&window);
    window.show();
    const int result = app.exec();

    if (!AppSettings.Save()) {
        ShowErrorMessage("The options could not be saved.");
    }
    questions.SetMainWindow(nullptr);
    InstallQuestions(nullptr);
    return result;
}
