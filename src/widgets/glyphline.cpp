#include "glyphline.h"

#include <QPainter>
#include <QTextLayout>

namespace {
// Antialiasing and hinting may touch the pixels next to a glyph's outline box.
constexpr int inkMargin = 2;
} // namespace

GlyphLine::GlyphLine(const QString &text, const QFont &font, const QRect &rect,
                     QPaintDevice *device)
    : m_text(text), m_font(font), m_rect(rect)
{
    QTextLayout layout(text, font, device);
    // Laid out from the left, then centred here as a whole.
    QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
    option.setTextDirection(Qt::LeftToRight);
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return;
    // Centred both ways, as drawing the text into the rectangle does.
    const QPointF origin(rect.x() + (rect.width() - line.naturalTextWidth()) / 2,
                         rect.y() + (rect.height() - line.height()) / 2);
    // Text larger than the rectangle is cut at its edges, as drawn text is.
    m_clipped =
        !QRectF(rect).contains(QRectF(origin, QSizeF(line.naturalTextWidth(), line.height())));
    for (const QGlyphRun &run : layout.glyphRuns()) {
        Run laid{run.rawFont(), run.flags(), {}};
        const QVector<quint32> indexes = run.glyphIndexes();
        const QVector<QPointF> positions = run.positions();
        for (int i = 0; i < indexes.size(); ++i) {
            const QPointF at = positions[i] + origin;
            const QRect box = laid.font.boundingRect(indexes[i])
                                  .translated(at)
                                  .toAlignedRect()
                                  .adjusted(-inkMargin, -inkMargin, inkMargin, inkMargin);
            laid.glyphs.append({indexes[i], at, box});
        }
        m_runs.append(laid);
    }
}

void GlyphLine::draw(QPainter &painter, const QRegion &region) const
{
    if (m_clipped) {
        painter.save();
        painter.setClipRect(m_rect, Qt::IntersectClip);
    }
    for (const Run &run : m_runs) {
        QVector<quint32> indexes;
        QVector<QPointF> positions;
        for (const Glyph &glyph : run.glyphs) {
            if (run.decorated() || region.intersects(glyph.box)) {
                indexes.append(glyph.index);
                positions.append(glyph.position);
            }
        }
        if (indexes.isEmpty())
            continue;
        QGlyphRun glyphs;
        glyphs.setRawFont(run.font);
        glyphs.setGlyphIndexes(indexes);
        glyphs.setPositions(positions);
        glyphs.setFlags(run.flags);
        painter.drawGlyphRun(QPointF(), glyphs);
    }
    if (m_clipped)
        painter.restore();
}

QRegion GlyphLine::differenceTo(const GlyphLine &other) const
{
    return boxesMissingFrom(other) | other.boxesMissingFrom(*this);
}

QRegion GlyphLine::boxesMissingFrom(const GlyphLine &other) const
{
    QRegion missing;
    for (int r = 0; r < m_runs.size(); ++r) {
        const Run &run = m_runs[r];
        const Run *counterpart = r < other.m_runs.size() ? &other.m_runs[r] : nullptr;
        const bool sameRun = counterpart && counterpart->font == run.font &&
                             counterpart->glyphs.size() == run.glyphs.size() && !run.decorated();
        for (int g = 0; g < run.glyphs.size(); ++g) {
            const Glyph &glyph = run.glyphs[g];
            if (!sameRun || counterpart->glyphs[g].index != glyph.index ||
                counterpart->glyphs[g].position != glyph.position)
                missing += glyph.box;
        }
    }
    return missing;
}
