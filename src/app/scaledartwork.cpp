#include "scaledartwork.h"

#include "artwork.h"
#include "background.h"
#include "bundle.h"
#include "canvasscale.h"
#include "sharedpictureengine.h"

#include <QPixmap>
#include <QThread>

#include <utility>

struct ScaledArtwork::Result
{
    float scale = 1.0f;
    qreal ratio = 1.0;
    QImage surface;
    QImage background;
    QHash<QString, QImage> pictures;
};

ScaledArtwork::ScaledArtwork(QObject *parent) : QObject(parent) {}

ScaledArtwork::~ScaledArtwork()
{
    // The worker draws into images of its own and posts to this object; it
    // must be done before the object goes.
    if (cancelled)
        *cancelled = true;
    if (worker) {
        worker->wait();
        delete worker;
    }
}

void ScaledArtwork::draw(const Order &order)
{
    // Registered here, on the GUI thread, and only once a window needs it: at
    // the design size the bundle shows and the face is never used.
    if (!artwork::loadFonts())
        qWarning("The pictures' compiled-in face could not be registered");
    next = order;
    hasNext = true;
    if (worker)
        *cancelled = true; // started again when the worker reports back
    else
        start();
}

void ScaledArtwork::reset()
{
    hasNext = false;
    if (worker)
        *cancelled = true;
    surfaceWindow = QSize();
    surfaceScale = 0.0f;
    surfaceRatio = 0.0;
    SharedPictureEngine::forgetDrawn();
}

bool ScaledArtwork::drawnFor(const Order &order) const
{
    return surfaceWindow.isValid() && surfaceWindow == order.window &&
           surfaceScale == order.scale && surfaceRatio == order.ratio;
}

void ScaledArtwork::start()
{
    hasNext = false;
    const Order order = next;
    // What is drawn already is not drawn again.
    const QImage reusable =
        drawnFor(order) && order.surface.size() == order.window ? order.surface : QImage();
    QHash<QString, QSize> pictures;
    for (auto it = order.pictures.constBegin(); it != order.pictures.constEnd(); ++it) {
        if (!SharedPictureEngine::hasDrawn(it.key(), it.value()))
            pictures.insert(it.key(), it.value());
    }

    cancelled = std::make_shared<std::atomic<bool>>(false);
    auto stop = cancelled;
    // A QThread, not a plain one: text drawn on a thread keeps a font cache
    // there whose upkeep wants a timer, which only a QThread can have.
    worker = QThread::create([this, order, reusable, pictures, stop] {
        auto result = std::make_shared<Result>();
        const CanvasScale canvas(order.scale, order.ratio);
        result->surface =
            reusable.isNull() ? background::paintSurface(order.window, canvas) : reusable;
        if (!*stop)
            result->background = background::paintCanvas(result->surface, canvas, order.online);
        for (auto it = pictures.constBegin(); it != pictures.constEnd() && !*stop; ++it) {
            if (const bundle::Picture *picture = bundle::scalablePicture(it.key())) {
                // Premultiplied, as pixmaps hold them: no conversion on the
                // GUI thread.
                result->pictures.insert(
                    it.key(),
                    picture->draw(it.value()).convertToFormat(QImage::Format_ARGB32_Premultiplied));
            }
        }
        result->scale = order.scale;
        result->ratio = order.ratio;
        QMetaObject::invokeMethod(
            this, [this, result] { deliver(result); }, Qt::QueuedConnection);
    });
    worker->start();
}

void ScaledArtwork::deliver(const std::shared_ptr<Result> &result)
{
    worker->wait(); // the worker has posted its last act; this returns at once
    delete std::exchange(worker, nullptr);
    // Given up, also when it came too late to notice: a newer order waits.
    if (!*cancelled) {
        surfaceWindow = result->surface.size();
        surfaceScale = result->scale;
        surfaceRatio = result->ratio;
        for (auto it = result->pictures.begin(); it != result->pictures.end(); ++it)
            SharedPictureEngine::setDrawn(it.key(), QPixmap::fromImage(std::move(it.value())));
        // Moved on, so that the window's pixmaps take the images over without
        // a copy.
        QImage fill = std::move(result->surface);
        QImage canvas = std::move(result->background);
        emit backgroundsDrawn(fill, canvas);
    }
    if (hasNext)
        start();
}
