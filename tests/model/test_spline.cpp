#include "model/series.h"

#include <QtTest>
#include <cmath>

namespace {

Series squares()
{
    // y = x^2 at x = 0, 1, 2, 3.
    return {{0, 0, 0}, {1, 1, 10}, {2, 4, 20}, {3, 9, 30}};
}

} // namespace

class TestSpline : public QObject {
    Q_OBJECT

private slots:
    void fewerThanFourPointsReadAsZero()
    {
        const Series three{{0, 5, 1}, {1, 6, 1}, {2, 7, 1}};
        for (float t : {-1.0f, 0.0f, 0.5f, 2.0f, 9.0f}) {
            const SeriesPoint p = sampleSeries(three, t);
            QCOMPARE(p.time, 0.0f);
            QCOMPARE(p.value, 0.0f);
            QCOMPARE(p.aux, 0.0f);
        }
        QCOMPARE(sampleSeries(Series{}, 1.0f).value, 0.0f);
    }

    void outsideTheSeriesHoldsTheEndValues()
    {
        const Series s = squares();
        SeriesPoint before = sampleSeries(s, -2.5f);
        QCOMPARE(before.time, -2.5f);
        QCOMPARE(before.value, 0.0f);
        SeriesPoint after = sampleSeries(s, 7.25f);
        QCOMPARE(after.time, 7.25f);
        QCOMPARE(after.value, 9.0f);
        QCOMPARE(after.aux, 30.0f);
    }

    void storedPointsReadBack()
    {
        const Series s = squares();
        for (const SeriesPoint &p : s) {
            const SeriesPoint sampled = sampleSeries(s, p.time);
            QVERIFY2(std::fabs(sampled.value - p.value) < 1e-3f, qPrintable(QString::number(p.time)));
            QVERIFY(std::fabs(sampled.aux - p.aux) < 1e-3f);
            QVERIFY(std::fabs(sampled.time - p.time) < 1e-4f);
        }
    }

    // The expected values follow from the Hermite basis at u = 1/2
    // (h00 = h01 = 1/2, h10 = 1/8, h11 = -1/8), where the time curve of each
    // of these segments passes through the midpoint.
    void endSegmentsUseHalfTheCentralDifference()
    {
        const Series s = squares();
        // First segment: m0 = (1, 0), m1 = (P2 - P0) / 2 = (1, 2) -> 1/2 - 2/8.
        QVERIFY(std::fabs(sampleSeries(s, 0.5f).value - 0.25f) < 1e-3f);
        // Last segment: m0 = (P3 - P1) / 2 = (1, 4), m1 = (1, 0) -> 13/2 + 4/8.
        QVERIFY(std::fabs(sampleSeries(s, 2.5f).value - 7.0f) < 1e-3f);
    }

    void innerSegmentsUseATenthOfTheCentralDifference()
    {
        const Series s = squares();
        // m0 = (P2 - P0) / 10 = (0.2, 0.4), m1 = (P3 - P1) / 10 = (0.2, 0.8):
        // 5/2 + 0.4/8 - 0.8/8.
        const SeriesPoint p = sampleSeries(s, 1.5f);
        QVERIFY(std::fabs(p.value - 2.45f) < 1e-3f);
        QVERIFY(std::fabs(p.time - 1.5f) < 1e-4f);
        QVERIFY(std::fabs(p.aux - 15.0f) < 1e-3f);
    }

    void straightLinesStayStraightBetweenUnevenSamples()
    {
        Series s;
        const float times[] = {0.0f, 0.3f, 0.35f, 1.2f, 1.25f, 2.0f, 4.0f, 4.1f};
        for (float t : times)
            s.push_back({t, 3.0f * t + 2.0f, 0.0f});
        // Away from the two end segments the value follows time exactly.
        for (float t = 0.31f; t < 4.0f; t += 0.07f)
            QVERIFY2(std::fabs(sampleSeries(s, t).value - (3.0f * t + 2.0f)) < 2e-3f,
                     qPrintable(QString::number(t)));
    }

    void theSearchFindsTheRightSegmentInLongSeries()
    {
        // Every sample must lie between the values of the two points around
        // t, which only holds when the search picks that segment.
        Series s;
        for (int i = 0; i < 10007; ++i)
            s.push_back({i * 0.01f + (i % 7) * 0.001f, float(i % 2 ? i : -i), 0.0f});
        std::size_t i = 0;
        for (float t = 0.0f; t < s.back().time; t += 0.0201f) {
            while (s[i + 1].time <= t)
                ++i;
            const float a = s[i].value, b = s[i + 1].value;
            const float v = sampleSeries(s, t).value;
            QVERIFY2(v >= std::min(a, b) - 1e-2f && v <= std::max(a, b) + 1e-2f, qPrintable(QString::number(t)));
        }
    }

    void pointsAtTheSameTimeGiveNoNaN()
    {
        const Series s{{0, 0, 0}, {1, 1, 0}, {1, 2, 0}, {2, 3, 0}, {3, 4, 0}, {3, 5, 0}};
        for (float t = -0.5f; t < 3.5f; t += 0.05f)
            QVERIFY(std::isfinite(sampleSeries(s, t).value));
        QCOMPARE(sampleSeries(s, 1.0f).value, 2.0f);
        QCOMPARE(sampleSeries(s, 3.0f).value, 5.0f);
    }

    void firstExtremeFindsTheFirstBestSample()
    {
        Series bump, dip, flat;
        for (int i = 0; i < 7; ++i) {
            bump.push_back({float(i), i == 3 ? 5.0f : 0.0f, 0});
            dip.push_back({float(i), i == 3 ? -5.0f : 0.0f, 0});
            flat.push_back({float(i), 2.0f, 0});
        }
        const SeriesPoint highest = firstExtreme(bump, Extreme::Highest, 0.0f, 0.0f, 6.0f, 0.5);
        QCOMPARE(highest.time, 3.0f);
        QVERIFY(std::fabs(highest.value - 5.0f) < 1e-3f);
        QCOMPARE(firstExtreme(dip, Extreme::Lowest, 0.0f, 0.0f, 6.0f, 0.5).time, 3.0f);
        // The end itself is not sampled.
        QCOMPARE(firstExtreme(bump, Extreme::Highest, 0.0f, 0.0f, 3.0f, 0.5).time, 2.5f);
        // Only a better sample replaces the candidate: on a flat series it stands.
        QCOMPARE(firstExtreme(flat, Extreme::Highest, 0.25f, 0.0f, 6.0f, 0.5).time, 0.25f);
        QCOMPARE(firstExtreme(flat, Extreme::Lowest, 0.25f, 0.0f, 6.0f, 0.5).time, 0.25f);
        // Too short to read: the candidate's time with value 0.
        const SeriesPoint none = firstExtreme(Series{}, Extreme::Highest, 7.0f, 0.0f, 5.0f, 0.5);
        QCOMPARE(none.time, 7.0f);
        QCOMPARE(none.value, 0.0f);
    }

    void barometricAltitude()
    {
        QVERIFY(std::fabs(::barometricAltitude(101325.0f)) < 0.05f);
        // Standard atmosphere: about 110.9 m at 100000 Pa, 5574 m at 50000 Pa.
        QVERIFY(std::fabs(::barometricAltitude(100000.0f) - 110.9f) < 0.5f);
        QVERIFY(std::fabs(::barometricAltitude(50000.0f) - 5574.0f) < 5.0f);
    }
};

QTEST_APPLESS_MAIN(TestSpline)
#include "test_spline.moc"
