#include "vontra_wire.h"

namespace vontra::wire {

namespace {

void put32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

uint32_t get32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

std::size_t encode(Kind kind, const int32_t *words, int count, uint8_t *buf, std::size_t cap)
{
    if (count < 0 || count > kMaxWords + 1)
        return 0;
    const std::size_t size = kHeaderSize + 4 * std::size_t(count);
    if (buf == nullptr || size > cap || size > kMaxDatagram)
        return 0;
    put32(buf, kMagic);
    buf[4] = kVersion;
    buf[5] = uint8_t(kind);
    buf[6] = uint8_t(size >> 8);
    buf[7] = uint8_t(size);
    for (int i = 0; i < count; ++i)
        put32(buf + kHeaderSize + 4 * i, uint32_t(words[i]));
    return size;
}

} // namespace

const char *errorText(DecodeError error)
{
    switch (error) {
    case DecodeError::None:
        return "ok";
    case DecodeError::TooShort:
        return "truncated datagram";
    case DecodeError::TooLong:
        return "oversized datagram";
    case DecodeError::BadMagic:
        return "foreign datagram (bad magic)";
    case DecodeError::BadVersion:
        return "unsupported protocol version";
    case DecodeError::BadLength:
        return "length field does not match the datagram";
    case DecodeError::UnknownKind:
        return "unknown message kind";
    case DecodeError::UnknownEvent:
        return "unknown event id";
    case DecodeError::BadPayloadSize:
        return "payload size does not fit the message";
    }
    return "unknown error";
}

int eventWords(int32_t id)
{
    switch (id) {
    case 73:
        return 24;
    case 75:
        return 4;
    case 96:
    case 98:
    case 100:
    case 111:
        return 8;
    case 104:
        return 2;
    case 101:
    case 102:
    case 105:
    case 107:
    case 112:
        return 1;
    case 128:
        return kMinMeterWords;
    default:
        return -1;
    }
}

DecodeError decode(const uint8_t *data, std::size_t size, Message &out)
{
    if (data == nullptr || size < kHeaderSize)
        return DecodeError::TooShort;
    if (size > kMaxDatagram)
        return DecodeError::TooLong;
    if (get32(data) != kMagic)
        return DecodeError::BadMagic;
    if (data[4] != kVersion)
        return DecodeError::BadVersion;
    if (((std::size_t(data[6]) << 8) | data[7]) != size || size % 4 != 0)
        return DecodeError::BadLength;

    const int body = int((size - kHeaderSize) / 4);
    const uint8_t *p = data + kHeaderSize;
    switch (Kind(data[5])) {
    case Kind::Event: {
        if (body < 1)
            return DecodeError::BadPayloadSize;
        const int32_t id = int32_t(get32(p));
        const int want = eventWords(id);
        if (want < 0)
            return DecodeError::UnknownEvent;
        const int have = body - 1;
        if (id == 128 ? (have < want || have > kMaxWords) : have != want)
            return DecodeError::BadPayloadSize;
        out.kind = Kind::Event;
        out.id = id;
        out.count = have;
        for (int i = 0; i < have; ++i)
            out.words[i] = int32_t(get32(p + 4 + 4 * i));
        return DecodeError::None;
    }
    case Kind::Request:
        if (body != 1)
            return DecodeError::BadPayloadSize;
        out.kind = Kind::Request;
        out.id = int32_t(get32(p));
        out.count = 0;
        return DecodeError::None;
    case Kind::RemoteOn:
        if (body != 2)
            return DecodeError::BadPayloadSize;
        out.kind = Kind::RemoteOn;
        out.id = 0;
        out.count = 2;
        out.words[0] = int32_t(get32(p));
        out.words[1] = int32_t(get32(p + 4));
        return DecodeError::None;
    case Kind::RemoteNonStop:
        if (body != 1)
            return DecodeError::BadPayloadSize;
        out.kind = Kind::RemoteNonStop;
        out.id = 0;
        out.count = 1;
        out.words[0] = int32_t(get32(p));
        return DecodeError::None;
    }
    return DecodeError::UnknownKind;
}

std::size_t encodeEvent(int32_t id, const int32_t *words, int count, uint8_t *buf, std::size_t cap)
{
    const int want = eventWords(id);
    if (want < 0 || count < 0 || (count > 0 && words == nullptr))
        return 0;
    if (id == 128 ? (count < want || count > kMaxWords) : count != want)
        return 0;
    int32_t all[kMaxWords + 1];
    all[0] = id;
    for (int i = 0; i < count; ++i)
        all[i + 1] = words[i];
    return encode(Kind::Event, all, count + 1, buf, cap);
}

std::size_t encodeRequest(int32_t id, uint8_t *buf, std::size_t cap)
{
    return encode(Kind::Request, &id, 1, buf, cap);
}

std::size_t encodeRemoteOn(int32_t module, int32_t value, uint8_t *buf, std::size_t cap)
{
    const int32_t words[2] = {module, value};
    return encode(Kind::RemoteOn, words, 2, buf, cap);
}

std::size_t encodeRemoteNonStop(int32_t value, uint8_t *buf, std::size_t cap)
{
    return encode(Kind::RemoteNonStop, &value, 1, buf, cap);
}

} // namespace vontra::wire
