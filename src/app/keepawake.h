#pragma once

#include <QObject>

#include <functional>

// Keeps the screen on, and the screen saver off, while it exists: the
// operator relies on the meters and the clock while on air, long after the
// last touch of mouse or keyboard. Where the system offers no way to ask, it
// says so in one diagnostic line and does nothing. One implementation per
// platform, picked by the build.
class KeepAwake : public QObject
{
    Q_OBJECT

public:
    explicit KeepAwake(QObject *parent = nullptr);
    ~KeepAwake() override;

private:
    // Gives the system back its own idle rules; set once the request holds.
    std::function<void()> release;
};
