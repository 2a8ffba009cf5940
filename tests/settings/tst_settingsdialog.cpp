#include <QtTest>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHostAddress>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "csettingsdialog.h"
#include "vontra.h"

namespace {

// Generous: a name that cannot resolve may have to wait for the resolver.
constexpr int lookupTimeoutMs = 30000;
// Long enough for a loopback lookup to come back had it been started.
constexpr int settleMs = 500;

QStringList capturedMessages;
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    capturedMessages.append(message);
    if (previousHandler)
        previousHandler(type, context, message);
}

int lookupFailures()
{
    int count = 0;
    for (const QString &message : qAsConst(capturedMessages))
        count += message.startsWith(QLatin1String("Lookup failed: ")) ? 1 : 0;
    return count;
}

// The dialog's widgets, reached by their object names.
struct Form
{
    explicit Form(CSettingsDialog &dialog)
        : host(dialog.findChild<QLineEdit *>("UdpHostEdit")),
          send(dialog.findChild<QLineEdit *>("UdpSendPortEdit")),
          recv(dialog.findChild<QLineEdit *>("UdpRecvPortEdit")),
          useDefaults(dialog.findChild<QCheckBox *>("checkBox_use_defaults")),
          version(dialog.findChild<QLabel *>("label_libversion"))
    {
        auto *box = dialog.findChild<QDialogButtonBox *>("buttonBox");
        ok = box->button(QDialogButtonBox::Ok);
        cancel = box->button(QDialogButtonBox::Cancel);
    }

    QLineEdit *host;
    QLineEdit *send;
    QLineEdit *recv;
    QCheckBox *useDefaults;
    QLabel *version;
    QPushButton *ok;
    QPushButton *cancel;
};

bool isMarked(const QLineEdit *field)
{
    return !field->styleSheet().isEmpty() && !field->toolTip().isEmpty();
}

bool isClean(const QLineEdit *field)
{
    return field->styleSheet().isEmpty() && field->toolTip().isEmpty();
}

quint16 port(const QVariant &value)
{
    return static_cast<quint16>(value.value<qint16>());
}

// Receiver for lookups the test runs beside the dialog's own.
class LookupWaiter : public QObject
{
    Q_OBJECT
public:
    bool done = false;
public slots:
    void lookedUp(const QHostInfo &) { done = true; }
};

// Waits until a fresh lookup of the same name has come back, so that one
// started earlier by the dialog has had every chance to arrive too.
void waitForLookupOf(const QString &name)
{
    LookupWaiter waiter;
    QHostInfo::lookupHost(name, &waiter, SLOT(lookedUp(QHostInfo)));
    QTRY_VERIFY_WITH_TIMEOUT(waiter.done, lookupTimeoutMs);
    QTest::qWait(settleMs);
}

// Lookup ids are handed out in sequence: the one the next lookup gets.
int nextLookupId()
{
    LookupWaiter waiter;
    const int probeId = QHostInfo::lookupHost("127.0.0.1", &waiter, SLOT(lookedUp(QHostInfo)));
    QHostInfo::abortHostLookup(probeId);
    return probeId + 1;
}

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void openingShowsStoredValues_data();
    void openingShowsStoredValues();
    void toggleUseDefaults();
    void acceptEmitsFieldsAndAddress_data();
    void acceptEmitsFieldsAndAddress();
    void hostResolvesToAddressText_data();
    void hostResolvesToAddressText();
    void nameWithBothKindsKeepsIPv4();
    void failedLookupKeepsDialogOpen_data();
    void failedLookupKeepsDialogOpen();
    void emptyResultCountsAsFailure();
    void refusedPortsStartNoLookup_data();
    void refusedPortsStartNoLookup();
    void markClearedByUseDefaults();
    void portBrokenDuringLookupIsRefused();
    void cancelDuringLookupHandsBackNothing();
    void secondOkSupersedesFirst();
    void versionLabelShowsLibraryText();
    void textsFitAtTheDesktopsDpi();
};

