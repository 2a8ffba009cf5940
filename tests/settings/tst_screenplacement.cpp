#include <QtTest>

#include "screenplacement.h"

using Screens = QVector<QRect>;
Q_DECLARE_METATYPE(Screens)

class TestScreenPlacement : public QObject
{
    Q_OBJECT

private slots:
    void screenIndex_data();
    void screenIndex();
};

void TestScreenPlacement::screenIndex_data()
{
    QTest::addColumn<Screens>("screens");
    QTest::addColumn<int>("frameX");
    QTest::addColumn<bool>("maximised");
    QTest::addColumn<int>("expected");

    const QRect left(0, 0, 1920, 1080);
    const QRect right(1920, 0, 1920, 1080);
    const Screens pair{left, right};
    // A third screen with a task bar on its left: its area starts at 3900.
    const Screens triple{left, right, QRect(3900, 0, 1860, 1080)};

    QTest::newRow("no screen") << Screens{} << 500 << false << 0;
    QTest::newRow("one screen, far right") << Screens{left} << 5000 << false << 0;
    QTest::newRow("one screen, far left") << Screens{left} << -5000 << true << 0;

    QTest::newRow("maximised at 1912 is on the second") << pair << 1912 << true << 1;
    QTest::newRow("normal at 1912 is on the first") << pair << 1912 << false << 0;
    QTest::newRow("maximised at 1911 is on the first") << pair << 1911 << true << 0;
    QTest::newRow("normal at last column of first") << pair << 1919 << false << 0;
    QTest::newRow("normal at first column of second") << pair << 1920 << false << 1;
    QTest::newRow("normal inside second") << pair << 2500 << false << 1;
    QTest::newRow("maximised at -8 on the first") << pair << -8 << true << 0;

    QTest::newRow("left of every screen") << pair << -300 << false << 0;
    QTest::newRow("right of every screen") << pair << 3840 << false << 0;
    QTest::newRow("maximised right of every screen") << pair << 3832 << true << 0;
    QTest::newRow("maximised just inside the last") << pair << 3831 << true << 1;

    QTest::newRow("third screen") << triple << 4000 << false << 2;
    QTest::newRow("gap before the third counts as third") << triple << 3850 << false << 2;
    QTest::newRow("beyond the third") << triple << 5760 << false << 0;
}

void TestScreenPlacement::screenIndex()
{
    QFETCH(Screens, screens);
    QFETCH(int, frameX);
    QFETCH(bool, maximised);
    QFETCH(int, expected);

    QCOMPARE(screenIndexFor(screens, frameX, maximised), expected);
}

QTEST_APPLESS_MAIN(TestScreenPlacement)
#include "tst_screenplacement.moc"
