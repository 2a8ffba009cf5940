// The main window's face as construction leaves it: every widget at its
// design rectangle, in its stacking order, with its font, style sheet and
// text; the window's own settings; the clocks' and meters' starting looks.
#include <QtTest>

#include <QIcon>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <memory>

#include "apptestsupport.h"
#include "facesupport.h"
#include "ui_mainwindow.h" // named here so that the form is generated for this test

using face::Probe;

namespace {

const QString captionStyle = QStringLiteral("QLabel\n{\ncolor: rgb(255, 255, 255);\n}");
const QString whiteText = QStringLiteral("color: rgb(255, 255, 255);");

QString lampStyle(const char *word)
{
    return QStringLiteral("image: url(:/resources/png/VontraMeterIcons2/signals/%1-inactive.png);")
        .arg(QLatin1String(word));
}

QWidget *faceWidget(const MainWindow &w, const QString &name)
{
    return face::widget(w, name);
}

bool backgroundAvailable()
{
    return QFile::exists(QLatin1String(face::offlineBackgroundPath()));
}

} // namespace

class TestFace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void constructionState();
    void windowSettings();
    void menuBarHasNoEntries();

    void rectangles_data();
    void rectangles();
    void stackingOrder();
    void sourceLabelsLieUnderTheirButtons();

    void labels_data();
    void labels();
    void clickableLabels_data();
    void clickableLabels();

    void widgetProperties_data();
    void widgetProperties();
    void digitalClockFonts();
    void stylePicturesAreDecodedOnce();

private:
    // One window as construction leaves it, one shown at the design size
    // (and, when the background picture is there, through its layout pass).
    std::unique_ptr<apptest::IsolatedSettings> freshSettings;
    std::unique_ptr<MainWindow> fresh;
    std::unique_ptr<apptest::IsolatedSettings> shownSettings;
    std::unique_ptr<MainWindow> shown;
};

void TestFace::initTestCase()
{
    freshSettings = std::make_unique<apptest::IsolatedSettings>();
    // The window must name the application itself, not inherit the names.
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setOrganizationDomain(QString());
    QCoreApplication::setApplicationName(QStringLiteral("tst_face"));
    fresh = std::make_unique<MainWindow>();

    shownSettings = std::make_unique<apptest::IsolatedSettings>();
    shown = std::make_unique<MainWindow>();
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
    shown->repaint();
    QCOMPARE(shown->size(), QSize(986, 650));
    QCOMPARE(Probe::windowSize(*shown), QSize(986, 650));
    if (backgroundAvailable())
        QVERIFY(!Probe::rescalePending(*shown));
    else
        qWarning("%s is not in the bundle yet: the shown window had no layout pass",
                 face::offlineBackgroundPath());
}

void TestFace::cleanupTestCase()
{
    shown.reset();
    shownSettings.reset();
    fresh.reset();
    freshSettings.reset();
}

void TestFace::constructionState()
{
    QCOMPARE(Probe::windowSize(*fresh), QSize(-1, -1));
    QCOMPARE(Probe::rescalePending(*fresh), false);
    QVERIFY(Probe::scaledBackground(*fresh)->isNull());
    QVERIFY(Probe::scaledBackgroundFill(*fresh)->isNull());
    QCOMPARE(Probe::background(*fresh)->isNull(), !backgroundAvailable());
    if (backgroundAvailable())
        QVERIFY(face::samePicture(*Probe::background(*fresh), face::offlineBackgroundPath()));
    QVERIFY(face::samePicture(*Probe::backgroundFill(*fresh),
                              ":/resources/png/BelvaneBackgroundEmpty.png"));

    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Orvendel"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Vontra Meters"));
    QVERIFY(!QCoreApplication::organizationDomain().isEmpty());
}