void TestSettingsDialog::initTestCase()
{
    qRegisterMetaType<QHostInfo>("QHostInfo");
}

void TestSettingsDialog::init()
{
    capturedMessages.clear();
    previousHandler = qInstallMessageHandler(captureMessage);
}

void TestSettingsDialog::cleanup()
{
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
}

void TestSettingsDialog::openingShowsStoredValues_data()
{
    QTest::addColumn<int>("sendPort");
    QTest::addColumn<int>("recvPort");
    QTest::addColumn<bool>("useDefaults");
    QTest::addColumn<QString>("sendText");
    QTest::addColumn<QString>("recvText");

    QTest::newRow("defaults replace stored ports") << 20000 << 20001 << true << "19551"
                                                   << "19548";
    QTest::newRow("stored ports") << 20000 << 20001 << false << "20000"
                                  << "20001";
    QTest::newRow("ports above 32767 shown unsigned") << 40000 << 65535 << false << "40000"
                                                      << "65535";
}

void TestSettingsDialog::openingShowsStoredValues()
{
    QFETCH(int, sendPort);
    QFETCH(int, recvPort);
    QFETCH(bool, useDefaults);
    QFETCH(QString, sendText);
    QFETCH(QString, recvText);

    CSettingsDialog dialog(static_cast<qint16>(sendPort), static_cast<qint16>(recvPort),
                           useDefaults, "console.studio");
    Form form(dialog);

    QCOMPARE(form.send->text(), sendText);
    QCOMPARE(form.recv->text(), recvText);
    QCOMPARE(form.useDefaults->isChecked(), useDefaults);
    QCOMPARE(form.send->isEnabled(), !useDefaults);
    QCOMPARE(form.recv->isEnabled(), !useDefaults);
    QCOMPARE(form.host->text(), QString("console.studio"));
    QVERIFY(isClean(form.send));
    QVERIFY(isClean(form.recv));
}

void TestSettingsDialog::toggleUseDefaults()
{
    CSettingsDialog dialog(1234, 5678, false, "host");
    Form form(dialog);

    form.useDefaults->click();
    QCOMPARE(form.send->text(), QString("19551"));
    QCOMPARE(form.recv->text(), QString("19548"));
    QVERIFY(!form.send->isEnabled());
    QVERIFY(!form.recv->isEnabled());

    // Unchecking does not bring the earlier ports back.
    form.useDefaults->click();
    QCOMPARE(form.send->text(), QString("19551"));
    QCOMPARE(form.recv->text(), QString("19548"));
    QVERIFY(form.send->isEnabled());
    QVERIFY(form.recv->isEnabled());
    QCOMPARE(form.host->text(), QString("host"));
}

void TestSettingsDialog::acceptEmitsFieldsAndAddress_data()
{
    QTest::addColumn<int>("sendPort");
    QTest::addColumn<int>("recvPort");
    QTest::addColumn<bool>("useDefaults");
    QTest::addColumn<int>("expectedSend");
    QTest::addColumn<int>("expectedRecv");

    QTest::newRow("use defaults") << 20000 << 20001 << true << 19551 << 19548;
    QTest::newRow("ports above 32767 keep their bits") << 40000 << 65535 << false << 40000 << 65535;
    QTest::newRow("lowest port") << 1 << 2 << false << 1 << 2;
}

