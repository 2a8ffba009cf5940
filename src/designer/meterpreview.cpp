#include "meterpreview.h"

#include "tvkppmmeter.h"

#include <QEvent>

MeterPreview::MeterPreview(TVKPPMMeter *meter) : QObject(meter)
{
    meter->installEventFilter(this);
}

bool MeterPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint)
        static_cast<TVKPPMMeter *>(watched)->calculatePosition();
    return false;
}
