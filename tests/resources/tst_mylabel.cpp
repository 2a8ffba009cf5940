#include "mylabel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

namespace {

void send(QWidget *widget, QEvent::Type type, Qt::MouseButton button, const QPoint &pos)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, QPointF(pos), QPointF(pos), QPointF(widget->mapToGlobal(pos)), button,
                      held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestMyLabel : public QObject
{
    Q_OBJECT

private slots:
    void constructorSetsTextAndParent();
    void releaseOfAnyButtonClicksOnce_data();
    void releaseOfAnyButtonClicksOnce();
    void releaseOutsideStillClicks();
    void doubleClickClicksTwice();
    void pressAloneDoesNotClick();
    void emptyLabelShowsOnlyItsPicture();
};

void TestMyLabel::constructorSetsTextAndParent()
{
    QWidget parent;
    myLabel label(QStringLiteral("LINE"), &parent);
    QCOMPARE(label.text(), QStringLiteral("LINE"));
    QCOMPARE(label.parentWidget(), &parent);
    QVERIFY(!label.isWindow());
}

void TestMyLabel::releaseOfAnyButtonClicksOnce_data()
{
    QTest::addColumn<int>("buttonValue"); // Qt::MouseButton has no meta-type in Qt 5
    QTest::newRow("left") << int(Qt::LeftButton);
    QTest::newRow("right") << int(Qt::RightButton);
    QTest::newRow("middle") << int(Qt::MiddleButton);
}

void TestMyLabel::releaseOfAnyButtonClicksOnce()
{
    QFETCH(int, buttonValue);
    const auto button = Qt::MouseButton(buttonValue);
    myLabel label(QString(), nullptr);
    label.resize(60, 60);
    QSignalSpy clicks(&label, &myLabel::clicked);
    QTest::mousePress(&label, button, Qt::NoModifier, QPoint(30, 30));
    QCOMPARE(clicks.count(), 0);
    QTest::mouseRelease(&label, button, Qt::NoModifier, QPoint(30, 30));
    QCOMPARE(clicks.count(), 1);
    // A release with no press seen before counts as well.
    QTest::mouseRelease(&label, button, Qt::NoModifier, QPoint(10, 10));
    QCOMPARE(clicks.count(), 2);
}

void TestMyLabel::releaseOutsideStillClicks()
{
    myLabel label(QString(), nullptr);
    label.resize(60, 60);
    QSignalSpy clicks(&label, &myLabel::clicked);
    send(&label, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(30, 30));
    send(&label, QEvent::MouseMove, Qt::LeftButton, QPoint(200, -40));
    send(&label, QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(200, -40));
    QCOMPARE(clicks.count(), 1);
}

void TestMyLabel::doubleClickClicksTwice()
{
    myLabel label(QString(), nullptr);
    label.resize(60, 60);
    QSignalSpy clicks(&label, &myLabel::clicked);
    const QPoint centre(30, 30);
    send(&label, QEvent::MouseButtonPress, Qt::LeftButton, centre);
    send(&label, QEvent::MouseButtonRelease, Qt::LeftButton, centre);
    send(&label, QEvent::MouseButtonDblClick, Qt::LeftButton, centre);
    QCOMPARE(clicks.count(), 1);
    send(&label, QEvent::MouseButtonRelease, Qt::LeftButton, centre);
    QCOMPARE(clicks.count(), 2);
}

void TestMyLabel::pressAloneDoesNotClick()
{
    myLabel label(QString(), nullptr);
    label.resize(60, 60);
    QSignalSpy clicks(&label, &myLabel::clicked);
    send(&label, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(30, 30));
    send(&label, QEvent::MouseMove, Qt::LeftButton, QPoint(35, 35));
    send(&label, QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(35, 35));
    QCOMPARE(clicks.count(), 0);
}

void TestMyLabel::emptyLabelShowsOnlyItsPicture()
{
    // As the settings button is made: no text, the gear from the bundle.
    myLabel label(QString(), nullptr);
    label.setStyleSheet(QStringLiteral("image: url(:/resources/png/Settings.png);"));
    label.resize(100, 100);
    const QImage shot = label.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    // The gear's body, a quarter of the way in from the top, is dark grey;
    // its hole lets the label's own background through.
    const QColor body = QColor::fromRgba(shot.pixel(50, 24));
    const QColor hole = QColor::fromRgba(shot.pixel(50, 50));
    QVERIFY2(body.lightness() < 128, qPrintable(body.name()));
    QVERIFY2(hole.lightness() > body.lightness() + 60, qPrintable(hole.name()));
}

QTEST_MAIN(TestMyLabel)
#include "tst_mylabel.moc"
