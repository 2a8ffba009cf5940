#pragma once

#include <QLabel>

// A label that reports every mouse release as a click. Buttons, lamps and
// module keys of the main window are pictures shown by such labels.
class myLabel : public QLabel
{
    Q_OBJECT

public:
    explicit myLabel(const QString &text, QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
