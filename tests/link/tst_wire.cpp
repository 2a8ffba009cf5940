// The wire codec shared by the console-link library and the simulator.
#include "vontra_wire.h"

#include <QtTest>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

using namespace vontra::wire;
using Bytes = std::vector<uint8_t>;

namespace {

const int32_t kIds[] = {73, 75, 96, 98, 100, 101, 102, 104, 105, 107, 111, 112, 128};

Bytes encodedEvent(int32_t id, const std::vector<int32_t> &words)
{
    Bytes b(kMaxDatagram);
    b.resize(encodeEvent(id, words.data(), int(words.size()), b.data(), b.size()));
    return b;
}

DecodeError decodeBytes(const Bytes &b, Message &m)
{
    return decode(b.data(), b.size(), m);
}

} // namespace

class TestWire : public QObject
{
    Q_OBJECT

private slots:
    void eventLayoutIsBigEndian();
    void everyEventRoundTrips();
    void commandsRoundTrip();
    void encodersRejectInvalidMessages();
    void decodeRejectsMalformedHeaders();
    void decodeRejectsWrongPayloads();
    void meterEventSizeLimits();
    void decodeNeverReadsOutsideTheDatagram();
};

void TestWire::eventLayoutIsBigEndian()
{
    const Bytes b = encodedEvent(104, {1, -2});
    const Bytes want{'V', 'N', 'T', 'R', 1, 1, 0,    20,   0,    0,
                     0,   104, 0,   0,   0, 1, 0xff, 0xff, 0xff, 0xfe};
    QCOMPARE(b, want);
}

void TestWire::everyEventRoundTrips()
{
    for (int32_t id : kIds) {
        const int n = eventWords(id);
        QVERIFY(n > 0);
        std::vector<int32_t> words;
        for (int i = 0; i < n; ++i)
            words.push_back(int32_t(0x81020304u + uint32_t(i * 0x01010101)));
        const Bytes b = encodedEvent(id, words);
        QCOMPARE(b.size(), kHeaderSize + 4 + 4 * std::size_t(n));

        Message m;
        QCOMPARE(decodeBytes(b, m), DecodeError::None);
        QCOMPARE(m.kind, Kind::Event);
        QCOMPARE(m.id, id);
        QCOMPARE(m.count, n);
        QCOMPARE(std::vector<int32_t>(m.words, m.words + m.count), words);
    }
    // Levels travel as the bits of single-precision floats.
    const float levels[6] = {-50.0f, -0.5f, 0.0f, 1e-3f, 5.0f, -1e9f};
    int32_t bits[6];
    std::memcpy(bits, levels, sizeof levels);
    Message m;
    QCOMPARE(decodeBytes(encodedEvent(128, std::vector<int32_t>(bits, bits + 6)), m),
             DecodeError::None);
    float back[6];
    std::memcpy(back, m.words, sizeof back);
    QVERIFY(std::memcmp(back, levels, sizeof levels) == 0);
}

void TestWire::commandsRoundTrip()
{
    uint8_t buf[kMaxDatagram];
    Message m;

    std::size_t n = encodeRequest(-7, buf, sizeof buf);
    QCOMPARE(n, std::size_t(12));
    QCOMPARE(decode(buf, n, m), DecodeError::None);
    QCOMPARE(m.kind, Kind::Request);
    QCOMPARE(m.id, -7);

    n = encodeRemoteOn(7, 2, buf, sizeof buf);
    QCOMPARE(n, std::size_t(16));
    QCOMPARE(buf[5], uint8_t(Kind::RemoteOn));
    QCOMPARE(decode(buf, n, m), DecodeError::None);
    QCOMPARE(m.kind, Kind::RemoteOn);
    QCOMPARE(m.count, 2);
    QCOMPARE(m.words[0], 7);
    QCOMPARE(m.words[1], 2);

    n = encodeRemoteNonStop(2, buf, sizeof buf);
    QCOMPARE(n, std::size_t(12));
    QCOMPARE(decode(buf, n, m), DecodeError::None);
    QCOMPARE(m.kind, Kind::RemoteNonStop);
    QCOMPARE(m.count, 1);
    QCOMPARE(m.words[0], 2);
}

