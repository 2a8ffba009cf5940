// Construction and destruction of the main window.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "mylabel.h"
#include "scaledartwork.h"
#include "screenwatch.h"
#include "sharedpictureengine.h"

#include <QCoreApplication>
#include <QImage>
#include <QtPlugin>

#include <future>

// Style-sheet pictures are decoded once for the whole run
// (sharedpictureengine.h).
Q_IMPORT_PLUGIN(SharedPicturePlugin)

namespace {

const char *const organisationName = "Orvendel";
const char *const organisationDomain = "orvendel.example";
const char *const applicationName = "Vontra Meters";

// The program's file version, shown in the footer.
constexpr int versionMajor = 1;
constexpr int versionMinor = 1;
constexpr int versionBuild = 269;
constexpr int versionRevision = 0;

const QRect settingsButtonRect(900, 28, 25, 25);
const QRect nonStopButtonRect(820, 310, 121, 41);
const QRect analogClockRect(348, 85, 410, 410);
// Module keys stand in one row, 117 design pixels apart.
constexpr int moduleButtonX = 53;
constexpr int moduleButtonPitch = 117;
constexpr int moduleButtonY = 546;
constexpr int moduleButtonSize = 61;

const char *const captionStyle = "QLabel\n{\ncolor: rgb(255, 255, 255);\n}";
const char *const digitalClockFamily = "DejaVu Sans";
const char *const backgroundFillPath = ":/resources/png/BelvaneBackgroundEmpty.png";
// The lamp and module-key pictures, which change with the console's state.
const char *const statePicturesFolder = ":/resources/png/VontraMeterIcons2";

// A clickable picture label, polished before its first style sheet. Qt
// decodes a style sheet's picture when the sheet is set and, on a label not
// yet polished, again when the label is polished on show: it drops the style
// rules it worked out before the polish. Polished first, the picture is
// decoded once.
myLabel *newPictureLabel(QWidget *parent)
{
    auto *label = new myLabel(QString(), parent);
    label->ensurePolished();
    return label;
}

// Decodes a picture on a thread of its own. Decoding the two large
// backgrounds is a good part of start-up and needs nothing from the widgets,
// so it runs while they are built.
std::future<QImage> decodeElsewhere(const char *path)
{
    return std::async(std::launch::async, [path] { return QImage(QString::fromLatin1(path)); });
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    std::future<QImage> offlinePicture = decodeElsewhere(offlineBackgroundPath);
    std::future<QImage> fillPicture = decodeElsewhere(backgroundFillPath);
    ui->setupUi(this);
    online = false;

    setApplicationIdentity();

    ui->footerlabel->setText(tr("Orvendel broadcast consoles - version %1.%2.%3.%4")
                                 .arg(versionMajor)
                                 .arg(versionMinor)
                                 .arg(versionBuild)
                                 .arg(versionRevision));

    settingsButton = newPictureLabel(this);
    settingsButton->setStyleSheet("image: url(:/resources/png/Settings.png);");
    settingsButton->setGeometry(settingsButtonRect);

    nonStopButton = newPictureLabel(this);
    nonStopButton->setStyleSheet(
        "image: url(:/resources/png/VontraMeterIcons2/signals/nonstop-inactive.png);");
    nonStopButton->setGeometry(nonStopButtonRect);

    phoneRinging = 0;
    for (int i = 0; i < moduleCount; ++i) {
        voiceTrack[i] = 0;
        moduleButtons[i] = newPictureLabel(this);
        moduleButtons[i]->setGeometry(moduleButtonX + moduleButtonPitch * i, moduleButtonY,
                                      moduleButtonSize, moduleButtonSize);
        connect(moduleButtons[i], SIGNAL(clicked()), this, SLOT(onModuleClicked()));
    }
    resetModules();

    captureDesignRects();

    rescalePending = false;
    meterReleaseInterval = 10;
    meterReleaseStep = 0.133;
    ui->AnalogClock->setGeometry(analogClockRect);
    for (auto &target : meterTargets)
        target = meterFloor;

    applyClockLook();
    for (TVKPPMMeter *meter : meters())
        meter->setGradientForground(true);
    for (QLabel *caption : {ui->proglabel, ui->crmlabel, ui->timelabel, ui->signalslabel})
        caption->setStyleSheet(captionStyle);

    connect(settingsButton, SIGNAL(clicked()), this, SLOT(openSettings()));
    connect(nonStopButton, SIGNAL(clicked()), this, SLOT(onNonStopClicked()));
    connect(this, SIGNAL(doRedrawModules()), this, SLOT(onRedrawModules()));
    connect(this, SIGNAL(doRedrawSignals()), this, SLOT(onRedrawSignals()));
    connect(this, SIGNAL(doHandleMicTimer()), this, SLOT(onHandleMicTimer()));
    connect(this, SIGNAL(doConfigSilenceDetection()), this, SLOT(onConfigSilenceDetection()));

    QFont timeFont(digitalClockFamily);
    timeFont.setPointSize(digitalTimePointSize);
    ui->DigitalClock->setTimeDisplayFont(timeFont);
    ui->DigitalClock->setTimeDisplayFontColor(QColor(255, 255, 255));
    ui->DigitalClock->setDateDisplay(true);
    QFont dateFont(digitalClockFamily);
    dateFont.setPointSize(digitalDatePointSize);
    ui->DigitalClock->setDateDisplayFont(dateFont);
    ui->DigitalClock->setDateDisplayFontColor(QColor(255, 255, 255));

    meterReleaseTimer = new QTimer(this);
    connect(meterReleaseTimer, SIGNAL(timeout()), this, SLOT(meterRelease()));
    meterReleaseTimer->start(meterReleaseInterval);
    connect(meterReleaseTimer, SIGNAL(timeout()), this, SLOT(pollClocks()));
    ui->AnalogClock->setPolledByOwner(true);
    ui->DigitalClock->setPolledByOwner(true);

    silenceAlarmTimer = new QTimer(this);
    connect(silenceAlarmTimer, SIGNAL(timeout()), this, SLOT(onSilenceAlarm()));

    voicetrackTimer = new QTimer(this);
    connect(voicetrackTimer, SIGNAL(timeout()), this, SLOT(onVoicetrack()));

    micElapsed = new QElapsedTimer;

    micDisplayTimer = new QTimer(this);
    connect(micDisplayTimer, SIGNAL(timeout()), this, SLOT(onShowMicTimer()));

    keepAliveTimer = new QTimer(this);
    keepAliveTimer->setSingleShot(true);
    // Precise: a coarse timer may move a 3 s expiry by up to 150 ms either way.
    keepAliveTimer->setTimerType(Qt::PreciseTimer);
    connect(keepAliveTimer, SIGNAL(timeout()), this, SLOT(onKeepAliveTimeout()));

    connect(this, SIGNAL(doKeepAliveTimer()), this, SLOT(onKeepAliveTimer()));

    // Straight from the decoded images: no second copy waits in Qt's pixmap
    // cache once the window lets go of a background.
    background = new QPixmap(QPixmap::fromImage(offlinePicture.get()));
    backgroundFill = new QPixmap(QPixmap::fromImage(fillPicture.get()));
    scaledBackground = new QPixmap;
    scaledBackgroundFill = new QPixmap;
    connect(new ScreenWatch(this), SIGNAL(changed()), this, SLOT(onScreenChanged()));
    scaledArtwork = new ScaledArtwork(this);
    connect(scaledArtwork, SIGNAL(backgroundsDrawn(QImage, QImage)), this,
            SLOT(showDrawnBackgrounds(QImage, QImage)));

    loadSettings();
    openLink();
    SharedPictureEngine::decodeAhead(QString::fromLatin1(statePicturesFolder), this);
}

void MainWindow::setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(organisationName);
    QCoreApplication::setOrganizationDomain(organisationDomain);
    QCoreApplication::setApplicationName(applicationName);
}

