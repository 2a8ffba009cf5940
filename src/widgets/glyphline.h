#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QRawFont>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QVector>

class QPaintDevice;
class QPainter;

// One line of text centred in a rectangle, laid out into its glyphs, each
// with the box of pixels it inks. A paint can then draw just the glyphs that
// reach its region, and a change of text repaint just the glyphs that
// changed. That matters for large text: glyphs more than 64 pixels high are
// not cached by Qt but drawn from their outlines on every paint.
class GlyphLine
{
public:
    GlyphLine() = default;
    GlyphLine(const QString &text, const QFont &font, const QRect &rect, QPaintDevice *device);

    bool isFor(const QString &text, const QFont &font, const QRect &rect) const
    {
        return m_text == text && m_font == font && m_rect == rect;
    }
    // Draws, with the painter's pen, every glyph that inks part of the region.
    void draw(QPainter &painter, const QRegion &region) const;
    // Where this line and the other differ: the boxes of the glyphs that do
    // not stand in both at the same place.
    QRegion differenceTo(const GlyphLine &other) const;

private:
    struct Glyph
    {
        quint32 index;
        QPointF position;
        QRect box;
    };
    struct Run
    {
        QRawFont font;
        QGlyphRun::GlyphRunFlags flags;
        QVector<Glyph> glyphs;
        // A line under, over or through the run spans all of its glyphs.
        bool decorated() const
        {
            return flags & (QGlyphRun::Overline | QGlyphRun::Underline | QGlyphRun::StrikeOut);
        }
    };
    QRegion boxesMissingFrom(const GlyphLine &other) const;

    QString m_text;
    QFont m_font;
    QRect m_rect;
    bool m_clipped = false;
    QVector<Run> m_runs;
};
