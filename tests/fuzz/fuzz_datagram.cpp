// libFuzzer entry: arbitrary bytes as a datagram from the console.
#include "datagram_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (const char *fault = checkDatagram(data, size)) {
        std::fprintf(stderr, "datagram check failed: %s\n", fault);
        std::abort();
    }
    return 0;
}
