#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

#include <array>
#include <atomic>

#include "linkdefaults.h"
#include "vontra.h"

class QPainter;
class QPaintEvent;
class QRegion;
class QResizeEvent;
class ScaledArtwork;
class SingleDisplay;
class TVKPPMMeter;
class myLabel;

namespace Ui {
class MainWindow;
}

// The display's one window: owns the form, the console link, the console
// state reported by the console, the meter drive and the timers.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    static constexpr quint16 defaultUdpSendPort = LinkDefaults::defaultUdpSendPort;
    static constexpr quint16 defaultUdpRecvPort = LinkDefaults::defaultUdpRecvPort;

    // The organisation and application names; they also locate the settings store.
    static void setApplicationIdentity();
    // The receive port that the settings store holds, read before any window exists.
    static quint16 storedReceivePort();

    // Entry for the console-link callback; may run on the library's thread.
    void consoleEvent(const vontra_event *event);

signals:
    void doRedrawModules();
    void doRedrawSignals();
    void doHandleMicTimer();
    void doKeepAliveTimer();
    void doConfigSilenceDetection();

private slots:
    void meterRelease();
    // The clocks' poll, on every tenth meter tick: the tick's wake-ups serve
    // it, where the clocks' own timers would wake the program ten times a
    // second more.
    void pollClocks();
    void openSettings();
    void onConfigSilenceDetection();
    void onRedrawModules();
    void onRedrawSignals();
    void onModuleClicked();
    void onSilenceAlarm();
    void onVoicetrack();
    void onNonStopClicked();
    void onHandleMicTimer();
    void onShowMicTimer();
    void onSetUdpPorts(qint16 udp_send_port, qint16 udp_recv_port, bool use_defaults,
                       QString remote_host);
    void onKeepAliveTimeout();
    void onKeepAliveTimer();
    void onlineStatusChanged();
    // The window went to another screen, or its screen's scaling changed.
    void onScreenChanged();
    void showDrawnBackgrounds(const QImage &fill, const QImage &background);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    friend class MainWindowProbe; // white-box access for the tests

    static constexpr int moduleCount = 8;
    static constexpr int designRectCount = 36;
    static constexpr double meterFloor = -50.0;    // where idle meters rest
    static constexpr int keepAliveInterval = 3000; // ms without meters until offline
    static constexpr int micDisplayInterval = 100;
    static constexpr int blinkInterval = 400; // voice-track and silence alarm
    static constexpr int remoteToggle = 2;    // the console's "toggle" command value
    // The digital clock's point sizes at the design size.
    static constexpr int digitalTimePointSize = 40;
    static constexpr int digitalDatePointSize = 24;
    static constexpr const char *offlineBackgroundPath = ":/resources/png/background_offline.png";
    static constexpr const char *onlineBackgroundPath = ":/resources/png/background_online.png";

    // Console link
    void openLink();
    void sendRequests();
    void setOnline();
    void warnSettingsNotKept();
    // Settings store and window placement
    void loadSettings();
    void saveSettings();
    // Writes the link settings now; false when the store cannot keep them.
    bool saveLinkSettings();
    int currentScreen() const;
    // Source modules
    void setModuleIcon(int index, int code);
    void resetModules();
    int normalModuleCode(int index) const;
    // Lamps
    void setLamp(QWidget *lamp, const char *fileWord, bool active);
    static void showPicture(QWidget *widget, const QString &styleSheet);
    // The microphone timer's text for a running time: a time of day, so the
    // hours wrap after 24. Apart from its clock so long runs can be checked.
    static QString micTimeText(qint64 ms);
    // Event decoding: a redraw of the given kind for the GUI thread, unless
    // one is already waiting there (it will show the latest state).
    void emitOnce(std::atomic<bool> &pending, void (MainWindow::*signal)());
    void showSourceTypes();
    // Meter drive
    void releaseMeter(TVKPPMMeter *meter, double target);
    std::array<TVKPPMMeter *, 4> meters() const;
    // Construction-time look
    void applyClockLook();
    // Scaled layout
    void captureDesignRects();
    QWidget *designWidget(int index) const;
    void rescale();
    // The pictures' part of the pass: at the design size and below the
    // bundle's backgrounds scaled; larger, everything drawn at the device size
    // off the GUI thread, and the bundle's stretched by the paints until it
    // arrives.
    void rescalePictures(float scale);
    // Meanwhile: the bundle's backgrounds stretched as they are painted.
    void paintBundleStretched(QPainter &painter, const QRegion &region) const;

    int linkHandle = 0;
    // Brings this window forward when a second start asks for its port.
    SingleDisplay *singleDisplay = nullptr;
    Ui::MainWindow *ui = nullptr;
    quint16 udp_send_port = defaultUdpSendPort;
    quint16 udp_recv_port = defaultUdpRecvPort;
    QString remote_host;
    bool use_defaults = true;
    QTimer *meterReleaseTimer = nullptr;
    QTimer *silenceAlarmTimer = nullptr;
    QTimer *voicetrackTimer = nullptr;
    QTimer *micDisplayTimer = nullptr;
    QTimer *keepAliveTimer = nullptr;
    QElapsedTimer *micElapsed = nullptr;
    QSize windowSize{-1, -1};
    QPixmap *background = nullptr;
    QPixmap *backgroundFill = nullptr;
    QPixmap *scaledBackground = nullptr;
    QPixmap *scaledBackgroundFill = nullptr;
    ScaledArtwork *scaledArtwork = nullptr;
    bool rescalePending = false;
    myLabel *settingsButton = nullptr;
    std::array<myLabel *, moduleCount> moduleButtons{};
    myLabel *nonStopButton = nullptr;
    std::array<QRect, designRectCount> designRects{};
    // Written by the console-link thread, read by the meter tick.
    std::array<std::atomic<double>, 4> meterTargets{};
    // Each set while a call of its kind waits for the GUI thread, so that a
    // flood of console events queues one call of each kind, not one per event;
    // the call, when it runs, shows the state as it is by then.
    std::atomic<bool> keepAlivePending{false};
    std::atomic<bool> redrawModulesPending{false};
    std::atomic<bool> redrawSignalsPending{false};
    std::atomic<bool> micTimerPending{false};
    std::atomic<bool> silenceConfigPending{false};
    std::atomic<bool> sourceTypesPending{false};
    double meterReleaseStep = 0.133;
    int meterReleaseInterval = 10;
    int ticksSinceClockPoll = 0;

    // Console state: each field written whole by the decoder (possibly on the
    // library's thread) and read whole by the GUI-thread slots.
    using Word = std::atomic<qint32>;
    std::array<Word, moduleCount> moduleOn{};
    std::array<Word, moduleCount> moduleAlt{};
    std::array<std::array<Word, 3>, moduleCount> moduleColours{};
    Word silenceThreshold{0};
    Word silenceParam{0};
    Word silenceChannels{0};
    Word silenceEnabled{0};
    Word onAir1{0};
    Word onAir2{0};
    Word nonStop{0};
    Word silenceDetected{0};
    Word micOn{0};
    Word crmMute{0};
    Word phoneRinging{0};
    std::array<Word, moduleCount> voiceTrack{};
    // The source-type words of the last id 100, for the queued text update.
    std::array<Word, moduleCount> sourceTypes{};

    bool online = false;
    bool voicetrackPhase = false;
    bool silenceAlarmPhase = false;
};
