#pragma once

#include <QIcon>
#include <QIconEngine>

// Icons made from the program's compiled-in PNG pictures share one decoded
// copy of each picture. A lamp or module key changes its picture by swapping
// its style sheet, and Qt builds a new icon from the picture's file name for
// every sheet it applies; without this, each change decoded the PNG again and
// scaled it again, since a fresh decode never matches Qt's cache of scaled
// pixmaps. Files outside the resource bundle are read on every use, as Qt
// itself does, because they may change on disk.
//
// On a window larger than the design the pictures are not scaled from the
// bundle's but drawn at the size they are shown at (scaledartwork.h), and the
// engine shows those where it is asked for exactly that size. Its size rule
// stays Qt's: a picture is shown at most at its bundle size.
class SharedPictureEngine : public QIconEngine
{
public:
    SharedPictureEngine() = default;

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    void addPixmap(const QPixmap &pixmap, QIcon::Mode mode, QIcon::State state) override;
    void addFile(const QString &fileName, const QSize &size, QIcon::Mode mode,
                 QIcon::State state) override;
    QString key() const override;
    QIconEngine *clone() const override;
    void virtual_hook(int id, void *data) override;

    // The decoded picture of a file, shared for the bundle's files.
    static QPixmap picture(const QString &fileName);

    // Decodes every PNG of a bundle folder ahead of its first use, one per
    // turn of the event loop, so that the first change to a picture is as
    // cheap as the later ones and the program's memory reaches its working
    // size soon after start instead of growing as new states first appear.
    // The work stops with `owner`.
    static void decodeAhead(const QString &folder, QObject *owner);

    // Pictures drawn at the device size they are shown at, by file name: a
    // paint asking for that size shows them instead of a scaled bundle
    // picture. GUI thread only.
    static void setDrawn(const QString &fileName, const QPixmap &pixmap);
    static bool hasDrawn(const QString &fileName, const QSize &deviceSize);
    static void forgetDrawn();

private:
    SharedPictureEngine(const SharedPictureEngine &other) = default;

    // The drawn picture for a size in device pixels, or a null pixmap.
    QPixmap drawnFor(const QSize &deviceSize, QIcon::Mode mode) const;

    // Qt's own engine over the shared pixmaps: it scales, caches the scaled
    // pixmaps by the source's cache key and derives the other modes.
    QIcon icon;
    QString fileName;
};
