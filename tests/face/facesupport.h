#pragma once

// White-box access to the main window for the face and layout tests, and the
// window's widgets by name.

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

#include <utility>

#include "mainwindow.h"
#include "mylabel.h"
#include "tvkanalogclock.h"
#include "tvkdigitalclock.h"
#include "tvkppmmeter.h"
#include "ui_mainwindow.h"

class MainWindowProbe
{
public:
    static Ui::MainWindow *ui(const MainWindow &w) { return w.ui; }
    static myLabel *settingsButton(const MainWindow &w) { return w.settingsButton; }
    static myLabel *nonStopButton(const MainWindow &w) { return w.nonStopButton; }
    static myLabel *moduleButton(const MainWindow &w, int i) { return w.moduleButtons[size_t(i)]; }

    static QSize windowSize(const MainWindow &w) { return w.windowSize; }
    static bool rescalePending(const MainWindow &w) { return w.rescalePending; }
    static void setRescalePending(MainWindow &w) { w.rescalePending = true; }
    static const QPixmap *background(const MainWindow &w) { return w.background; }
    static const QPixmap *backgroundFill(const MainWindow &w) { return w.backgroundFill; }
    static const QPixmap *scaledBackground(const MainWindow &w) { return w.scaledBackground; }
    static const QPixmap *scaledBackgroundFill(const MainWindow &w)
    {
        return w.scaledBackgroundFill;
    }
    // Stands in for a background picture that failed to load.
    static void dropBackground(MainWindow &w)
    {
        delete w.background;
        w.background = new QPixmap;
    }
    // The background swap the link performs when the console comes or goes.
    static void swapBackground(MainWindow &w, bool online)
    {
        w.online = online;
        w.setOnline();
    }
    static bool online(const MainWindow &w) { return w.online; }
    static void rescale(MainWindow &w) { w.rescale(); }
};

namespace face {

using Probe = MainWindowProbe;

// The face's point sizes are those of a 96-DPI desktop, where they show as
// the design gives them; a run that sets QT_FONT_DPI itself keeps its own.
inline const bool atDesignDpi = [] {
    if (!qEnvironmentVariableIsSet("QT_FONT_DPI"))
        qputenv("QT_FONT_DPI", "96");
    return true;
}();

// The window's own copy of a picture holds exactly the bundle's pixels.
inline bool samePicture(const QPixmap &held, const char *path)
{
    const QImage expected(QString::fromLatin1(path));
    const QImage actual = held.toImage();
    return !expected.isNull() && actual.size() == expected.size() &&
           actual.convertToFormat(QImage::Format_ARGB32) ==
               expected.convertToFormat(QImage::Format_ARGB32);
}

// Every scaled widget of the face with its design rectangle, in the order
// in which the window captures them.
inline const QVector<std::pair<QString, QRect>> &designTable()
{
    static const QVector<std::pair<QString, QRect>> table = [] {
        QVector<std::pair<QString, QRect>> t{
            {"ProgLeft", {54, 73, 12, 415}},      {"ProgRight", {143, 73, 12, 415}},
            {"CrmLeft", {210, 73, 12, 415}},      {"CrmRight", {299, 73, 12, 415}},
            {"AnalogClock", {348, 85, 410, 410}}, {"DigitalClock", {348, 260, 410, 111}},
            {"proglabel", {69, 504, 71, 31}},     {"crmlabel", {230, 504, 61, 31}},
            {"timelabel", {485, 504, 141, 31}},   {"signalslabel", {810, 504, 141, 31}},
            {"footerlabel", {380, 620, 340, 21}}, {"settingsButton", {900, 28, 25, 25}},
        };
        for (int i = 0; i < 8; ++i)
            t.append({QStringLiteral("moduleButtons[%1]").arg(i), {53 + 117 * i, 546, 61, 61}});
        for (int n = 1; n <= 8; ++n)
            t.append({QStringLiteral("label_src_%1").arg(n), {76 + 117 * (n - 1), 581, 31, 20}});
        // The lamp column: x 820, one lamp every 48 pixels.
        t.append({"label_telring", {820, 166, 121, 41}});
        t.append({"label_onair1", {820, 214, 121, 41}});
        t.append({"label_onair2", {820, 262, 121, 41}});
        t.append({"nonStopButton", {820, 310, 121, 41}});
        t.append({"label_silence", {820, 358, 121, 41}});
        t.append({"label_micon", {820, 406, 121, 41}});
        t.append({"label_crmmute", {820, 454, 121, 41}});
        t.append({"label_mictime", {509, 390, 90, 16}});
        return t;
    }();
    return table;
}

// A widget of the face by the name the form (or, for the clickable labels,
// the window's member) gives it.
inline QWidget *widget(const MainWindow &w, const QString &name)
{
    if (name == QLatin1String("settingsButton"))
        return Probe::settingsButton(w);
    if (name == QLatin1String("nonStopButton"))
        return Probe::nonStopButton(w);
    if (name.startsWith(QLatin1String("moduleButtons[")))
        return Probe::moduleButton(w, name.mid(14, 1).toInt());
    const Ui::MainWindow *ui = Probe::ui(w);
    QWidget *const members[] = {
        ui->ProgLeft,      ui->ProgRight,   ui->CrmLeft,       ui->CrmRight,      ui->AnalogClock,
        ui->DigitalClock,  ui->proglabel,   ui->crmlabel,      ui->timelabel,     ui->footerlabel,
        ui->label_src_1,   ui->label_src_2, ui->label_src_3,   ui->label_src_4,   ui->label_src_5,
        ui->label_src_6,   ui->label_src_7, ui->label_src_8,   ui->label_onair1,  ui->label_onair2,
        ui->label_silence, ui->label_micon, ui->label_crmmute, ui->label_mictime, ui->label_telring,
        ui->signalslabel};
    for (QWidget *member : members)
        if (member->objectName() == name)
            return member;
    return nullptr;
}

inline const char *offlineBackgroundPath()
{
    return ":/resources/png/background_offline.png";
}

} // namespace face
