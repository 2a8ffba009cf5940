#pragma once

#include <QObject>

class TVKPPMMeter;

// Moves a meter's bar to its level before every repaint, so that Designer
// shows the level, limits, scale and size being edited. The program moves
// its meters itself, on its meter tick; only Designer's instances get this.
class MeterPreview : public QObject
{
    Q_OBJECT

public:
    // Watches the meter and dies with it.
    explicit MeterPreview(TVKPPMMeter *meter);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