void TestFace::windowSettings()
{
    for (MainWindow *w : {fresh.get(), shown.get()}) {
        QCOMPARE(w->objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Vontra Meters"));
        QCOMPARE(w->minimumSize(), QSize(986, 650));
        QCOMPARE(w->sizePolicy().horizontalPolicy(), QSizePolicy::Maximum);
        QCOMPARE(w->sizePolicy().verticalPolicy(), QSizePolicy::Maximum);
        QCOMPARE(w->sizePolicy().horizontalStretch(), 0);
        QCOMPARE(w->sizePolicy().verticalStretch(), 0);
        QCOMPARE(w->autoFillBackground(), false);
        QCOMPARE(w->locale().language(), QLocale::Dutch);
        QCOMPARE(w->locale().country(), QLocale::Netherlands);
        // Children inherit the locale.
        QCOMPARE(Probe::ui(*w)->DigitalClock->locale().language(), QLocale::Dutch);
        QCOMPARE(w->centralWidget(), Probe::ui(*w)->centralWidget);
        QCOMPARE(w->centralWidget()->objectName(), QStringLiteral("centralWidget"));
        QVERIFY(w->centralWidget()->layout() == nullptr);

        const QString footer = Probe::ui(*w)->footerlabel->text();
        QVERIFY2(footer.endsWith(QLatin1String(" - version 1.1.269.0")), qPrintable(footer));
        QVERIFY2(footer.size() > 20, "the maker's notice precedes the version");
    }
    if (QFile::exists(QStringLiteral(":/resources/ico/BelvaneIcon256x256Border.ico")))
        QVERIFY(!fresh->windowIcon().availableSizes().isEmpty());
    QCOMPARE(fresh->size(), QSize(986, 650));
}

void TestFace::menuBarHasNoEntries()
{
    for (MainWindow *w : {fresh.get(), shown.get()}) {
        QMenuBar *bar = Probe::ui(*w)->menuBar;
        QCOMPARE(w->menuBar(), bar);
        QCOMPARE(bar->objectName(), QStringLiteral("menuBar"));
        QVERIFY(bar->actions().isEmpty());
        QVERIFY(w->findChildren<QMenu *>().isEmpty());
    }
}

void TestFace::rectangles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("onWindow"); // parent: the window, else centralWidget
    QTest::addColumn<QRect>("rect");

    for (const auto &entry : face::designTable()) {
        const QString &name = entry.first;
        const bool onWindow = name.startsWith(QLatin1String("moduleButtons")) ||
                              name == QLatin1String("settingsButton") ||
                              name == QLatin1String("nonStopButton");
        QTest::newRow(qPrintable(name)) << name << onWindow << entry.second;
    }
}

void TestFace::rectangles()
{
    QFETCH(QString, name);
    QFETCH(bool, onWindow);
    QFETCH(QRect, rect);

    for (MainWindow *w : {fresh.get(), shown.get()}) {
        QWidget *widget = faceWidget(*w, name);
        QVERIFY2(widget, qPrintable(name));
        QCOMPARE(widget->parentWidget(), onWindow ? static_cast<QWidget *>(w) : w->centralWidget());
        QCOMPARE(widget->geometry(), rect);
    }
}

void TestFace::stackingOrder()
{
    const QStringList expected{"ProgLeft",      "ProgRight",   "CrmLeft",       "CrmRight",
                               "DigitalClock",  "proglabel",   "crmlabel",      "timelabel",
                               "footerlabel",   "AnalogClock", "label_src_1",   "label_src_2",
                               "label_src_3",   "label_src_4", "label_src_5",   "label_src_6",
                               "label_src_7",   "label_src_8", "label_onair1",  "label_onair2",
                               "label_silence", "label_micon", "label_crmmute", "label_mictime",
                               "label_telring", "signalslabel"};
    for (MainWindow *w : {fresh.get(), shown.get()}) {
        QStringList actual; // bottom first
        for (QObject *child : w->centralWidget()->children())
            if (child->isWidgetType())
                actual << child->objectName();
        QCOMPARE(actual, expected);

        // The clickable labels are the window's children, above the central widget.
        const QObjectList &top = w->children();
        const int central = top.indexOf(w->centralWidget());
        QVERIFY(central >= 0);
        QVERIFY(top.indexOf(Probe::settingsButton(*w)) > central);
        QVERIFY(top.indexOf(Probe::nonStopButton(*w)) > central);
        for (int i = 0; i < 8; ++i)
            QVERIFY(top.indexOf(Probe::moduleButton(*w, i)) > central);
    }
}