void TestSettingsDialog::acceptEmitsFieldsAndAddress()
{
    QFETCH(int, sendPort);
    QFETCH(int, recvPort);
    QFETCH(bool, useDefaults);
    QFETCH(int, expectedSend);
    QFETCH(int, expectedRecv);

    CSettingsDialog dialog(static_cast<qint16>(sendPort), static_cast<qint16>(recvPort),
                           useDefaults, "127.0.0.1");
    Form form(dialog);
    QSignalSpy ports(&dialog, SIGNAL(setUdpPorts(qint16, qint16, bool, QString)));
    QSignalSpy accepted(&dialog, SIGNAL(accepted()));
    dialog.show();

    form.ok->click();
    // Nothing is handed back before the lookup has answered.
    QCOMPARE(ports.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(ports.count(), 1, lookupTimeoutMs);

    const QList<QVariant> args = ports.takeFirst();
    QCOMPARE(port(args.at(0)), quint16(expectedSend));
    QCOMPARE(port(args.at(1)), quint16(expectedRecv));
    QCOMPARE(args.at(2).toBool(), useDefaults);
    QCOMPARE(args.at(3).toString(), QString("127.0.0.1"));
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    if (expectedSend == 40000)
        QCOMPARE(args.at(0).value<qint16>(), qint16(-25536));
}

void TestSettingsDialog::hostResolvesToAddressText_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("expected"); // empty: any loopback address text

    QTest::newRow("IPv4") << "127.0.0.1"
                          << "127.0.0.1";
    QTest::newRow("IPv6") << "::1"
                          << "::1";
    QTest::newRow("IPv6 long form") << "0:0:0:0:0:0:0:1"
                                    << "::1";
    QTest::newRow("name") << "localhost" << QString();
}

void TestSettingsDialog::hostResolvesToAddressText()
{
    QFETCH(QString, host);
    QFETCH(QString, expected);

    CSettingsDialog dialog(1000, 1001, false, host);
    Form form(dialog);
    QSignalSpy ports(&dialog, SIGNAL(setUdpPorts(qint16, qint16, bool, QString)));
    dialog.show();

    form.ok->click();
    QTRY_COMPARE_WITH_TIMEOUT(ports.count(), 1, lookupTimeoutMs);
    const QString address = ports.first().at(3).toString();
    if (expected.isEmpty()) {
        const QHostAddress parsed(address);
        QVERIFY2(!parsed.isNull(), qPrintable(address));
        QVERIFY(parsed.isLoopback());
    } else {
        QCOMPARE(address, expected);
    }
}

// A name with addresses of both kinds, IPv6 first: the first IPv4 one is kept.
void TestSettingsDialog::nameWithBothKindsKeepsIPv4()
{
    CSettingsDialog dialog(1000, 1001, false, "127.0.0.1");
    Form form(dialog);
    QSignalSpy ports(&dialog, SIGNAL(setUdpPorts(qint16, qint16, bool, QString)));
    dialog.show();
    QHostInfo both(nextLookupId());
    form.ok->click();

    both.setAddresses({QHostAddress("::1"), QHostAddress("192.0.2.7"), QHostAddress("127.0.0.1")});
    QVERIFY(QMetaObject::invokeMethod(&dialog, "lookedUp", Q_ARG(QHostInfo, both)));
    QCOMPARE(ports.count(), 1);
    QCOMPARE(ports.first().at(3).toString(), QString("192.0.2.7"));
}

void TestSettingsDialog::failedLookupKeepsDialogOpen_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("empty host") << QString();
    QTest::newRow("unknown name") << "no-such-host.invalid";
}

void TestSettingsDialog::failedLookupKeepsDialogOpen()
{
    QFETCH(QString, host);

    CSettingsDialog dialog(1000, 1001, false, host);
    Form form(dialog);
    QSignalSpy ports(&dialog, SIGNAL(setUdpPorts(qint16, qint16, bool, QString)));
    QSignalSpy finished(&dialog, SIGNAL(finished(int)));
    dialog.show();

    form.ok->click();
    QTRY_COMPARE_WITH_TIMEOUT(lookupFailures(), 1, lookupTimeoutMs);
    QVERIFY2(capturedMessages.last().startsWith(QLatin1String("Lookup failed: \"")),
             qPrintable(capturedMessages.last()));
    QCOMPARE(ports.count(), 0);
    QCOMPARE(finished.count(), 0);
    QVERIFY(dialog.isVisible());
    QCOMPARE(form.host->text(), host);
    QCOMPARE(form.send->text(), QString("1000"));

    // The operator corrects the host and tries again.
    form.host->setText("127.0.0.1");
    form.ok->click();
    QTRY_COMPARE_WITH_TIMEOUT(ports.count(), 1, lookupTimeoutMs);
    QCOMPARE(finished.count(), 1);
}

