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

private:
    SharedPictureEngine(const SharedPictureEngine &other) = default;

    // Qt's own engine over the shared pixmaps: it scales, caches the scaled
    // pixmaps by the source's cache key and derives the other modes.
    QIcon icon;
};
