#include "datagram.h"

#include <cstring>

namespace vontra::receive {

const char *dropText(int reason)
{
    switch (reason) {
    case DropTruncated:
        return "truncated datagram";
    case DropOversized:
        return "oversized datagram";
    case DropBadMagic:
        return "foreign datagram (bad magic)";
    case DropBadVersion:
        return "unsupported protocol version";
    case DropBadLength:
        return "length field does not match the datagram";
    case DropUnknownKind:
        return "unknown message kind";
    case DropUnknownEvent:
        return "unknown event id";
    case DropBadPayloadSize:
        return "payload size does not fit the message";
    case DropNotEvent:
        return "not an event";
    case DropForeignSender:
        return "not sent by the console";
    case DropNoCallback:
        return "no callback registered";
    }
    return "unknown";
}

int dropFor(wire::DecodeError error)
{
    switch (error) {
    case wire::DecodeError::None:
    case wire::DecodeError::TooShort:
        return DropTruncated;
    case wire::DecodeError::TooLong:
        return DropOversized;
    case wire::DecodeError::BadMagic:
        return DropBadMagic;
    case wire::DecodeError::BadVersion:
        return DropBadVersion;
    case wire::DecodeError::BadLength:
        return DropBadLength;
    case wire::DecodeError::UnknownKind:
        return DropUnknownKind;
    case wire::DecodeError::UnknownEvent:
        return DropUnknownEvent;
    case wire::DecodeError::BadPayloadSize:
        return DropBadPayloadSize;
    }
    return DropTruncated;
}

int toDelivery(const uint8_t *data, std::size_t size, Delivery &out)
{
    const wire::DecodeError error = wire::decode(data, size, out.message);
    if (error != wire::DecodeError::None)
        return dropFor(error);
    if (out.message.kind != wire::Kind::Event)
        return DropNotEvent;

    out.event = vontra_event{};
    out.event.id = out.message.id;
    out.event.reserved = uint32_t(out.message.count);
    if (out.message.id == 128) {
        static_assert(sizeof(float) == sizeof(int32_t), "levels are 32-bit floats");
        std::memcpy(out.levels, out.message.words,
                    sizeof(int32_t) * std::size_t(out.message.count));
        out.event.payload = out.levels;
    } else {
        out.event.payload = out.message.words;
    }
    return kAccepted;
}

} // namespace vontra::receive
