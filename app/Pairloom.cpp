// Program start-up: the application object and its main window.
#include "engine/ZYGlobals.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    InitProductGlobals();
    QMainWindow window;
    window.setWindowTitle(QString::fromStdString(ProductTitle));
    window.resize(900, 600);
    window.show();
    return app.exec();
}
