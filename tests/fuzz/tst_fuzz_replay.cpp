// Runs the fuzz target's checks without libFuzzer, in every build: the seed
// datagrams, systematic mutations of them, fixed pseudo-random inputs and the
// inputs that once made the fuzzer fail (regressions/).
#include "datagram.h"
#include "datagram_check.h"
#include "seeds.h"
#include "vontra_wire.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace wire = vontra::wire;
namespace receive = vontra::receive;

// Stops the test function at the first failing input instead of reporting
// thousands of its mutations.
#define CHECK_INPUT(name, bytes)                                                                   \
    do {                                                                                           \
        check(name, bytes);                                                                        \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

class TestFuzzReplay : public QObject
{
    Q_OBJECT

private:
    static QByteArray describe(const std::string &name, const std::vector<uint8_t> &bytes,
                               const char *fault)
    {
        QByteArray hex =
            QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())).toHex(' ');
        return QByteArray(name.c_str()) + ": " + fault + " [" + hex + "]";
    }

    static void check(const std::string &name, const std::vector<uint8_t> &bytes)
    {
        // An exact-size heap copy, so that a read past the end is caught by
        // the address sanitizer builds.
        std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + 1]);
        if (!bytes.empty())
            std::memcpy(copy.get(), bytes.data(), bytes.size());
        const char *fault = checkDatagram(bytes.empty() ? nullptr : copy.get(), bytes.size());
        QVERIFY2(fault == nullptr, describe(name, bytes, fault ? fault : "").constData());
    }

private slots:
    void seedsCoverEveryKind()
    {
        const auto seeds = seedDatagrams();
        QCOMPARE(int(seeds.size()), 17);
        int events = 0;
        for (const SeedDatagram &seed : seeds) {
            QVERIFY2(!seed.bytes.empty(), seed.name.c_str());
            wire::Message m;
            QCOMPARE(wire::decode(seed.bytes.data(), seed.bytes.size(), m),
                     wire::DecodeError::None);
            receive::Delivery d;
            const int reason = receive::toDelivery(seed.bytes.data(), seed.bytes.size(), d);
            if (m.kind == wire::Kind::Event) {
                ++events;
                QCOMPARE(reason, receive::kAccepted);
                QCOMPARE(d.event.id, m.id);
            } else {
                // Commands travel the other way; the display drops them.
                QCOMPARE(reason, int(receive::DropNotEvent));
            }
        }
        QCOMPARE(events, 14);
    }

    void meterPayloadArrivesAsFloats()
    {
        for (const SeedDatagram &seed : seedDatagrams()) {
            if (seed.name.rfind("event-128", 0) != 0)
                continue;
            receive::Delivery d;
            QCOMPARE(receive::toDelivery(seed.bytes.data(), seed.bytes.size(), d),
                     receive::kAccepted);
            const auto *levels = static_cast<const float *>(d.event.payload);
            for (uint32_t i = 0; i < d.event.reserved; ++i)
                QCOMPARE(levels[i], -60.0f + 1.5f * float(i));
        }
    }

    void seedsAndTheirMutations()
    {
        static const uint8_t masks[] = {0x01, 0x02, 0x10, 0x80, 0xFF};
        int inputs = 0;
        for (const SeedDatagram &seed : seedDatagrams()) {
            CHECK_INPUT(seed.name, seed.bytes);
            for (std::size_t n = 0; n < seed.bytes.size(); ++n)
                CHECK_INPUT(seed.name + " cut",
                            std::vector<uint8_t>(seed.bytes.begin(), seed.bytes.begin() + long(n)));
            for (std::size_t extra = 1; extra <= 8; ++extra) {
                auto longer = seed.bytes;
                longer.resize(longer.size() + extra, 0);
                CHECK_INPUT(seed.name + " longer", longer);
                // And with the length field following the new size.
                longer[6] = uint8_t(longer.size() >> 8);
                longer[7] = uint8_t(longer.size());
                CHECK_INPUT(seed.name + " longer with its length", longer);
            }
            for (std::size_t i = 0; i < seed.bytes.size(); ++i) {
                for (uint8_t mask : masks) {
                    auto flipped = seed.bytes;
                    flipped[i] ^= mask;
                    CHECK_INPUT(seed.name + " flipped", flipped);
                    ++inputs;
                }
            }
        }
        QVERIFY(inputs > 1000);
    }

    void pseudoRandomInputs()
    {
        QRandomGenerator random(0x564E5452);
        const auto seeds = seedDatagrams();
        for (int round = 0; round < 20000; ++round) {
            std::vector<uint8_t> bytes(random.bounded(300));
            for (auto &b : bytes)
                b = uint8_t(random.bounded(256));
            if (round % 2 == 0 && bytes.size() >= wire::kHeaderSize) {
                // A plausible header, so that the body checks are reached.
                const auto &seed = seeds[random.bounded(int(seeds.size()))].bytes;
                std::memcpy(bytes.data(), seed.data(), wire::kHeaderSize);
                if (round % 4 == 0) {
                    bytes.resize(bytes.size() / 4 * 4);
                    if (bytes.size() < wire::kHeaderSize)
                        continue;
                    bytes[6] = uint8_t(bytes.size() >> 8);
                    bytes[7] = uint8_t(bytes.size());
                }
                if (round % 8 == 0 && bytes.size() >= wire::kHeaderSize + 4)
                    std::memcpy(bytes.data() + wire::kHeaderSize, seed.data() + wire::kHeaderSize,
                                4);
            }
            CHECK_INPUT("random " + std::to_string(round), bytes);
        }
    }

    void regressions()
    {
        const QDir dir(QStringLiteral(VM_FUZZ_REGRESSIONS));
        QVERIFY(dir.exists());
        const auto files = dir.entryInfoList(QDir::Files);
        for (const QFileInfo &info : files) {
            if (info.fileName() == QLatin1String("README"))
                continue;
            QFile f(info.filePath());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray data = f.readAll();
            CHECK_INPUT(info.fileName().toStdString(),
                        std::vector<uint8_t>(data.begin(), data.end()));
        }
    }
};

QTEST_APPLESS_MAIN(TestFuzzReplay)
#include "tst_fuzz_replay.moc"