void TestSettingsDialog::emptyResultCountsAsFailure()
{
    CSettingsDialog dialog(1000, 1001, false, "127.0.0.1");
    Form form(dialog);
    QSignalSpy ports(&dialog, SIGNAL(setUdpPorts(qint16, qint16, bool, QString)));
    dialog.show();

    const int id = nextLookupId();
    form.ok->click();

    // A result without error and without address, delivered ahead of the real one.
    QHostInfo empty(id);
    QVERIFY(empty.addresses().isEmpty());
    QCOMPARE(empty.error(), QHostInfo::NoError);
    QVERIFY(QMetaObject::invokeMethod(&dialog, "lookedUp", Q_ARG(QHostInfo, empty)));

    QCOMPARE(lookupFailures(), 1);
    QCOMPARE(ports.count(), 0);
    QVERIFY(dialog.isVisible());

    // The real answer to that same press no longer counts.
    waitForLookupOf("127.0.0.1");
    QCOMPARE(ports.count(), 0);
    QVERIFY(dialog.isVisible());
}

void TestSettingsDialog::refusedPortsStartNoLookup_data()
{
    QTest::addColumn<bool>("sendField");
    QTest::addColumn<QString>("text");

    for (const bool send : {true, false}) {
        const char *field = send ? "transmit" : "receive";
        QTest::addRow("%s empty", field) << send << QString();
        QTest::addRow("%s zero", field) << send << "0";
        QTest::addRow("%s above 65535", field) << send << "70000";
        QTest::addRow("%s with group separator", field) << send << "1,000";
    }
}

void TestSettingsDialog::refusedPortsStartNoLookup()
{
    QFETCH(bool, sendField);
    QFETCH(QString, text);

    CSettingsDialog dialog(1000, 1001, false, "127.0.0.1");
    Form form(dialog);
    QLineEdit *refused = sendField ? form.send : form.recv;
    QLineEdit *other = sendField ? form.recv : form.send;
    QSignalSpy ports(&dialog, SIGNAL(setUdpPorts(qint16, qint16, bool, QString)));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    form.host->setFocus();

    refused->setText(text);
    form.ok->click();
    // Refused on the spot, not when some lookup comes back.
    QVERIFY(isMarked(refused));
    QVERIFY(refused->hasFocus());
    QVERIFY(isClean(other));

    waitForLookupOf("127.0.0.1");
    QCOMPARE(ports.count(), 0);
    QCOMPARE(lookupFailures(), 0);
    QVERIFY(dialog.isVisible());
    QVERIFY(isMarked(refused));

    // Still wrong: the mark stays.
    refused->setText("99999");
    QVERIFY(isMarked(refused));

    // Fixed: the mark goes at once, and OK now goes through.
    refused->setText("4000");
    QVERIFY(isClean(refused));
    form.ok->click();
    QTRY_COMPARE_WITH_TIMEOUT(ports.count(), 1, lookupTimeoutMs);
    QCOMPARE(port(ports.first().at(sendField ? 0 : 1)), quint16(4000));
}

void TestSettingsDialog::markClearedByUseDefaults()
{
    CSettingsDialog dialog(1000, 1001, false, "127.0.0.1");
    Form form(dialog);
    QSignalSpy ports(&dialog, SIGNAL(setUdpPorts(qint16, qint16, bool, QString)));
    dialog.show();

    form.send->setText("0");
    form.recv->clear();
    form.ok->click();
    QVERIFY(isMarked(form.send));
    QVERIFY(isMarked(form.recv));

    form.useDefaults->click();
    QVERIFY(isClean(form.send));
    QVERIFY(isClean(form.recv));

    form.ok->click();
    QTRY_COMPARE_WITH_TIMEOUT(ports.count(), 1, lookupTimeoutMs);
    QCOMPARE(port(ports.first().at(0)), quint16(19551));
    QCOMPARE(port(ports.first().at(1)), quint16(19548));
    QCOMPARE(ports.first().at(2).toBool(), true);
}

