// Writes the seed corpus into the directory given: one file per datagram.
#include "seeds.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    for (const SeedDatagram &seed : seedDatagrams()) {
        if (seed.bytes.empty()) {
            std::fprintf(stderr, "seed %s did not encode\n", seed.name.c_str());
            return 1;
        }
        const std::string path = std::string(argv[1]) + "/" + seed.name;
        std::FILE *f = std::fopen(path.c_str(), "wb");
        if (f == nullptr ||
            std::fwrite(seed.bytes.data(), 1, seed.bytes.size(), f) != seed.bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            if (f != nullptr)
                std::fclose(f);
            return 1;
        }
        std::fclose(f);
    }
    return 0;
}
