#include "screenplacement.h"

int screenIndexFor(const QVector<QRect> &availableGeometries, int frameX, bool maximised)
{
    const int count = availableGeometries.size();
    if (count <= 1)
        return 0;

    const int x = maximised ? frameX + maximisedFrameOffset : frameX;
    for (int i = 0; i < count; ++i) {
        const QRect &area = availableGeometries.at(i);
        // First column right of the area (QRect::right() is the last one inside).
        const int rightLimit = area.left() + area.width();
        if (x < rightLimit)
            return i;
    }
    return 0;
}
