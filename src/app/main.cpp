#include "mainwindow.h"
#include "platformdefaults.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    applyPlatformDefaults();
    QApplication application(argc, argv);
    int result = 0;
    {
        // The window must be gone before the application object.
        MainWindow window;
        window.show();
        result = application.exec();
    }
    return result;
}
