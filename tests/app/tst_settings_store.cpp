#include <QtTest>

#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

#include "mainwindow.h"

// White-box access to the main window's link settings.
class MainWindowProbe
{
public:
    static quint16 sendPort(const MainWindow &window) { return window.udp_send_port; }
    static quint16 recvPort(const MainWindow &window) { return window.udp_recv_port; }
    static bool useDefaults(const MainWindow &window) { return window.use_defaults; }
    static QString remoteHost(const MainWindow &window) { return window.remote_host; }
    static int currentScreen(const MainWindow &window) { return window.currentScreen(); }
};

namespace {

const char *const organisation = "Orvendel";
const char *const application = "Vontra Meters";

using KeyValues = QVariantMap;

const QStringList allKeys{"current_screen", "geometry",          "udp_send",
                          "udp_recv",       "use_default_ports", "remote_host"};

// The program's own store, located under the test's temporary directory.
std::unique_ptr<QSettings> openStore()
{
    return std::make_unique<QSettings>(QLatin1String(organisation), QLatin1String(application));
}

void fillStore(const KeyValues &values)
{
    auto store = openStore();
    store->clear();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store->setValue(it.key(), it.value());
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void loadAndSave_data();
    void loadAndSave();
    void dialogPortsAreWrittenUnsigned();
    void unknownScreenPlacesAtOrigin();
    void refusedGeometryKeepsPlacement();
    void geometryRoundTrips();
    void oneScreenIsAlwaysIndexZero();

private:
    QTemporaryDir storeDir;
};

void TestSettingsStore::initTestCase()
{
    QVERIFY(storeDir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, storeDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, storeDir.path());
}

void TestSettingsStore::init()
{
    fillStore({});
}

void TestSettingsStore::loadAndSave_data()
{
    QTest::addColumn<KeyValues>("stored");
    QTest::addColumn<int>("sendPort");
    QTest::addColumn<int>("recvPort");
    QTest::addColumn<bool>("useDefaults");
    QTest::addColumn<QString>("remoteHost");

    QTest::newRow("first start") << KeyValues{} << 19551 << 19548 << true << QString();
    QTest::newRow("ports above 32767") << KeyValues{{"udp_send", 65535}, {"udp_recv", 40000}}
                                       << 65535 << 40000 << true << QString();
    QTest::newRow("use defaults keeps stored ports") << KeyValues{{"udp_send", 20000},
                                                                  {"udp_recv", 20001},
                                                                  {"use_default_ports", true},
                                                                  {"remote_host", "10.0.0.5"}}
                                                     << 20000 << 20001 << true << "10.0.0.5";
    QTest::newRow("stored without defaults")
        << KeyValues{{"udp_send", 1}, {"use_default_ports", false}, {"remote_host", "::1"}} << 1
        << 19548 << false << "::1";
    QTest::newRow("non-numeric ports")
        << KeyValues{{"udp_send", "garbage"}, {"udp_recv", "x12"}} << 0 << 0 << true << QString();
    QTest::newRow("ports beyond 16 bits")
        << KeyValues{{"udp_send", 70000}, {"udp_recv", -1}} << 4464 << 65535 << true << QString();
    QTest::newRow("flag as text false")
        << KeyValues{{"use_default_ports", "false"}} << 19551 << 19548 << false << QString();
    QTest::newRow("flag as zero") << KeyValues{{"use_default_ports", 0}} << 19551 << 19548 << false
                                  << QString();
    QTest::newRow("flag as other text")
        << KeyValues{{"use_default_ports", "garbage"}} << 19551 << 19548 << true << QString();
    QTest::newRow("host as number")
        << KeyValues{{"remote_host", 42}} << 19551 << 19548 << true << "42";
    QTest::newRow("screen index as text")
        << KeyValues{{"current_screen", "garbage"}} << 19551 << 19548 << true << QString();
}

void TestSettingsStore::loadAndSave()
{
    QFETCH(KeyValues, stored);
    QFETCH(int, sendPort);
    QFETCH(int, recvPort);
    QFETCH(bool, useDefaults);
    QFETCH(QString, remoteHost);

    fillStore(stored);
    {
        MainWindow window;
        QCOMPARE(QCoreApplication::organizationName(), QString(organisation));
        QCOMPARE(QCoreApplication::applicationName(), QString(application));
        QCOMPARE(int(MainWindowProbe::sendPort(window)), sendPort);
        QCOMPARE(int(MainWindowProbe::recvPort(window)), recvPort);
        QCOMPARE(MainWindowProbe::useDefaults(window), useDefaults);
        QCOMPARE(MainWindowProbe::remoteHost(window), remoteHost);
    }

    // Every key is written at exit, changed or not, ports as unsigned numbers.
    auto store = openStore();
    for (const QString &key : allKeys)
        QVERIFY2(store->contains(key), qPrintable(key));
    QCOMPARE(store->value("current_screen").toInt(), 0);
    QVERIFY(!store->value("geometry").toByteArray().isEmpty());
    QCOMPARE(store->value("udp_send").toInt(), sendPort);
    QCOMPARE(store->value("udp_recv").toInt(), recvPort);
    QCOMPARE(store->value("use_default_ports").toBool(), useDefaults);
    QCOMPARE(store->value("remote_host").toString(), remoteHost);
}

void TestSettingsStore::dialogPortsAreWrittenUnsigned()
{
    {
        MainWindow window;
        // The dialog's signal carries the 16 bits of 40000 and 65535 as qint16.
        QVERIFY(QMetaObject::invokeMethod(&window, "onSetUdpPorts", Q_ARG(qint16, qint16(-25536)),
                                          Q_ARG(qint16, qint16(-1)), Q_ARG(bool, false),
                                          Q_ARG(QString, QString("192.168.1.20"))));
        QCOMPARE(int(MainWindowProbe::sendPort(window)), 40000);
        QCOMPARE(int(MainWindowProbe::recvPort(window)), 65535);
    }
    auto store = openStore();
    QCOMPARE(store->value("udp_send").toInt(), 40000);
    QCOMPARE(store->value("udp_recv").toInt(), 65535);
    QCOMPARE(store->value("use_default_ports").toBool(), false);
    QCOMPARE(store->value("remote_host").toString(), QString("192.168.1.20"));
}

void TestSettingsStore::unknownScreenPlacesAtOrigin()
{
    QVERIFY(!QGuiApplication::screens().isEmpty());
    for (const int index : {7, -1}) {
        fillStore({{"current_screen", index}});
        MainWindow window;
        QCOMPARE(window.pos(), QPoint(0, 0));
    }
}

void TestSettingsStore::refusedGeometryKeepsPlacement()
{
    QSize constructedSize;
    {
        MainWindow window;
        constructedSize = window.size();
    }
    const QPoint screenOrigin = QGuiApplication::screens().first()->geometry().topLeft();

    fillStore({{"current_screen", 0}, {"geometry", QByteArray("not a geometry block")}});
    MainWindow window;
    QCOMPARE(window.pos(), screenOrigin);
    QCOMPARE(window.size(), constructedSize);
}

void TestSettingsStore::geometryRoundTrips()
{
    QRect placed;
    {
        MainWindow window;
        window.move(30, 20);
        placed = window.geometry();
    }
    // The saved block wins over the screen's corner that loading moves to first.
    MainWindow window;
    QCOMPARE(window.geometry(), placed);
}

void TestSettingsStore::oneScreenIsAlwaysIndexZero()
{
    if (QGuiApplication::screens().size() != 1)
        QSKIP("needs exactly one screen");
    MainWindow window;
    for (const int x : {-4000, 0, 700, 9000}) {
        window.move(x, 10);
        QCOMPARE(MainWindowProbe::currentScreen(window), 0);
    }
}

QTEST_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
