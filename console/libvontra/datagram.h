// The receive thread's per-datagram step, kept apart from the sockets so that
// it can be driven directly with arbitrary bytes (tests/fuzz). Internal to the
// library: nothing here is exported.
#pragma once

#include "vontra.h"
#include "vontra_wire.h"

#include <cstddef>
#include <cstdint>

namespace vontra::receive {

// Why a datagram was not handed to the callback.
enum Drop {
    DropTruncated,
    DropOversized,
    DropBadMagic,
    DropBadVersion,
    DropBadLength,
    DropUnknownKind,
    DropUnknownEvent,
    DropBadPayloadSize,
    DropNotEvent,
    DropForeignSender,
    DropNoCallback,
    DropCount
};

const char *dropText(int reason);
int dropFor(wire::DecodeError error);

// The record the callback receives and the storage its payload points into.
// Not copyable: event.payload points into the object itself.
struct Delivery
{
    vontra_event event{};
    wire::Message message;
    float levels[wire::kMaxWords] = {};

    Delivery() = default;
    Delivery(const Delivery &) = delete;
    Delivery &operator=(const Delivery &) = delete;
};

constexpr int kAccepted = -1;

// Decodes one datagram already known to come from the console and fills in the
// callback's record. Returns kAccepted, or the Drop reason (out is then not to
// be used). Reads only data[0..size).
int toDelivery(const uint8_t *data, std::size_t size, Delivery &out);

} // namespace vontra::receive
