// The eight source-module keys: colour from the console, voice-track blink,
// and the remote-on command.
#include "mainwindow.h"

#include "mylabel.h"

namespace {

enum ModuleColour { ModuleRed = 1, ModuleGreen = 2 };

// Channels 1, 2, 3 and 8 can run in voice-track mode.
constexpr int voiceTrackModules[] = {0, 1, 2, 7};

bool isVoiceTrackModule(int index)
{
    for (int m : voiceTrackModules)
        if (m == index)
            return true;
    return false;
}

QString moduleStyle(int index, int code)
{
    const char *colour = code == ModuleRed ? "red" : code == ModuleGreen ? "green" : "grey";
    return QStringLiteral("image: url(:/resources/png/VontraMeterIcons2/sunken/%1-%2.png);")
        .arg(index + 1)
        .arg(QLatin1String(colour));
}

} // namespace

int MainWindow::normalModuleCode(int index) const
{
    if (moduleOn[index] != 1)
        return moduleColours[index][2];
    return moduleAlt[index] == 1 ? moduleColours[index][1] : moduleColours[index][0];
}

void MainWindow::setModuleIcon(int index, int code)
{
    if (index < 0 || index >= moduleCount)
        return;
    showPicture(moduleButtons[index], moduleStyle(index, code));
}

void MainWindow::resetModules()
{
    for (int i = 0; i < moduleCount; ++i)
        setModuleIcon(i, 0);
}

void MainWindow::onRedrawModules()
{
    redrawModulesPending = false; // a module event from now on needs a call of its own
    for (int i = 0; i < moduleCount; ++i) {
        if (isVoiceTrackModule(i) && voiceTrack[i] != 0)
            continue; // the voice-track blink draws it
        setModuleIcon(i, normalModuleCode(i));
    }
}

void MainWindow::onVoicetrack()
{
    for (int i : voiceTrackModules) {
        if (voiceTrack[i] == 0)
            continue;
        const bool showSlot2 = moduleOn[i] != 1 || voicetrackPhase;
        setModuleIcon(i, showSlot2 ? int(moduleColours[i][2]) : normalModuleCode(i));
    }
    voicetrackPhase = !voicetrackPhase;
    onRedrawModules();
}

void MainWindow::onModuleClicked()
{
    auto *button = qobject_cast<myLabel *>(sender());
    for (int i = 0; i < moduleCount; ++i) {
        if (moduleButtons[i] == button) {
            // The console answers with the new state; nothing changes here.
            vontra_remote_on(linkHandle, i, remoteToggle);
            return;
        }
    }
}