void TestWire::encodersRejectInvalidMessages()
{
    uint8_t buf[kMaxDatagram];
    const int32_t words[kMaxWords + 1] = {};
    QCOMPARE(encodeEvent(74, words, 1, buf, sizeof buf), std::size_t(0));
    QCOMPARE(encodeEvent(101, words, 2, buf, sizeof buf), std::size_t(0));
    QCOMPARE(encodeEvent(73, words, 23, buf, sizeof buf), std::size_t(0));
    QCOMPARE(encodeEvent(128, words, 5, buf, sizeof buf), std::size_t(0));
    QCOMPARE(encodeEvent(128, words, kMaxWords + 1, buf, sizeof buf), std::size_t(0));
    QCOMPARE(encodeEvent(101, nullptr, 1, buf, sizeof buf), std::size_t(0));
    QCOMPARE(encodeEvent(101, words, -1, buf, sizeof buf), std::size_t(0));
    // Too small a buffer is refused, never overrun.
    QCOMPARE(encodeEvent(101, words, 1, buf, 15), std::size_t(0));
    QCOMPARE(encodeEvent(101, words, 1, nullptr, 64), std::size_t(0));
    QCOMPARE(encodeRequest(100, buf, 11), std::size_t(0));
    QCOMPARE(encodeRemoteOn(1, 2, buf, 15), std::size_t(0));
    QCOMPARE(encodeRemoteNonStop(2, buf, 0), std::size_t(0));
    QCOMPARE(encodeEvent(101, words, 1, buf, 16), std::size_t(16));
}

void TestWire::decodeRejectsMalformedHeaders()
{
    Message m;
    const Bytes good = encodedEvent(101, {1});
    QCOMPARE(decode(nullptr, 12, m), DecodeError::TooShort);
    QCOMPARE(decode(good.data(), 0, m), DecodeError::TooShort);
    QCOMPARE(decode(good.data(), 7, m), DecodeError::TooShort);

    Bytes b = good;
    b[3] = 'S';
    QCOMPARE(decodeBytes(b, m), DecodeError::BadMagic);
    b = good;
    b[4] = 0;
    QCOMPARE(decodeBytes(b, m), DecodeError::BadVersion);
    b = good;
    b[7] = 20;
    QCOMPARE(decodeBytes(b, m), DecodeError::BadLength);
    b = good;
    b[6] = 1; // 272 claimed, 16 present
    QCOMPARE(decodeBytes(b, m), DecodeError::BadLength);
    // A datagram cut inside its payload disagrees with its length field.
    QCOMPARE(decode(good.data(), 8, m), DecodeError::BadLength);
    b = good;
    b.push_back(0);
    b[7] = 17; // agrees, but not whole words
    QCOMPARE(decodeBytes(b, m), DecodeError::BadLength);
    for (uint8_t kind : {0, 5, 9, 255}) {
        b = good;
        b[5] = kind;
        QCOMPARE(decodeBytes(b, m), DecodeError::UnknownKind);
    }
    QCOMPARE(decode(Bytes(kMaxDatagram + 4).data(), kMaxDatagram + 4, m), DecodeError::TooLong);
}