void TestFace::sourceLabelsLieUnderTheirButtons()
{
    for (MainWindow *w : {fresh.get(), shown.get()}) {
        for (int n = 1; n <= 8; ++n) {
            QWidget *label = faceWidget(*w, QStringLiteral("label_src_%1").arg(n));
            myLabel *button = Probe::moduleButton(*w, n - 1);
            const QRect labelArea(label->mapTo(w, QPoint(0, 0)), label->size());
            const QRect buttonArea(button->mapTo(w, QPoint(0, 0)), button->size());
            QVERIFY2(buttonArea.contains(labelArea),
                     qPrintable(QStringLiteral("module %1: label (%2,%3 %4x%5) outside button "
                                               "(%6,%7 %8x%9)")
                                    .arg(n)
                                    .arg(labelArea.x())
                                    .arg(labelArea.y())
                                    .arg(labelArea.width())
                                    .arg(labelArea.height())
                                    .arg(buttonArea.x())
                                    .arg(buttonArea.y())
                                    .arg(buttonArea.width())
                                    .arg(buttonArea.height())));
            // A click in the middle of the name reaches the button, not the label.
            QCOMPARE(w->childAt(labelArea.center()), static_cast<QWidget *>(button));
        }
    }
}

void TestFace::labels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pointSize"); // 0: no font of its own
    QTest::addColumn<int>("weight");
    QTest::addColumn<QString>("styleSheet");
    QTest::addColumn<QString>("formStyleSheet"); // before the window adds its own
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("centred");

    const auto row = [](const QString &name, int pointSize, const QString &style,
                        const QString &text, bool centred) {
        // The captions get their white text from the window, not the form.
        const QString formStyle = style == captionStyle ? QString() : style;
        QTest::newRow(qPrintable(name))
            << name << pointSize << int(QFont::Normal) << style << formStyle << text << centred;
    };
    row("proglabel", 15, captionStyle, "Master", true);
    row("crmlabel", 15, captionStyle, "CRM", true);
    row("timelabel", 15, captionStyle, "System Time", true);
    row("signalslabel", 15, captionStyle, "Signals", true);
    for (int n = 1; n <= 8; ++n)
        row(QStringLiteral("label_src_%1").arg(n), 10, whiteText, "LINE", true);
    row("label_mictime", 12, "color: rgb(255, 0, 0);", "time", true);
    row("label_telring", 0, lampStyle("phone"), "", false);
    row("label_onair1", 0, lampStyle("onair1"), "", false);
    row("label_onair2", 0, lampStyle("onair2"), "", false);
    row("label_silence", 0, lampStyle("silence"), "", false);
    row("label_micon", 0, lampStyle("micon"), "", false);
    row("label_crmmute", 0, lampStyle("crmmute"), "", false);
}

