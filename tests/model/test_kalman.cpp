#include "model/kalmanfilter.h"
#include "verticalflight.h"

#include <QtTest>
#include <algorithm>
#include <cmath>

namespace {

float valueAt(const Series &s, float t)
{
    const auto it = std::find_if(s.begin(), s.end(), [t](const SeriesPoint &p) { return p.time >= t - 1e-3f; });
    return it == s.end() ? NAN : it->value;
}

Series constant(float value, float until = 40.0f)
{
    Series s;
    for (int i = 0; i * 0.1f <= until; ++i)
        s.push_back({i * 0.1f, value, 0.0f});
    return s;
}

// On the pad at sea level: the GPS reads 20 m until 11 s, then `gps`
// metres, from 30.5 s on 40 m more, with 3D fixes at the given times.
KalmanOutputs onThePad(float gps, const std::vector<float> &fixTimes)
{
    Series gpsAltitude = constant(20.0f);
    for (SeriesPoint &p : gpsAltitude)
        p.value = p.time < 11.0f ? 20.0f : p.time < 30.5f ? gps : gps + 40.0f;
    return runKalmanFilter({constant(0.0f), gpsAltitude, constant(1.0f), fixTimes, 0.0f, 40.0f, 0.0f});
}

std::vector<float> fixesFrom(float first, float last, std::vector<float> times = {})
{
    for (int i = 0; first + 0.2f * i <= last + 1e-3f; ++i)
        times.push_back(first + 0.2f * i);
    std::sort(times.begin(), times.end());
    return times;
}

// The time of the first step whose altitude differs between two runs.
float firstDifference(const KalmanOutputs &a, const KalmanOutputs &b)
{
    for (std::size_t i = 0; i < a.altitude.size(); ++i)
        if (a.altitude[i].value != b.altitude[i].value)
            return a.altitude[i].time;
    return NAN;
}

} // namespace