void TestSettingsDialog::portBrokenDuringLookupIsRefused()
{
    CSettingsDialog dialog(1000, 1001, false, "127.0.0.1");
    Form form(dialog);
    QSignalSpy ports(&dialog, SIGNAL(setUdpPorts(qint16, qint16, bool, QString)));
    dialog.show();

    form.ok->click();
    // Edited while the lookup runs; the ports are read when it answers.
    form.recv->clear();
    waitForLookupOf("127.0.0.1");

    QCOMPARE(ports.count(), 0);
    QVERIFY(dialog.isVisible());
    QVERIFY(isMarked(form.recv));

    // A valid edit during the lookup is taken.
    form.recv->setText("2002");
    form.ok->click();
    form.send->setText("3003");
    QTRY_COMPARE_WITH_TIMEOUT(ports.count(), 1, lookupTimeoutMs);
    QCOMPARE(port(ports.first().at(0)), quint16(3003));
    QCOMPARE(port(ports.first().at(1)), quint16(2002));
}

void TestSettingsDialog::cancelDuringLookupHandsBackNothing()
{
    for (const QString &host : {QString("127.0.0.1"), QString("localhost")}) {
        CSettingsDialog dialog(1000, 1001, false, host);
        Form form(dialog);
        QSignalSpy ports(&dialog, SIGNAL(setUdpPorts(qint16, qint16, bool, QString)));
        QSignalSpy rejected(&dialog, SIGNAL(rejected()));
        dialog.show();

        form.ok->click();
        form.cancel->click();
        QCOMPARE(rejected.count(), 1);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));

        waitForLookupOf(host);
        QCOMPARE(ports.count(), 0);
        QCOMPARE(lookupFailures(), 0);
    }
}

void TestSettingsDialog::secondOkSupersedesFirst()
{
    CSettingsDialog dialog(1000, 1001, false, "127.0.0.1");
    Form form(dialog);
    QSignalSpy ports(&dialog, SIGNAL(setUdpPorts(qint16, qint16, bool, QString)));
    QSignalSpy accepted(&dialog, SIGNAL(accepted()));
    dialog.show();

    form.ok->click();
    form.host->setText("::1");
    form.ok->click();
    QTRY_COMPARE_WITH_TIMEOUT(ports.count(), 1, lookupTimeoutMs);
    waitForLookupOf("127.0.0.1");

    QCOMPARE(ports.count(), 1);
    QCOMPARE(ports.first().at(3).toString(), QString("::1"));
    QCOMPARE(accepted.count(), 1);
}

void TestSettingsDialog::versionLabelShowsLibraryText()
{
    CSettingsDialog dialog(1000, 1001, false, QString());
    Form form(dialog);

    const char *version = vontra_library_version(0);
    const QString expected = version ? QString::fromLatin1(version) : QString();
    QCOMPARE(form.version->text(), expected);
    QVERIFY(!form.version->text().contains(QLatin1String("-- version --")));
}

// At any desktop scaling (second runs at 144 and 192 DPI) every text has the
// room it needs, with a desktop's usual 9 pt (offscreen's own font is 12 pt).
void TestSettingsDialog::textsFitAtTheDesktopsDpi()
{
    const QFont platformFont = QApplication::font();
    QApplication::setFont(QFont(platformFont.family(), 9));
    CSettingsDialog dialog(19551, 19548, false, "console.example");
    QApplication::setFont(platformFont);
    for (QWidget *w : dialog.findChildren<QWidget *>())
        if (qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w))
            QVERIFY2(w->width() >= w->sizeHint().width() &&
                         w->height() >= w->fontMetrics().height(),
                     qPrintable(w->objectName()));
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