void TestFace::labels()
{
    QFETCH(QString, name);
    QFETCH(int, pointSize);
    QFETCH(int, weight);
    QFETCH(QString, styleSheet);
    QFETCH(QString, formStyleSheet);
    QFETCH(QString, text);
    QFETCH(bool, centred);

    // The form by itself, on a bare window, and the two main windows.
    QMainWindow bare;
    Ui::MainWindow form;
    form.setupUi(&bare);
    QList<QLabel *> subjects{bare.centralWidget()->findChild<QLabel *>(name)};
    for (MainWindow *w : {fresh.get(), shown.get()})
        subjects << qobject_cast<QLabel *>(faceWidget(*w, name));

    for (QLabel *label : subjects) {
        QVERIFY2(label, qPrintable(name));
        // Once the link is open the microphone timer writes its own text.
        if (label->window() == &bare || name != QLatin1String("label_mictime"))
            QCOMPARE(label->text(), text);
        QCOMPARE(label->styleSheet(), label->window() == &bare ? formStyleSheet : styleSheet);
        QCOMPARE(label->alignment(),
                 centred ? Qt::AlignCenter : Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        if (pointSize > 0) {
            QCOMPARE(label->font().pointSize(), pointSize);
            QCOMPARE(label->font().weight(), weight);
            QCOMPARE(label->font().style(), QFont::StyleNormal);
        }
        if (name.startsWith(QLatin1String("label_src_")))
            QCOMPARE(label->frameShape(), QFrame::NoFrame);
    }
}

void TestFace::clickableLabels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("styleSheet");

    QTest::newRow("settingsButton") << "settingsButton"
                                    << "image: url(:/resources/png/Settings.png);";
    QTest::newRow("nonStopButton") << "nonStopButton" << lampStyle("nonstop");
    for (int i = 0; i < 8; ++i) {
        const QString name = QStringLiteral("moduleButtons[%1]").arg(i);
        QTest::newRow(qPrintable(name))
            << name
            << QStringLiteral("image: url(:/resources/png/VontraMeterIcons2/sunken/%1-grey.png);")
                   .arg(i + 1);
    }
}

void TestFace::clickableLabels()
{
    QFETCH(QString, name);
    QFETCH(QString, styleSheet);

    for (MainWindow *w : {fresh.get(), shown.get()}) {
        auto *button = qobject_cast<myLabel *>(faceWidget(*w, name));
        QVERIFY2(button, qPrintable(name));
        QVERIFY(button->text().isEmpty());
        QCOMPARE(button->styleSheet(), styleSheet);
        QVERIFY(!button->isHidden());
    }
    // The footer keeps its own font: 10 pt, normal weight, upright.
    const QFont footer = Probe::ui(*fresh)->footerlabel->font();
    QCOMPARE(footer.pointSize(), 10);
    QCOMPARE(footer.weight(), int(QFont::Normal));
    QCOMPARE(footer.style(), QFont::StyleNormal);
    QCOMPARE(Probe::ui(*fresh)->footerlabel->alignment(), Qt::AlignCenter);
}

void TestFace::widgetProperties_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");

    const auto row = [](const QString &widget, const char *property, const QVariant &value) {
        QTest::newRow(qPrintable(widget + QLatin1Char('.') + QLatin1String(property)))
            << widget << QString::fromLatin1(property) << value;
    };

    // The analog clock's look.
    const QString clock = QStringLiteral("AnalogClock");
    row(clock, "HourLines", true);
    row(clock, "HourLinesColor", QColor(0, 255, 0));
    row(clock, "MinuteLines", true);
    row(clock, "MinuteLinesLength", 4);
    row(clock, "MinuteLinesColor", QColor(0, 170, 0));
    row(clock, "SecondDots", true);
    row(clock, "SecondDotsCountDown", false);
    row(clock, "DotSize", 4);
    row(clock, "DotColor", QColor(255, 255, 255));
    row(clock, "Hands", true);
    row(clock, "HourHandColor", QColor(255, 0, 0, 128));
    row(clock, "HourHandBorder", 24);
    row(clock, "HourHandLength", 12);
    row(clock, "HourHandWidth", 12);
    row(clock, "MinuteHandColor", QColor(0, 0, 255, 128));
    row(clock, "MinuteHandBorder", 8);
    row(clock, "MinuteHandLength", 28);
    row(clock, "MinuteHandWidth", 8);
    // ... and what it leaves at the widget's defaults.
    row(clock, "HourLinesLength", 8);
    row(clock, "HourLinesWidth", 2);
    row(clock, "MinuteLinesWidth", 1);
    row(clock, "EndTime", false);
    row(clock, "EndTimeLength", 8);
    row(clock, "EndTimeWidth", 2);
    row(clock, "EndTimeHour", 0);
    row(clock, "EndTimeMinute", 0);
    row(clock, "EndTimeSecond", 0);
    row(clock, "EndTimeColor", QColor(255, 0, 0));
    row(clock, "CountDownTime", 0.0f);
    row(clock, "CountDownWidth", 2);
    row(clock, "CountDownSpacing", 1);
    row(clock, "CountDownColor", QColor(255, 0, 255));

    // The meters: gradient bars, everything else the widget's defaults.
    for (const char *meter : {"ProgLeft", "ProgRight", "CrmLeft", "CrmRight"}) {
        const QString m = QLatin1String(meter);
        row(m, "GradientForground", true);
        row(m, "GradientBackground", true);
        row(m, "DINCurve", true);
        row(m, "dBPosition", -50.0);
        row(m, "MindBPosition", -50.0);
        row(m, "MaxdBPosition", 5.0);
        row(m, "ReleasePerSecond", 18.0);
        row(m, "MaxColor", QColor(255, 0, 0));
        row(m, "MinColor", QColor(0, 255, 0));
        row(m, "MaxBackgroundColor", QColor(64, 0, 0));
        row(m, "MinBackgroundColor", QColor(0, 64, 0));
        row(m, "SkinEnvironmentVariable", QString());
        row(m, "PPMMeterBackgroundFileName", QString());
    }

    // The digital clock's colours and lines (its fonts: digitalClockFonts).
    const QString digital = QStringLiteral("DigitalClock");
    row(digital, "TimeDisplay", true);
    row(digital, "TimeDisplayFontColor", QColor(255, 255, 255));
    row(digital, "DateDisplay", true);
    row(digital, "DateDisplayFontColor", QColor(255, 255, 255));
}