void TestWire::decodeRejectsWrongPayloads()
{
    Message m;
    auto raw = [](uint8_t kind, std::vector<uint32_t> body) {
        Bytes b{'V', 'N', 'T', 'R', 1, kind, 0, uint8_t(8 + 4 * body.size())};
        for (uint32_t w : body) {
            for (int shift = 24; shift >= 0; shift -= 8)
                b.push_back(uint8_t(w >> shift));
        }
        return b;
    };
    QCOMPARE(decodeBytes(raw(1, {}), m), DecodeError::BadPayloadSize);
    QCOMPARE(decodeBytes(raw(1, {74, 1}), m), DecodeError::UnknownEvent);
    QCOMPARE(decodeBytes(raw(1, {0xffffff80u}), m), DecodeError::UnknownEvent);
    QCOMPARE(decodeBytes(raw(1, {101}), m), DecodeError::BadPayloadSize);
    QCOMPARE(decodeBytes(raw(1, {101, 1, 2}), m), DecodeError::BadPayloadSize);
    QCOMPARE(decodeBytes(raw(1, {104, 1}), m), DecodeError::BadPayloadSize);
    QCOMPARE(decodeBytes(raw(2, {}), m), DecodeError::BadPayloadSize);
    QCOMPARE(decodeBytes(raw(2, {1, 2}), m), DecodeError::BadPayloadSize);
    QCOMPARE(decodeBytes(raw(3, {1}), m), DecodeError::BadPayloadSize);
    QCOMPARE(decodeBytes(raw(3, {1, 2, 3}), m), DecodeError::BadPayloadSize);
    QCOMPARE(decodeBytes(raw(4, {}), m), DecodeError::BadPayloadSize);
    QCOMPARE(decodeBytes(raw(4, {1, 2}), m), DecodeError::BadPayloadSize);
}

void TestWire::meterEventSizeLimits()
{
    Message m;
    QVERIFY(encodedEvent(128, std::vector<int32_t>(5, 1)).empty());
    const Bytes largest = encodedEvent(128, std::vector<int32_t>(kMaxWords, 3));
    QCOMPARE(largest.size(), kMaxDatagram);
    QCOMPARE(decodeBytes(largest, m), DecodeError::None);
    QCOMPARE(m.count, kMaxWords);

    // One word more than the largest datagram.
    Bytes b = largest;
    b.insert(b.end(), {0, 0, 0, 3});
    b[6] = uint8_t(b.size() >> 8);
    b[7] = uint8_t(b.size());
    QCOMPARE(decodeBytes(b, m), DecodeError::TooLong);
    // Five levels with a consistent header.
    b = encodedEvent(128, std::vector<int32_t>(6, 3));
    b.resize(b.size() - 4);
    b[7] = uint8_t(b.size());
    QCOMPARE(decodeBytes(b, m), DecodeError::BadPayloadSize);
}

void TestWire::decodeNeverReadsOutsideTheDatagram()
{
    // Every datagram is copied into a buffer of exactly its size, so that a
    // sanitizer build catches any read past its end.
    std::mt19937 random(12345);
    std::vector<Bytes> seeds;
    for (int32_t id : kIds)
        seeds.push_back(encodedEvent(id, std::vector<int32_t>(std::size_t(eventWords(id)), 7)));
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        Bytes b = seeds[random() % seeds.size()];
        switch (random() % 3) {
        case 0: // flip a few bytes, header included
            for (int k = 0; k < 3; ++k)
                b[random() % b.size()] = uint8_t(random());
            break;
        case 1: // cut or extend, and sometimes make the length field agree
            b.resize(random() % (kMaxDatagram + 16));
            if (b.size() >= 8 && random() % 2) {
                b[6] = uint8_t(b.size() >> 8);
                b[7] = uint8_t(b.size());
            }
            break;
        default: // random bytes behind a valid header
            for (std::size_t k = 8; k < b.size(); ++k)
                b[k] = uint8_t(random());
            break;
        }
        std::unique_ptr<uint8_t[]> exact(new uint8_t[b.size()]);
        std::memcpy(exact.get(), b.data(), b.size());
        Message m;
        if (decode(exact.get(), b.size(), m) == DecodeError::None) {
            ++accepted;
            QVERIFY(m.count >= 0 && m.count <= kMaxWords);
            QCOMPARE(std::size_t(kHeaderSize + 4 * (m.count + (m.kind == Kind::Event))),
                     b.size() - (m.kind == Kind::Request ? 4 : 0));
        }
    }
    QVERIFY(accepted > 0);
}

QTEST_GUILESS_MAIN(TestWire)
#include "tst_wire.moc"
