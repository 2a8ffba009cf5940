// One valid datagram of every message kind the console link carries, encoded
// with the project's own codec: the fuzzer's seed corpus and the replay test's
// starting points.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SeedDatagram
{
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<SeedDatagram> seedDatagrams();
