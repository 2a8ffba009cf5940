// The simulator behind the stand-in console-link library, used exactly as the
// display uses it: open, register a callback, request the batch, send remote
// commands, and watch the meter stream stop and come back.
#include "simprocess.h"
#include "vontra.h"
#include "vontra_wire.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <mutex>

namespace {

constexpr int kMeterId = 128;
constexpr int kWaitMs = 3000;

// The display's request batch, in its order.
const QVector<int> kBatch = {100, 96, 98, 73, 75, 111, 104, 101, 105, 102, 107};

struct Seen
{
    int id = 0;
    QVector<qint32> words; // state events only
    double at = 0.0;
};

// Collects events from the library's thread; the test reads a snapshot.
class Inbox
{
public:
    explicit Inbox(const SimProcess *sim) : sim(sim) {}

    static void callback(const vontra_event *event, void *user)
    {
        static_cast<Inbox *>(user)->add(event);
    }

    QVector<Seen> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }

    // Waits until `done` holds for the events so far.
    template <typename Done> bool waitFor(Done done, int timeoutMs = kWaitMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < timeoutMs) {
            if (done(snapshot()))
                return true;
            QTest::qWait(10);
        }
        return done(snapshot());
    }

private:
    void add(const vontra_event *event)
    {
        Seen seen;
        seen.id = event->id;
        seen.at = sim->seconds();
        const int words = wordsOf(event->id);
        seen.words.resize(words);
        if (words > 0)
            std::memcpy(seen.words.data(), event->payload, sizeof(qint32) * std::size_t(words));
        std::lock_guard<std::mutex> lock(mutex);
        events << seen;
    }

    // Meter payloads are floats and not kept; every other event's words are.
    static int wordsOf(int id)
    {
        return id == kMeterId ? 0 : qMax(0, vontra::wire::eventWords(id));
    }

    const SimProcess *sim;
    std::mutex mutex;
    QVector<Seen> events;
};

int lastIndexOf(const QVector<Seen> &events, int id)
{
    for (int i = events.size() - 1; i >= 0; --i) {
        if (events[i].id == id)
            return i;
    }
    return -1;
}

} // namespace

class TestSimLibrary : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void requestBatchIsAnswered();
    void remoteCommandsAreReported();
    void metersStopAndComeBack();

private:
    bool startSim(const QStringList &extra = {});

    SimProcess *sim = nullptr;
    Inbox *inbox = nullptr;
    int handle = 0;
    QTemporaryDir dir;
};

void TestSimLibrary::init()
{
    sim = new SimProcess;
    inbox = new Inbox(sim);
}

void TestSimLibrary::cleanup()
{
    // Closing waits for the library's thread, so the inbox outlives it.
    vontra_close(handle);
    handle = 0;
    delete sim;
    delete inbox;
}

bool TestSimLibrary::startSim(const QStringList &extra)
{
    const quint16 consolePort = freeUdpPort();
    const quint16 displayPort = freeUdpPort();
    // Events go to the display's port from the start, as after its first
    // request; nothing reaches the default port of a display running here.
    const QStringList arguments =
        QStringList{"--port", QString::number(consolePort), "--target",
                    QStringLiteral("127.0.0.1:%1").arg(displayPort), "--quiet-life"} +
        extra;
    if (!sim->start(arguments))
        return false;
    handle = vontra_open("127.0.0.1", displayPort, consolePort);
    if (handle == 0)
        return false;
    vontra_register_callback(handle, &Inbox::callback, inbox);
    return true;
}

void TestSimLibrary::requestBatchIsAnswered()
{
    QVERIFY2(startSim(), qPrintable(sim->output));
    for (int id : kBatch)
        vontra_request(handle, id);

    const bool all = inbox->waitFor([](const QVector<Seen> &events) {
        for (int id : kBatch) {
            if (lastIndexOf(events, id) < 0)
                return false;
        }
        // Meters come unasked meanwhile.
        return lastIndexOf(events, kMeterId) >= 0;
    });
    QVERIFY2(all, "not every request was answered, or no meters");

    // Answered in the order asked, each exactly once.
    QVector<int> order;
    for (const Seen &e : inbox->snapshot()) {
        if (e.id != kMeterId)
            order << e.id;
    }
    QCOMPARE(order, kBatch);
    const QVector<Seen> events = inbox->snapshot();
    QCOMPARE(events[lastIndexOf(events, 75)].words, QVector<qint32>({-40, 3, 2, 1}));
}

void TestSimLibrary::remoteCommandsAreReported()
{
    QVERIFY2(startSim(), qPrintable(sim->output));
    vontra_request(handle, 96);
    vontra_request(handle, 101);
    QVERIFY(inbox->waitFor([](const QVector<Seen> &events) {
        return lastIndexOf(events, 96) >= 0 && lastIndexOf(events, 101) >= 0;
    }));
    const QVector<Seen> before = inbox->snapshot();
    const QVector<qint32> modules = before[lastIndexOf(before, 96)].words;
    const qint32 nonStop = before[lastIndexOf(before, 101)].words[0];
    const int seen = before.size();

    vontra_remote_on(handle, 5, 2);
    vontra_remote_non_stop(handle, 2);
    const auto reported = [seen](const QVector<Seen> &events) {
        return lastIndexOf(events, 96) >= seen && lastIndexOf(events, 101) >= seen;
    };
    QVERIFY2(inbox->waitFor(reported), "remote commands were not reported");

    const QVector<Seen> after = inbox->snapshot();
    QVector<qint32> expected = modules;
    expected[5] = modules[5] == 1 ? 0 : 1;
    QCOMPARE(after[lastIndexOf(after, 96)].words, expected);
    QCOMPARE(after[lastIndexOf(after, 101)].words[0], nonStop == 1 ? 0 : 1);
}

void TestSimLibrary::metersStopAndComeBack()
{
    // The console goes away for a second and a half, long enough to see
    // the gap, short enough for a quick test.
    const QString path = dir.filePath(QStringLiteral("away.scn"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
    file.write("at 0.5 meters stop\nat 2.0 meters start\n");
    file.close();
    QVERIFY2(startSim({"--scenario", path}), qPrintable(sim->output));

    QVERIFY(inbox->waitFor(
        [](const QVector<Seen> &events) {
            return !events.isEmpty() && events.last().id == kMeterId && events.last().at > 2.3;
        },
        4000));
    double gapStart = 0.0, gapEnd = 0.0, previous = -1.0;
    for (const Seen &e : inbox->snapshot()) {
        if (e.id != kMeterId)
            continue;
        if (previous >= 0.0 && e.at - previous > gapEnd - gapStart) {
            gapStart = previous;
            gapEnd = e.at;
        }
        previous = e.at;
    }
    QVERIFY2(qAbs(gapStart - 0.5) < 0.1 && qAbs(gapEnd - 2.0) < 0.1,
             qPrintable(QStringLiteral("gap from %1 s to %2 s").arg(gapStart).arg(gapEnd)));
}

QTEST_GUILESS_MAIN(TestSimLibrary)
#include "tst_sim_library.moc"
