// Wire format shared by the stand-in console-link library and the console
// simulator. docs/protocol.md describes it for anyone writing another peer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vontra::wire {

constexpr uint32_t kMagic = 0x564E5452; // "VNTR"
constexpr uint8_t kVersion = 1;
constexpr std::size_t kHeaderSize = 8;

// A meter event carries at least the six levels the display reads; more are
// allowed so that a bigger console can send all of its buses.
constexpr int kMinMeterWords = 6;
constexpr int kMaxWords = 64;
constexpr std::size_t kMaxDatagram = kHeaderSize + 4 + 4 * kMaxWords;

enum class Kind : uint8_t {
    Event = 1,         // console -> display: id, then the id's payload words
    Request = 2,       // display -> console: id
    RemoteOn = 3,      // display -> console: module, value
    RemoteNonStop = 4, // display -> console: value
};

enum class DecodeError {
    None,
    TooShort,
    TooLong,
    BadMagic,
    BadVersion,
    BadLength,
    UnknownKind,
    UnknownEvent,
    BadPayloadSize,
};

const char *errorText(DecodeError error);

struct Message
{
    Kind kind = Kind::Event;
    int32_t id = 0; // event or request id
    int count = 0;  // payload words in use
    // Event payload in host order; for id 128 the bits of single-precision
    // floats. For RemoteOn: words[0] module, words[1] value; RemoteNonStop:
    // words[0] value.
    int32_t words[kMaxWords] = {};
};

// Payload words of an event id: the exact count, or for the meter event the
// minimum; -1 for an id the console never sends.
int eventWords(int32_t id);

// Decodes one datagram. Never reads outside data[0..size).
DecodeError decode(const uint8_t *data, std::size_t size, Message &out);

// Encoders write into buf and return the datagram's size, or 0 when it does
// not fit into cap bytes or the arguments are not a valid message.
std::size_t encodeEvent(int32_t id, const int32_t *words, int count, uint8_t *buf, std::size_t cap);
std::size_t encodeRequest(int32_t id, uint8_t *buf, std::size_t cap);
std::size_t encodeRemoteOn(int32_t module, int32_t value, uint8_t *buf, std::size_t cap);
std::size_t encodeRemoteNonStop(int32_t value, uint8_t *buf, std::size_t cap);

} // namespace vontra::wire
