#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

class QThread;

#include <atomic>
#include <memory>

// Draws what the window shows at the device size it is shown at, for a
// window larger than the design: the brushed surface of the whole window, the
// background cut from it, and the lamp, key and gear pictures of the style
// sheets (src/artwork, the same drawing as the bundle's). At 3840 x 2160 that
// is a good part of a second of processor time, so it runs on a worker
// thread; the results come back by a queued call. Until they arrive the
// window shows the bundle's pictures stretched.
class ScaledArtwork : public QObject
{
    Q_OBJECT

public:
    struct Order
    {
        QSize window;       // the window in device pixels
        float scale = 1.0f; // the canvas's scale in window pixels per design pixel
        qreal ratio = 1.0;  // device pixels per window pixel
        bool online = false;
        // Style-sheet pictures by bundle file name, and their device size.
        QHash<QString, QSize> pictures;
        // The surface last delivered, when it was drawn for this window (the
        // window holds it; no second copy is kept here).
        QImage surface;
    };

    explicit ScaledArtwork(QObject *parent = nullptr);
    ~ScaledArtwork() override;

    // Draws for the order. An order still being drawn is given up and its
    // results dropped; the surface and the pictures already drawn at the
    // order's sizes are used again.
    void draw(const Order &order);
    // Gives up any drawing under way and forgets what was drawn: the window
    // is back at the design size, where the bundle's pictures show.
    void reset();
    // Whether the last surface delivered was drawn for the order's window.
    bool drawnFor(const Order &order) const;

signals:
    // The window's surface and its background for the latest order, at its
    // device size.
    void backgroundsDrawn(const QImage &fill, const QImage &background);

private:
    struct Result;

    void start();
    void deliver(const std::shared_ptr<Result> &result);

    Order next;
    bool hasNext = false;
    QThread *worker = nullptr; // while it draws
    std::shared_ptr<std::atomic<bool>> cancelled;
    // What the last surface delivered was drawn for, so that going online or
    // offline draws only the canvas's marks again.
    QSize surfaceWindow;
    float surfaceScale = 0.0f;
    qreal surfaceRatio = 0.0;
};
