#include "formscale.h"

#include <QRect>
#include <QRegularExpression>
#include <QSize>
#include <QString>
#include <QWidget>

namespace {

constexpr double referenceDpi = 96; // 100 %, what the form was drawn for

int scaled(int length, double factor)
{
    return qRound(length * factor);
}

QSize scaled(const QSize &size, double factor)
{
    // The largest size stays "no limit".
    return QSize(size.width() == QWIDGETSIZE_MAX ? size.width() : scaled(size.width(), factor),
                 size.height() == QWIDGETSIZE_MAX ? size.height() : scaled(size.height(), factor));
}

QString scaledStyleSheet(const QString &sheet, double factor)
{
    static const QRegularExpression pixels(QStringLiteral("(\\d+(?:\\.\\d+)?)px"));
    QString result;
    int done = 0;
    QRegularExpressionMatchIterator matches = pixels.globalMatch(sheet);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        result += sheet.midRef(done, match.capturedStart() - done);
        result += QString::number(qRound(match.captured(1).toDouble() * factor));
        result += QLatin1String("px");
        done = match.capturedEnd();
    }
    return result + sheet.midRef(done);
}

void scaleWidget(QWidget *widget, double factor, bool placeIt)
{
    if (placeIt) {
        const QRect r = widget->geometry();
        widget->setGeometry(scaled(r.x(), factor), scaled(r.y(), factor), scaled(r.width(), factor),
                            scaled(r.height(), factor));
    }
    if (!widget->styleSheet().isEmpty())
        widget->setStyleSheet(scaledStyleSheet(widget->styleSheet(), factor));
    // Children that a layout places are left to it.
    for (QWidget *child : widget->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        scaleWidget(child, factor, !widget->layout());
}

} // namespace

void scaleFormToDpi(QWidget *form)
{
    // A dialog shows over its parent, on the parent's screen.
    const QWidget *shownOn = form->parentWidget() ? form->parentWidget()->window() : form;
    const double factor = shownOn->logicalDpiY() / referenceDpi;
    if (qFuzzyCompare(factor, 1.0))
        return;
    const QSize minimum = scaled(form->minimumSize(), factor);
    const QSize maximum = scaled(form->maximumSize(), factor);
    form->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    form->setMinimumSize(minimum);
    form->setMaximumSize(maximum);
    form->resize(scaled(form->size(), factor));
    // A window's place on the screen is not the form's.
    scaleWidget(form, factor, !form->isWindow());
}
