#include "model/tilerange.h"

#include <QtTest>

class TestTileRange : public QObject
{
    Q_OBJECT

private slots:
    // Counts from the slippy-map formula, worked out by hand per zoom.
    void savePlanCountsTheBoxTiles_data()
    {
        QTest::addColumn<QVector<double>>("box"); // south, west, north, east
        QTest::addColumn<int>("requestedZoom");
        QTest::addColumn<int>("maxZoom");
        QTest::addColumn<int>("count");
        const QVector<double> playa{40.80, -119.20, 40.90, -119.05};
        QTest::newRow("playa to zoom 14") << playa << 14 << 14 << 87;
        QTest::newRow("playa to zoom 16") << playa << 16 << 16 << 969;
        QTest::newRow("zoom 18 asked") << playa << 18 << 16 << 969;
        QTest::newRow("5,000 tiles reached") << QVector<double>{40.5, -119.6, 41.2, -118.6} << 16 << 14 << 2770;
    }

    void savePlanCountsTheBoxTiles()
    {
        QFETCH(QVector<double>, box);
        QFETCH(int, requestedZoom);
        QFETCH(int, maxZoom);
        QFETCH(int, count);
        const tiles::SavePlan plan = tiles::planSave({box[0], box[1], box[2], box[3]}, requestedZoom);
        QCOMPARE(plan.maxZoom, maxZoom);
        QCOMPARE(plan.cut(), maxZoom < requestedZoom);
        QCOMPARE(plan.count, count);
        QCOMPARE(plan.tiles().size(), count);
        QCOMPARE(plan.estimatedBytes(), count * 20 * 1024);
        // 111.19508 km is one degree of a great circle on the mean earth radius.
        const tiles::GeoBox around = tiles::boxAround(45, 10, 111.19508);
        QVERIFY(qAbs(around.north - 46) + qAbs(around.south - 44) < 1e-6);
        QVERIFY(qAbs(around.east - 10 - M_SQRT2) + qAbs(around.west - 10 + M_SQRT2) < 1e-6);
    }
};

QTEST_GUILESS_MAIN(TestTileRange)
#include "test_tilerange.moc"
