#include "seeds.h"

#include "vontra_wire.h"

#include <cstring>

namespace wire = vontra::wire;

namespace {

std::vector<uint8_t> event(int32_t id, const std::vector<int32_t> &words)
{
    std::vector<uint8_t> out(wire::kMaxDatagram);
    out.resize(wire::encodeEvent(id, words.data(), int(words.size()), out.data(), out.size()));
    return out;
}

std::vector<int32_t> levels(int count)
{
    std::vector<int32_t> words(std::size_t(count), 0);
    for (int i = 0; i < count; ++i) {
        // Plausible dB readings, from quiet to peak, one per bus.
        const float dB = -60.0f + 1.5f * float(i);
        std::memcpy(&words[std::size_t(i)], &dB, sizeof dB);
    }
    return words;
}

} // namespace

std::vector<SeedDatagram> seedDatagrams()
{
    std::vector<SeedDatagram> seeds;
    std::vector<int32_t> colours(24);
    for (int i = 0; i < 24; ++i)
        colours[std::size_t(i)] = i % 3; // grey, red, green in turn
    seeds.push_back({"event-073-module-colours", event(73, colours)});
    seeds.push_back({"event-075-silence-detection", event(75, {-45, 10, 3, 1})});
    seeds.push_back({"event-096-module-on", event(96, {1, 0, 1, 0, 0, 0, 1, 1})});
    seeds.push_back({"event-098-module-alt", event(98, {0, 1, 0, 0, 0, 0, 0, 1})});
    seeds.push_back({"event-100-source-types", event(100, {1, 0, 2, 0, 3, 0, 0, 0})});
    seeds.push_back({"event-101-non-stop", event(101, {1})});
    seeds.push_back({"event-102-mic-on", event(102, {1})});
    seeds.push_back({"event-104-on-air", event(104, {1, 0})});
    seeds.push_back({"event-105-silence", event(105, {1})});
    seeds.push_back({"event-107-crm-mute", event(107, {1})});
    seeds.push_back({"event-111-voice-track", event(111, {0, 1, 2, 0, 0, 0, 0, 0})});
    seeds.push_back({"event-112-phone-ringing", event(112, {1})});
    seeds.push_back({"event-128-meters-6", event(128, levels(6))});
    seeds.push_back({"event-128-meters-64", event(128, levels(wire::kMaxWords))});

    std::vector<uint8_t> buffer(wire::kMaxDatagram);
    buffer.resize(wire::encodeRequest(100, buffer.data(), buffer.size()));
    seeds.push_back({"request-100", buffer});
    buffer.assign(wire::kMaxDatagram, 0);
    buffer.resize(wire::encodeRemoteOn(3, 2, buffer.data(), buffer.size()));
    seeds.push_back({"remote-on-3", buffer});
    buffer.assign(wire::kMaxDatagram, 0);
    buffer.resize(wire::encodeRemoteNonStop(2, buffer.data(), buffer.size()));
    seeds.push_back({"remote-non-stop", buffer});
    return seeds;
}
