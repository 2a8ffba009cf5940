#include "datagram_check.h"

#include "datagram.h"
#include "vontra_wire.h"

#include <cstring>
#include <vector>

namespace wire = vontra::wire;
namespace receive = vontra::receive;

namespace {

uint32_t be32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// The rules of docs/protocol.md, written down a second time without the
// codec's help: the decoder must accept exactly these datagrams.
bool wellFormed(const uint8_t *data, std::size_t size)
{
    if (data == nullptr || size < 8 || size > 268 || size % 4 != 0)
        return false;
    if (be32(data) != 0x564E5452 || data[4] != 1 || ((std::size_t(data[6]) << 8) | data[7]) != size)
        return false;
    const std::size_t words = (size - 8) / 4;
    switch (data[5]) {
    case 1: {
        if (words < 1)
            return false;
        const int32_t id = int32_t(be32(data + 8));
        const std::size_t payload = words - 1;
        if (id == 128)
            return payload >= 6 && payload <= 64;
        static const struct
        {
            int32_t id;
            std::size_t words;
        } ids[] = {{73, 24}, {75, 4},  {96, 8},  {98, 8},  {100, 8}, {101, 1},
                   {102, 1}, {104, 2}, {105, 1}, {107, 1}, {111, 8}, {112, 1}};
        for (const auto &known : ids) {
            if (known.id == id)
                return payload == known.words;
        }
        return false;
    }
    case 2:
    case 4:
        return words == 1;
    case 3:
        return words == 2;
    default:
        return false;
    }
}

// Encodes a decoded message again; an accepted datagram has exactly one
// encoding, so this must give back the input byte for byte.
std::size_t reencode(const wire::Message &m, uint8_t *buf, std::size_t cap)
{
    switch (m.kind) {
    case wire::Kind::Event:
        return wire::encodeEvent(m.id, m.words, m.count, buf, cap);
    case wire::Kind::Request:
        return wire::encodeRequest(m.id, buf, cap);
    case wire::Kind::RemoteOn:
        return wire::encodeRemoteOn(m.words[0], m.words[1], buf, cap);
    case wire::Kind::RemoteNonStop:
        return wire::encodeRemoteNonStop(m.words[0], buf, cap);
    }
    return 0;
}

const char *checkDecode(const uint8_t *data, std::size_t size, wire::Message &m,
                        wire::DecodeError &error)
{
    error = wire::decode(data, size, m);
    if (error == wire::DecodeError::None) {
        if (size < wire::kHeaderSize || size > wire::kMaxDatagram || size % 4 != 0)
            return "accepted a datagram of impossible size";
        if (m.count < 0 || m.count > wire::kMaxWords)
            return "decoded word count out of range";
        if (m.kind == wire::Kind::Event) {
            const int want = wire::eventWords(m.id);
            if (want < 0)
                return "accepted an unknown event id";
            if (m.id == 128 ? m.count < want : m.count != want)
                return "accepted an event with the wrong payload size";
        }
        uint8_t again[wire::kMaxDatagram + 4];
        const std::size_t n = reencode(m, again, sizeof again);
        if (n != size)
            return "re-encoding an accepted datagram gives another size";
        if (std::memcmp(again, data, size) != 0)
            return "re-encoding an accepted datagram gives other bytes";
    }
    if ((error == wire::DecodeError::None) != wellFormed(data, size))
        return error == wire::DecodeError::None ? "accepted a datagram the protocol rules reject"
                                                : "rejected a datagram the protocol rules accept";
    return nullptr;
}

} // namespace

const char *checkDatagram(const uint8_t *data, std::size_t size)
{
    wire::Message decoded;
    wire::DecodeError error;
    if (const char *fault = checkDecode(data, size, decoded, error))
        return fault;

    // The library's own step, into a record that still holds an earlier
    // delivery, as the receive thread's would on a reused stack slot.
    receive::Delivery delivery;
    std::memset(delivery.message.words, 0x5A, sizeof delivery.message.words);
    const int reason = receive::toDelivery(data, size, delivery);
    const bool event = error == wire::DecodeError::None && decoded.kind == wire::Kind::Event;
    if (!event) {
        if (reason == receive::kAccepted)
            return "the library accepted what is not a valid event";
        if (reason < 0 || reason >= receive::DropCount)
            return "drop reason out of range";
        const int expected =
            error == wire::DecodeError::None ? int(receive::DropNotEvent) : receive::dropFor(error);
        if (reason != expected)
            return "drop reason does not match the decoder's error";
        return nullptr;
    }
    if (reason != receive::kAccepted)
        return "the library dropped a valid event";
    const vontra_event &e = delivery.event;
    if (e.id != decoded.id || e.reserved != uint32_t(decoded.count))
        return "event record does not match the datagram";
    const void *expectedPayload = e.id == 128 ? static_cast<const void *>(delivery.levels)
                                              : static_cast<const void *>(delivery.message.words);
    if (e.payload != expectedPayload)
        return "payload does not point into the delivery";
    // Read the payload as a callback would, word by word from the record.
    std::vector<int32_t> seen(e.reserved);
    std::memcpy(seen.data(), e.payload, sizeof(int32_t) * seen.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        if (seen[i] != int32_t(be32(data + wire::kHeaderSize + 4 + 4 * i)))
            return "payload word differs from the datagram";
    }
    return nullptr;
}
