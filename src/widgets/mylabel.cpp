#include "mylabel.h"

myLabel::myLabel(const QString &text, QWidget *parent) : QLabel(parent)
{
    setText(text);
}

// Any release counts, wherever the pointer is by then: the operator's click
// on a key must never be lost to a slightly shaky hand. The event is not
// passed on, so QLabel's own text interaction never sees it.
void myLabel::mouseReleaseEvent(QMouseEvent *event)
{
    Q_UNUSED(event)
    emit clicked();
}
