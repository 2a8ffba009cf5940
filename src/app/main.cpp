#include "diagnosticchannel.h"
#include "mainwindow.h"
#include "platformdefaults.h"
#include "processsignals.h"

#include <QApplication>

#include <utility>

int main(int argc, char *argv[])
{
    keepStandardStreamsOpen();
    keepRunningOnBrokenPipe();
    catchTerminationRequests();
    applyPlatformDefaults();
    QApplication application(argc, argv);
    const DiagnosticChannel diagnostics;
    quitOnTerminationRequest(application);
    auto *window = new MainWindow;
    // The window goes when the event loop ends, before the application
    // object: the settings are written and the link closed on every way out.
    // A Windows session end announces itself this way from inside the loop,
    // and the process is ended right after, so this is the last chance.
    QObject::connect(&application, &QCoreApplication::aboutToQuit,
                     [&window] { delete std::exchange(window, nullptr); });
    window->show();
    const int result = application.exec();
    delete window; // gone already: exec() emits aboutToQuit before it returns
    return result;
}