void TestFace::widgetProperties()
{
    QFETCH(QString, widget);
    QFETCH(QString, property);
    QFETCH(QVariant, value);

    for (MainWindow *w : {fresh.get(), shown.get()}) {
        QWidget *target = faceWidget(*w, widget);
        QVERIFY(target);
        const QMetaObject *meta = target->metaObject();
        const int index = meta->indexOfProperty(qPrintable(property));
        QVERIFY2(index >= 0, qPrintable(QStringLiteral("no property %1").arg(property)));
        QVERIFY(meta->property(index).isWritable());
        const QVariant actual = target->property(qPrintable(property));
        QCOMPARE(actual.userType(), value.userType());
        QCOMPARE(actual, value);
    }
}

void TestFace::digitalClockFonts()
{
    for (MainWindow *w : {fresh.get(), shown.get()}) {
        QObject *clock = Probe::ui(*w)->DigitalClock;
        const QFont time = clock->property("TimeDisplayFont").value<QFont>();
        const QFont date = clock->property("DateDisplayFont").value<QFont>();
        QCOMPARE(time.family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(time.pointSize(), 40);
        QCOMPARE(date.family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(date.pointSize(), 24);
    }
}

// Lamps and module keys change by swapping style sheets, and each sheet makes
// a new icon from the picture's file name. Pictures of the bundle are decoded
// once and shared, so the second icon's scaled pixmap is the first one's;
// a file on disk is read anew, since it may have changed.
void TestFace::stylePicturesAreDecodedOnce()
{
    const QString lamp =
        QStringLiteral(":/resources/png/VontraMeterIcons2/signals/onair1-active.png");
    const QPixmap first = QIcon(lamp).pixmap(QSize(90, 30));
    const QPixmap second = QIcon(lamp).pixmap(QSize(90, 30));
    QVERIFY(!first.isNull());
    QCOMPARE(second.cacheKey(), first.cacheKey());
    QCOMPARE(second.toImage(),
             QImage(lamp)
                 .scaled(first.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                 .convertToFormat(second.toImage().format()));

    QTemporaryDir dir;
    const QString file = dir.filePath("picture.png");
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(file));
    QCOMPARE(QIcon(file).pixmap(QSize(8, 8)).toImage().pixel(4, 4), QColor(Qt::red).rgb());
    picture.fill(Qt::blue);
    QVERIFY(picture.save(file));
    QCOMPARE(QIcon(file).pixmap(QSize(8, 8)).toImage().pixel(4, 4), QColor(Qt::blue).rgb());
}

QTEST_MAIN(TestFace)
#include "tst_face.moc"