// The sampler that reads every series at any time, and the filter that
// fuses barometer, GPS and accelerometer into altitude and velocity.
class TestVelocityEstimation : public QObject {
    Q_OBJECT

private slots:
    // y = x^2 at x = 0, 1, 2, 3, aux = 10 x.  Between the points the values
    // follow from the Hermite basis at u = 1/2 (h00 = h01 = 1/2, h10 = 1/8,
    // h11 = -1/8), where the time curve of each segment passes the midpoint.
    void samplesTheSquares_data()
    {
        QTest::addColumn<float>("t");
        QTest::addColumn<float>("value");
        QTest::addColumn<float>("aux");
        QTest::newRow("before the first point") << -2.5f << 0.0f << 0.0f;
        QTest::newRow("a stored point") << 2.0f << 4.0f << 20.0f;
        // m0 = (1, 0, 0), m1 = (P2 - P0) / 2 = (1, 2, 10): 1/2 - 2/8, 10/2 - 10/8.
        QTest::newRow("first segment") << 0.5f << 0.25f << 3.75f;
        // m0 = (P2 - P0) / 10 = (0.2, 0.4), m1 = (P3 - P1) / 10 = (0.2, 0.8): 5/2 + 0.4/8 - 0.8/8.
        QTest::newRow("inner segment") << 1.5f << 2.45f << 15.0f;
        // m0 = (P3 - P1) / 2 = (1, 4, 10), m1 = (1, 0, 0): 13/2 + 4/8, 50/2 + 10/8.
        QTest::newRow("last segment") << 2.5f << 7.0f << 26.25f;
        QTest::newRow("after the last point") << 7.25f << 9.0f << 30.0f;
    }
    void samplesTheSquares()
    {
        QFETCH(float, t);
        QFETCH(float, value);
        QFETCH(float, aux);
        const Series squares{{0, 0, 0}, {1, 1, 10}, {2, 4, 20}, {3, 9, 30}};
        const SeriesPoint p = sampleSeries(squares, t);
        QVERIFY2(std::fabs(p.value - value) < 1e-3f && std::fabs(p.aux - aux) < 1e-3f && std::fabs(p.time - t) < 1e-4f,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(double(p.time)).arg(double(p.value)).arg(double(p.aux))));
        QCOMPARE(sampleSeries(Series{{0, 0, 0}, {1, 1, 0}, {1, 2, 0}, {2, 3, 0}}, 1.0f).value, 2.0f); // no NaN
        // Three points are too few to sample.
        const SeriesPoint none = sampleSeries(Series(squares.begin(), squares.begin() + 3), t);
        QVERIFY(none.time == 0.0f && none.value == 0.0f && none.aux == 0.0f);
    }

    void firstExtremeFindsTheFirstBestSample()
    {
        Series bump;
        for (int i = 0; i < 7; ++i)
            bump.push_back({float(i), i == 3 ? 5.0f : 0.0f, 0});
        QCOMPARE(firstExtreme(bump, Extreme::Highest, 0.0f, 0.0f, 6.0f, 0.5).time, 3.0f);
        // The end itself is not sampled; only a better sample replaces the candidate.
        QCOMPARE(firstExtreme(bump, Extreme::Highest, 0.0f, 0.0f, 3.0f, 0.5).time, 2.5f);
        QCOMPARE(firstExtreme(bump, Extreme::Highest, 3.0f, 0.0f, 6.0f, 0.5).time, 3.0f);
    }

    // The first step from rest, h = v = a = 0 in the GPS frame, worked out
    // with the gains of the set that applies: r = z - h, q = (A - 1) 9.81 - a.
    void firstStep_data()
    {
        for (const char *column : {"baroSlope", "baro", "accel", "h", "v", "nextV"}) // nextV = v + 0.1 a + K2 r + K3 q
            QTest::addColumn<float>(column);
        // Barometer 2 m/s from 0 s, launch at 5 s: offset -10 m, z = -10, q = 1.962.
        QTest::newRow("measured, accelerometer trusted")
            << 2.0f << 0.0f << 1.2f << -0.5307242f << 0.06363031f << 0.1494125f;
        // 0.5 g on the pad is no rest: the input is 0, q = 0.
        QTest::newRow("measured, accelerometer not trusted")
            << 2.0f << 0.0f << 0.5f << -1.80549f << -1.0458f << -1.901022f;
        // At 20 km nothing is measured; the GPS reads 400 m more, which is
        // too far apart to shift the barometer: r = 0.
        QTest::newRow("coasting above the barometer's range")
            << 0.0f << 20000.0f << 1.2f << 20000.06887f << 0.2024097f << 0.4003712f;
    }
    void firstStep()
    {
        QFETCH(float, baroSlope);
        QFETCH(float, baro);
        QFETCH(float, accel);
        QFETCH(float, h);
        QFETCH(float, v);
        QFETCH(float, nextV);
        Series pressureAltitude = constant(baro, 20.0f);
        for (SeriesPoint &p : pressureAltitude)
            p.value += baroSlope * p.time;
        const Series gps = baro > 0.0f ? constant(baro + 400.0f, 20.0f) : Series();
        const KalmanOutputs out = runKalmanFilter({pressureAltitude, gps, constant(accel, 20.0f), {}, 5.0f, 5.0f, 5.0f});
        QCOMPARE(out.altitude.front().time, 0.0f);
        QVERIFY(std::fabs(out.altitude.front().value - h) < 1e-5f * std::max(1.0f, std::fabs(h)));
        QVERIFY(std::fabs(out.velocity.front().value - v) < 1e-5f && std::fabs(out.velocity[1].value - nextV) < 1e-5f);
    }

    // At 20 km nothing is measured: 5 g from 3 s to 5 s, then free fall.
    // Launch is seen once the filter has run 10 s, the accelerometer trusted
    // while coasting faster than 15 m/s: its 1 g from 12 s on (a parachute)
    // changes nothing.  After apogee the input is gravity and a drag of
    // v / 30 s, so the fall tends to 9.81 * 30 = 294.3 m/s (287 m/s after 112 s).
    void fallsWithTheDragModelAfterApogee()
    {
        Series accel = constant(1.0f, 120.0f);
        for (SeriesPoint &p : accel)
            p.value = p.time < 3.0f || p.time >= 12.0f ? 1.0f : p.time < 5.0f ? 5.0f : 0.0f;
        const KalmanOutputs out = runKalmanFilter({constant(20000.0f, 120.0f), constant(20400.0f, 120.0f), accel, {},
                                                   0.0f, 120.0f, 0.0f});
        QVERIFY(maxValue(out.velocity) > 65.0f && maxValue(out.velocity) < 85.0f);
        QVERIFY2(out.velocity.back().value > -294.3f && out.velocity.back().value < -280.0f,
                 qPrintable(QString::number(double(out.velocity.back().value))));
    }

    // The GPS side on the pad: the barometer reads 0, the GPS 20 m at the
    // launch, so the start offset is 20 and everything rests at 20 m.  At
    // 11 s the GPS jumps; fixes from 20.05 s count from 19.1 s on.  There,
    // with v = 0: w1 = 0.4, w2 = 0.5, k = 0.8, off = 0.2 * 40 = 8; wB =
    // (15000 - 28) / 15000, wG = 1, z = 60 (1 - wB / (1 + wB)) + 28 wB / (1 + wB)
    // = 44.01494; h = 20 + 0.056591481 * 24.01494.
    void gpsFixesWithinASecondAndBelow200MetresCount()
    {
        const KalmanOutputs gps = onThePad(60.0f, fixesFrom(20.05f, 39.85f));
        QCOMPARE(valueAt(gps.altitude, 19.0f), 20.0f);
        QVERIFY(std::fabs(valueAt(gps.altitude, 19.1f) - 21.359041f) < 1e-3f);
        // The offset is learned: the filter moves over to the GPS altitude.
        QVERIFY(std::fabs(valueAt(gps.altitude, 30.0f) - 60.0f) < 5.0f);
        // Beyond 200 m the GPS does not count at all.
        const KalmanOutputs far = onThePad(260.0f, fixesFrom(20.05f, 39.85f));
        for (const SeriesPoint &p : far.altitude)
            QCOMPARE(p.value, 20.0f);
        // A fix counts for a second after it, too: a second fix 1.5 s after
        // the last makes a difference only once the last is more than 1 s old.
        const KalmanOutputs stop = onThePad(60.0f, fixesFrom(20.05f, 30.05f));
        QVERIFY(std::fabs(firstDifference(stop, onThePad(60.0f, fixesFrom(20.05f, 30.05f, {31.55f}))) - 31.1f) < 0.01f);
        QVERIFY(std::fabs(firstDifference(stop, onThePad(60.0f, {})) - 19.1f) < 0.01f);
    }
};

QTEST_APPLESS_MAIN(TestVelocityEstimation)
#include "test_kalman.moc"