MainWindow::~MainWindow()
{
    saveSettings();
    vontra_close(linkHandle);
    delete ui;
    delete micElapsed;
    delete background;
    delete backgroundFill;
    delete scaledBackground;
    delete scaledBackgroundFill;
}

std::array<TVKPPMMeter *, 4> MainWindow::meters() const
{
    return {ui->ProgLeft, ui->ProgRight, ui->CrmLeft, ui->CrmRight};
}

void MainWindow::applyClockLook()
{
    TVKAnalogClock *clock = ui->AnalogClock;
    clock->setHourLines(true);
    clock->setHourLinesColor(QColor(0, 255, 0));
    clock->setMinuteLines(true);
    clock->setMinuteLinesLength(4);
    clock->setMinuteLinesColor(QColor(0, 170, 0));
    clock->setSecondDots(true);
    clock->setSecondDotsCountDown(false);
    clock->setDotSize(4);
    clock->setDotColor(QColor(255, 255, 255));
    clock->setHands(true);
    clock->setHourHandColor(QColor(255, 0, 0, 128));
    clock->setHourHandBorder(24);
    clock->setHourHandLength(12);
    clock->setHourHandWidth(12);
    clock->setMinuteHandColor(QColor(0, 0, 255, 128));
    clock->setMinuteHandBorder(8);
    clock->setMinuteHandLength(28);
    clock->setMinuteHandWidth(8);
}
