// The console state that the display reads, kept as the payload words of the
// event that carries each item, so that answering a request is a plain copy.
#pragma once

#include <QHash>
#include <QString>
#include <QVector>

class ConsoleState
{
public:
    // A named item of the state: `dims` indices select one word of event `id`,
    // starting at word `base` (module colours: module * 3 + slot).
    struct Field
    {
        const char *name;
        int id;
        int base;
        int dim0; // 0 when the item takes no index
        int dim1; // 0 when the item takes at most one index
    };

    ConsoleState();

    static const QVector<int> &stateIds();
    static bool isStateId(int id);
    static const Field *field(const QString &name);
    static QStringList fieldNames();
    // Word of `f` for the given indices, or -1 when they do not fit the field.
    static int wordIndex(const Field &f, const QVector<int> &indices);

    QVector<qint32> payload(int id) const { return words.value(id); }
    qint32 word(int id, int index) const;
    // Returns whether the value changed.
    bool setWord(int id, int index, qint32 value);

    // Modules and flags the simulator touches by name.
    static constexpr int kModules = 8;
    static constexpr int kColourSlots = 3;
    static constexpr int kIdModuleColours = 73;
    static constexpr int kIdSilenceDetection = 75;
    static constexpr int kIdModuleOn = 96;
    static constexpr int kIdModuleAlt = 98;
    static constexpr int kIdSourceTypes = 100;
    static constexpr int kIdNonStop = 101;
    static constexpr int kIdMicOn = 102;
    static constexpr int kIdOnAir = 104;
    static constexpr int kIdSilence = 105;
    static constexpr int kIdCrmMute = 107;
    static constexpr int kIdVoiceTrack = 111;
    static constexpr int kIdPhoneRinging = 112;
    static constexpr int kIdMeters = 128;

private:
    QHash<int, QVector<qint32>> words;
};
