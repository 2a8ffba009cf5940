// What must hold for any bytes that reach the console link's receive socket,
// shared by the libFuzzer target and the replay test.
#pragma once

#include <cstddef>
#include <cstdint>

// Runs one input through the wire decoder and the library's per-datagram step
// and cross-checks them. Returns null, or what went wrong.
const char *checkDatagram(const uint8_t *data, std::size_t size);
