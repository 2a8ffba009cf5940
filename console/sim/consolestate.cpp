#include "consolestate.h"

#include "vontra_wire.h"

#include <QStringList>

namespace {

// Colour codes as the display reads them: slot 0 is shown while a module is
// on, slot 1 while it is on and switched to its alternative source, slot 2
// while it is off. Fixed codes keep the colours consistent with any flags.
constexpr qint32 kRed = 1;
constexpr qint32 kGreen = 2;
constexpr qint32 kGrey = 0;

// A small studio: two microphones, a line source, a USB player, three lines
// and a telephone hybrid.
constexpr qint32 kSourceTypes[ConsoleState::kModules] = {1, 1, 0, 1, 0, 0, 0, 1};

// Threshold -40 dB, hold three seconds, both programme channels, enabled.
constexpr qint32 kSilenceDetection[4] = {-40, 3, 2, 1};

const ConsoleState::Field kFields[] = {
    {"sourcetype", ConsoleState::kIdSourceTypes, 0, 8, 0},
    {"moduleon", ConsoleState::kIdModuleOn, 0, 8, 0},
    {"modulealt", ConsoleState::kIdModuleAlt, 0, 8, 0},
    {"colour", ConsoleState::kIdModuleColours, 0, 8, 3},
    {"silencethreshold", ConsoleState::kIdSilenceDetection, 0, 0, 0},
    {"silenceparam", ConsoleState::kIdSilenceDetection, 1, 0, 0},
    {"silencechannels", ConsoleState::kIdSilenceDetection, 2, 0, 0},
    {"silenceenabled", ConsoleState::kIdSilenceDetection, 3, 0, 0},
    {"voicetrack", ConsoleState::kIdVoiceTrack, 0, 8, 0},
    {"onair1", ConsoleState::kIdOnAir, 0, 0, 0},
    {"onair2", ConsoleState::kIdOnAir, 1, 0, 0},
    {"nonstop", ConsoleState::kIdNonStop, 0, 0, 0},
    {"silencedetected", ConsoleState::kIdSilence, 0, 0, 0},
    {"micon", ConsoleState::kIdMicOn, 0, 0, 0},
    {"crmmute", ConsoleState::kIdCrmMute, 0, 0, 0},
    {"phoneringing", ConsoleState::kIdPhoneRinging, 0, 0, 0},
};

} // namespace

ConsoleState::ConsoleState()
{
    for (int id : stateIds())
        words.insert(id, QVector<qint32>(vontra::wire::eventWords(id), 0));

    QVector<qint32> &colours = words[kIdModuleColours];
    for (int m = 0; m < kModules; ++m) {
        colours[m * kColourSlots + 0] = kRed;
        colours[m * kColourSlots + 1] = kGreen;
        colours[m * kColourSlots + 2] = kGrey;
    }
    for (int i = 0; i < kModules; ++i)
        words[kIdSourceTypes][i] = kSourceTypes[i];
    for (int i = 0; i < 4; ++i)
        words[kIdSilenceDetection][i] = kSilenceDetection[i];
}

const QVector<int> &ConsoleState::stateIds()
{
    // The eleven ids the display requests, then the unasked phone lamp.
    static const QVector<int> ids = {100, 96, 98, 73, 75, 111, 104, 101, 105, 102, 107, 112};
    return ids;
}

bool ConsoleState::isStateId(int id)
{
    return stateIds().contains(id);
}

const ConsoleState::Field *ConsoleState::field(const QString &name)
{
    for (const Field &f : kFields) {
        if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0)
            return &f;
    }
    return nullptr;
}

QStringList ConsoleState::fieldNames()
{
    QStringList names;
    for (const Field &f : kFields)
        names << QLatin1String(f.name);
    return names;
}

int ConsoleState::wordIndex(const Field &f, const QVector<int> &indices)
{
    const int wanted = (f.dim0 > 0 ? 1 : 0) + (f.dim1 > 0 ? 1 : 0);
    if (indices.size() != wanted)
        return -1;
    if (wanted == 0)
        return f.base;
    if (indices[0] < 0 || indices[0] >= f.dim0)
        return -1;
    if (wanted == 1)
        return f.base + indices[0];
    if (indices[1] < 0 || indices[1] >= f.dim1)
        return -1;
    return f.base + indices[0] * f.dim1 + indices[1];
}

qint32 ConsoleState::word(int id, int index) const
{
    const auto it = words.constFind(id);
    if (it == words.constEnd() || index < 0 || index >= it->size())
        return 0;
    return it->at(index);
}

bool ConsoleState::setWord(int id, int index, qint32 value)
{
    auto it = words.find(id);
    if (it == words.end() || index < 0 || index >= it->size() || (*it)[index] == value)
        return false;
    (*it)[index] = value;
    return true;
}
