// The settings store damaged or out of reach: garbage bytes in any key or in
// the whole file, a store that cannot be read or written. The window must
// come up with the values the store still yields (defaults where it yields
// nothing), never crash, and write a store that can be written correctly at
// exit. Runs in a network namespace of its own: a garbled host name is then
// looked up without any query leaving this machine.
#include "apptestsupport.h"
#include "mainwindow.h"
#include "robustsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <random>

class MainWindowProbe
{
public:
    static quint16 sendPort(const MainWindow &w) { return w.udp_send_port; }
    static quint16 recvPort(const MainWindow &w) { return w.udp_recv_port; }
    static bool useDefaults(const MainWindow &w) { return w.use_defaults; }
    static QString remoteHost(const MainWindow &w) { return w.remote_host; }
    static bool online(const MainWindow &w) { return w.online; }
};

namespace {

struct Seen
{
    int send = -1, recv = -1;
    bool defaults = false;
    QString host;
    QByteArray geometry;
};

// Builds the window on the store as it is, lets it run a moment and closes
// it; returns what it read and the geometry it had at exit.
Seen runWindow()
{
    Seen seen;
    MainWindow window;
    window.show();
    QTest::qWait(50);
    seen.send = MainWindowProbe::sendPort(window);
    seen.recv = MainWindowProbe::recvPort(window);
    seen.defaults = MainWindowProbe::useDefaults(window);
    seen.host = MainWindowProbe::remoteHost(window);
    window.close();
    seen.geometry = window.saveGeometry();
    return seen;
}

// The store at exit holds every key, of the right kind, with the window's values.
void verifyWritten(const QString &file, const Seen &seen)
{
    QSettings store(file, QSettings::NativeFormat);
    QCOMPARE(store.status(), QSettings::NoError);
    bool ok = false;
    QCOMPARE(store.value("current_screen").toInt(&ok), 0);
    QVERIFY(ok);
    QCOMPARE(store.value("geometry").toByteArray(), seen.geometry);
    QCOMPARE(store.value("udp_send").toInt(&ok), seen.send);
    QVERIFY(ok);
    QCOMPARE(store.value("udp_recv").toInt(&ok), seen.recv);
    QVERIFY(ok);
    QCOMPARE(store.value("use_default_ports").toString(),
             QLatin1String(seen.defaults ? "true" : "false"));
    QCOMPARE(store.value("remote_host").toString(), seen.host);
}

QByteArray randomBytes(std::mt19937 &rng, int size)
{
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(rng() & 0xff);
    return bytes;
}

// Lifts an immutable flag again, whatever happens to the test.
struct ImmutableFile
{
    explicit ImmutableFile(const QString &path) : path(path)
    {
        set = QProcess::execute("chattr", {"+i", path}) == 0;
    }
    ~ImmutableFile()
    {
        if (set)
            QProcess::execute("chattr", {"-i", path});
    }
    QString path;
    bool set = false;
};

} // namespace

class SettingsFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void garbageInOneKey_data();
    void garbageInOneKey();
    void garbageFile();
    void storeIsADirectory();
    void storeFolderIsAFile();
    void storeThatCannotBeWritten();

private:
    bool isolated = false;
};

void SettingsFaultsTest::initTestCase()
{
    isolated = robust::isolateNetwork();
    if (!isolated)
        qWarning("no network namespace of its own: garbled host names are not tried");
}

void SettingsFaultsTest::garbageInOneKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("raw"); // the value as it stands in the file
    QTest::addColumn<int>("send");
    QTest::addColumn<int>("recv");
    QTest::addColumn<bool>("defaults");
    QTest::addColumn<QString>("host");

    const QStringList keys = {"current_screen", "geometry",          "udp_send",
                              "udp_recv",       "use_default_ports", "remote_host"};
    // Damaged serialised values: a variant of an unknown type, a truncated
    // one, byte arrays of noise, escapes that lead nowhere.
    const QList<QPair<const char *, QByteArray>> values = {
        {"unknown variant", "@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5\\x42ogus\\xff\\xff)"},
        {"truncated variant", "@Variant(\\0\\0\\0\\n\\0\\0\\0\\xff\\xff)"},
        {"empty variant", "@Variant()"},
        {"noise bytes", "@ByteArray(\\x1\\xd9\\xd0\\xcb\\0\\x3\\0\\0\\xff\\xff\\xff\\xfe\\x80)"},
        {"broken escapes", "\\x\\0\\\\\"\"\\u12"},
        {"huge number", "99999999999999999999999999999"},
        {"list", "1, 2, 3"},
    };
    for (const QString &key : keys) {
        for (const auto &v : values) {
            // What the toolkit makes of the damage: non-numbers are port 0,
            // a list or a number too big for an int too, the flag is true
            // unless it reads as false, the host whatever text it yields.
            int send = 19551, recv = 19548;
            bool defaults = true;
            QString host;
            if (key == "udp_send")
                send = 0;
            if (key == "udp_recv")
                recv = 0;
            const QString row = key + QLatin1Char(' ') + QLatin1String(v.first);
            if (key == "remote_host" || key == "use_default_ports") {
                // Computed from the toolkit's own reading of the same text.
                QTemporaryFile probe;
                probe.open();
                probe.write("[General]\n" + key.toLatin1() + "=" + v.second + "\n");
                probe.close();
                const QVariant value = QSettings(probe.fileName(), QSettings::IniFormat).value(key);
                if (key == "remote_host")
                    host = value.toString();
                else
                    defaults = value.toBool();
            }
            QTest::newRow(qPrintable(row)) << key << v.second << send << recv << defaults << host;
        }
    }
}

