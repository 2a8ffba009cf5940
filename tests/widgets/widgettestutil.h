#pragma once

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QMetaProperty>
#include <QObject>
#include <QScreen>
#include <QWidget>
#include <QtTest>

#include <functional>

// Counts the paint events a shown widget receives, which is how a repaint
// request becomes visible from outside.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) : QObject(widget), m_widget(widget)
    {
        widget->installEventFilter(this);
    }

    // True when the operation led to at least one paint.
    bool repaints(const std::function<void()> &operation)
    {
        settle();
        m_count = 0;
        operation();
        settle();
        return m_count > 0;
    }

    // A repaint request is a posted event; delivering the posted events
    // delivers the paint, without depending on timing.
    static void settle()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_widget && event->type() == QEvent::Paint)
            ++m_count;
        return false;
    }

private:
    QWidget *m_widget;
    int m_count = 0;
};

// Shows the widget and waits until it can be painted.
inline void showAndWait(QWidget &widget)
{
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
}

// Renders the widget alone onto an image filled with the given colour, so that
// every pixel the widget leaves alone keeps that colour.
inline QImage renderOver(QWidget &widget, const QColor &fill)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    widget.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

// An opaque dark window to show a widget on, so that the screen holds
// exactly what the widget leaves of it.
inline void makeStage(QWidget &stage, const QSize &size)
{
    stage.resize(size);
    stage.setAutoFillBackground(true);
    QPalette dark = stage.palette();
    dark.setColor(QPalette::Window, QColor(20, 30, 40));
    stage.setPalette(dark);
}

// True when what the screen holds of a shown window, after all the partial
// repaints so far, is what a whole paint of it draws.
inline bool screenMatchesWholePaint(QWidget &stage)
{
    const QImage onScreen = stage.screen()->grabWindow(stage.winId()).toImage();
    const QImage whole = stage.grab().toImage();
    return onScreen.convertToFormat(QImage::Format_RGB32) ==
           whole.convertToFormat(QImage::Format_RGB32);
}

// A value different from the given one, for every property type the widgets
// use.
inline QVariant otherValue(const QVariant &value)
{
    switch (int(value.type())) {
    case QMetaType::Bool:
        return !value.toBool();
    case QMetaType::Int:
        return value.toInt() + 1;
    case QMetaType::Float:
        return value.toFloat() + 1.0f;
    case QMetaType::QColor:
        return QColor(value.value<QColor>().rgba() ^ 0x00ffffffu);
    case QMetaType::QFont: {
        QFont font = value.value<QFont>();
        font.setPointSize(font.pointSize() + 3);
        return font;
    }
    }
    return QVariant();
}

// Every property is readable, writable, designable, scriptable and stored,
// with the expected names in the expected order.
inline void verifyProperties(const QMetaObject &meta, const QStringList &names)
{
    QCOMPARE(meta.propertyCount() - meta.propertyOffset(), names.size());
    for (int i = 0; i < names.size(); ++i) {
        const QMetaProperty property = meta.property(meta.propertyOffset() + i);
        QCOMPARE(QString::fromLatin1(property.name()), names.at(i));
        QVERIFY(property.isReadable() && property.isWritable());
        QVERIFY(property.isDesignable() && property.isScriptable() && property.isStored());
    }
}
