// Qt finds the engine through an icon engine plugin for the "png" suffix,
// compiled into the program (imported where the main window is built).
#define QT_STATICPLUGIN

#include "sharedpictureengine.h"

#include <QDirIterator>
#include <QHash>
#include <QIconEnginePlugin>
#include <QImageReader>
#include <QPainter>
#include <QTimer>

namespace {

bool inBundle(const QString &fileName)
{
    return fileName.startsWith(QLatin1Char(':')) || fileName.startsWith(QLatin1String("qrc:"));
}

// GUI thread only, like every pixmap.
QHash<QString, QPixmap> &drawnPictures()
{
    static QHash<QString, QPixmap> drawn;
    return drawn;
}

} // namespace

QPixmap SharedPictureEngine::picture(const QString &fileName)
{
    // GUI thread only, like every pixmap. The bundle holds a fixed set of
    // pictures, so the table cannot grow beyond it.
    static QHash<QString, QPixmap> decoded;
    if (inBundle(fileName)) {
        const auto found = decoded.constFind(fileName);
        if (found != decoded.constEnd())
            return found.value();
    }
    QImageReader reader(fileName);
    const QPixmap pixmap = QPixmap::fromImage(reader.read());
    if (inBundle(fileName) && !pixmap.isNull())
        decoded.insert(fileName, pixmap);
    return pixmap;
}

void SharedPictureEngine::decodeAhead(const QString &folder, QObject *owner)
{
    QStringList files;
    QDirIterator it(folder, {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    // A zero timer runs once the window system's events are handled, so the
    // first paint waits for one decode at most.
    auto *timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, files, next = 0]() mutable {
        if (next < files.size()) {
            picture(files.at(next++));
        } else {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(0);
}

void SharedPictureEngine::setDrawn(const QString &fileName, const QPixmap &pixmap)
{
    drawnPictures().insert(fileName, pixmap);
}

bool SharedPictureEngine::hasDrawn(const QString &fileName, const QSize &deviceSize)
{
    return drawnPictures().value(fileName).size() == deviceSize;
}

void SharedPictureEngine::forgetDrawn()
{
    drawnPictures().clear();
}

QPixmap SharedPictureEngine::drawnFor(const QSize &deviceSize, QIcon::Mode mode) const
{
    // The disabled and selected looks stay Qt's, derived from the bundle's.
    if (mode != QIcon::Normal && mode != QIcon::Active)
        return QPixmap();
    const QPixmap drawn = drawnPictures().value(fileName);
    return drawn.size() == deviceSize ? drawn : QPixmap();
}

void SharedPictureEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode,
                                QIcon::State state)
{
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap drawn = drawnFor(rect.size() * ratio, mode);
    if (!drawn.isNull())
        painter->drawPixmap(rect, drawn);
    else
        icon.paint(painter, rect, Qt::AlignCenter, mode, state);
}

QSize SharedPictureEngine::actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return icon.actualSize(size, mode, state);
}

QPixmap SharedPictureEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    const QPixmap drawn = drawnFor(size, mode);
    return drawn.isNull() ? icon.pixmap(size, mode, state) : drawn;
}

void SharedPictureEngine::addPixmap(const QPixmap &pixmap, QIcon::Mode mode, QIcon::State state)
{
    icon.addPixmap(pixmap, mode, state);
}

void SharedPictureEngine::addFile(const QString &fileName, const QSize &, QIcon::Mode mode,
                                  QIcon::State state)
{
    this->fileName = fileName;
    const QPixmap shared = picture(fileName);
    if (!shared.isNull())
        icon.addPixmap(shared, mode, state);
}

QString SharedPictureEngine::key() const
{
    return QStringLiteral("SharedPictureEngine");
}

QIconEngine *SharedPictureEngine::clone() const
{
    return new SharedPictureEngine(*this);
}

void SharedPictureEngine::virtual_hook(int id, void *data)
{
    switch (id) {
    case QIconEngine::AvailableSizesHook: {
        auto *arg = static_cast<QIconEngine::AvailableSizesArgument *>(data);
        arg->sizes = icon.availableSizes(arg->mode, arg->state);
        break;
    }
    case QIconEngine::IsNullHook:
        *static_cast<bool *>(data) = icon.isNull();
        break;
    default:
        QIconEngine::virtual_hook(id, data);
        break;
    }
}

class SharedPicturePlugin : public QIconEnginePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QIconEngineFactoryInterface_iid FILE "sharedpictureengine.json")

public:
    QIconEngine *create(const QString &) override { return new SharedPictureEngine; }
};

#include "sharedpictureengine.moc"
