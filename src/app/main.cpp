#include "csettingsdialog.h"
#include "diagnosticchannel.h"
#include "keepawake.h"
#include "mainwindow.h"
#include "platformdefaults.h"
#include "processsignals.h"
#include "singledisplay.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

namespace {

// The one option: for a PC also used for other work, the screen may blank and
// the screen saver start as the desktop sets them.
const char *const noKeepAwakeOption = "--no-keep-awake";

// Whether the screen is to be kept awake. Any other argument is only
// reported: a wrong shortcut must not cost the studio its display.
bool keepAwakeWanted()
{
    bool wanted = true;
    for (const QString &argument : QCoreApplication::arguments().mid(1)) {
        if (argument == QLatin1String(noKeepAwakeOption))
            wanted = false;
        else
            qInfo().noquote() << "Argument ignored:" << argument;
    }
    return wanted;
}

} // namespace

int main(int argc, char *argv[])
{
    keepStandardStreamsOpen();
    keepRunningOnBrokenPipe();
    catchTerminationRequests();
    applyPlatformDefaults();
    QApplication application(argc, argv);
    int result = 0;
    {
        const DiagnosticChannel diagnostics;
        // One display per receive port: a second start for the port brings
        // the running window forward and ends, touching nothing.
        if (SingleDisplay::bringForward(MainWindow::storedReceivePort()))
            return 0;
        quitOnTerminationRequest(application);
        std::unique_ptr<KeepAwake> keepAwake;
        if (keepAwakeWanted())
            keepAwake = std::make_unique<KeepAwake>();
        auto *window = new MainWindow;
        // The window goes when the event loop ends, before the application
        // object: the settings are written and the link closed on every way
        // out. A Windows session end announces itself this way from inside
        // the loop, and the process is ended right after, so this is the
        // last chance.
        QObject::connect(&application, &QCoreApplication::aboutToQuit,
                         [&window] { delete std::exchange(window, nullptr); });
        window->show();
        result = application.exec();
        delete window; // gone already: exec() emits aboutToQuit before it returns
    }
    // Qt waits for every host lookup it still runs when the application
    // object goes, and a settings dialog's abandoned lookup of a name whose
    // name server is silent takes many seconds. Everything is saved and
    // closed by now: end without that wait.
    if (CSettingsDialog::lookupsOutstanding()) {
        std::fflush(nullptr);
        std::_Exit(result);
    }
    return result;
}