void SettingsFaultsTest::garbageInOneKey()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, raw);
    QFETCH(int, send);
    QFETCH(int, recv);
    QFETCH(bool, defaults);
    QFETCH(QString, host);
    if (key == "remote_host" && !isolated && !host.isEmpty())
        QSKIP("would look up a garbled name on the network");

    apptest::IsolatedSettings settings(false);
    const QString file = QSettings().fileName();
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("[General]\n" + key.toLatin1() + "=" + raw + "\n");
    out.close();

    const Seen seen = runWindow();
    QCOMPARE(seen.send, send);
    QCOMPARE(seen.recv, recv);
    QCOMPARE(seen.defaults, defaults);
    QCOMPARE(seen.host, host);
    verifyWritten(file, seen);
}

void SettingsFaultsTest::garbageFile()
{
    std::mt19937 rng(99);
    for (int round = 0; round < 20; ++round) {
        apptest::IsolatedSettings settings(false);
        const QString file = QSettings().fileName();
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        // Noise, now and then with the program's own keys in it.
        QByteArray bytes = randomBytes(rng, 1 + int(rng() % 8192));
        if (round % 2 == 1)
            bytes.insert(int(rng() % bytes.size()), "\nudp_send=12345\nremote_host=\xff\xfe\n");
        out.write(bytes);
        out.close();

        const Seen seen = runWindow();
        // Only a name, never a garbled one, is looked up outside a namespace.
        if (!isolated)
            QVERIFY(seen.host.isEmpty());
        verifyWritten(file, seen);
    }
}

void SettingsFaultsTest::storeIsADirectory()
{
    apptest::IsolatedSettings settings(false);
    const QString file = QSettings().fileName();
    QVERIFY(QDir().mkpath(file)); // neither readable nor writable as a file, even as root

    const Seen seen = runWindow();
    QCOMPARE(seen.send, 19551);
    QCOMPARE(seen.recv, 19548);
    QCOMPARE(seen.defaults, true);
    QCOMPARE(seen.host, QString());
    QVERIFY(QFileInfo(file).isDir()); // the write was lost, and nothing else happened
}

void SettingsFaultsTest::storeFolderIsAFile()
{
    apptest::IsolatedSettings settings(false);
    const QString file = QSettings().fileName();
    const QString folder = QFileInfo(file).path();
    QDir(folder).removeRecursively();
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write("not a folder");
    blocker.close();

    const Seen seen = runWindow();
    QCOMPARE(seen.send, 19551);
    QCOMPARE(seen.recv, 19548);
    QVERIFY(QFileInfo(folder).isFile());
}

void SettingsFaultsTest::storeThatCannotBeWritten()
{
    apptest::IsolatedSettings settings(true);
    const QString file = QSettings().fileName();
    QFile original(file);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();
    // Root ignores permission bits; an immutable file stops root too.
    ImmutableFile immutable(file);
    ImmutableFile folder(QFileInfo(file).path());
    if (!immutable.set || !folder.set)
        QSKIP("the file system cannot make the store immutable");

    // Read as usual; the write at exit is lost without harm, but not without a word.
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Settings not saved: .+ cannot be written$"));
    const Seen seen = runWindow();
    QCOMPARE(seen.send, int(settings.sendPort()));
    QCOMPARE(seen.recv, int(settings.recvPort()));
    QCOMPARE(seen.host, QStringLiteral("127.0.0.1"));
    QVERIFY(original.open(QIODevice::ReadOnly));
    QCOMPARE(original.readAll(), before);
}

QTEST_MAIN(SettingsFaultsTest)
#include "tst_settings_faults.moc"
