#include "filecontents.h"
#include "model/flight.h"
#include "model/textfile.h"
#include "model/trace.h"
#include "approx.h"
#include "verticalflight.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace {

void appendFix(OKUKIPOFlight &flight, float t, double latitude, double longitude, float altitude, bool solution3D = true)
{
    auto *fix = insertEvent<OKUEvent_GPSLLSol>(flight, t);
    std::tie(fix->latitude, fix->longitude, fix->altitude, fix->satellites, fix->solution3D) =
        std::make_tuple(latitude, longitude, altitude, 9, solution3D);
}

QList<QByteArray> linesOf(const QString &path)
{
    return fileContents(path).chopped(1).split('\n'); // every line ends with a line end
}

} // namespace

class TestExports : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { okukipo::setTraceHandler([](const QString &) {}); }

    // One flight in both layouts: the CSV's sections side by side in order of
    // first occurrence, the KML track longitude first; 2D solutions left out.
    void csvAndKmlOfAFlight()
    {
        OKUKIPOFlight flight;
        insertEvent<OKUEvent_AccelZ>(flight, 0.0f)->accelZ = 1.0f;
        appendFix(flight, 0.0f, 1.0, 2.0, 3.0f, false);
        auto *lateral = insertEvent<OKUEvent_AccelXY>(flight, 0.005f);
        std::tie(lateral->accelX, lateral->accelY) = std::make_pair(0.5f, -0.25f);
        insertEvent<OKUEvent_AccelZ>(flight, 0.01f)->accelZ = 1.5f;
        appendFix(flight, 0.02f, 47.3971234567, 8.5456789012, 512.25f);
        auto *status = insertEvent<OKUEvent_Status>(flight, 0.04f);
        std::tie(status->state, status->lineContinuity[0], status->lineContinuity[2], status->lineAlert[1]) =
            std::make_tuple(3, true, true, true);
        insertEvent<OKUEvent_Pressure>(flight, 0.05f)->pressure = 100000.0f;
        insertEvent<OKUEvent_Orientation>(flight, 0.07f); // not exported
        flight.processFlight();
        QTemporaryDir dir;
        QVERIFY(flight.exportCSV(dir.filePath("flight.csv")) && flight.exportKML(dir.filePath("track.kml")));
        // 110.9 m is the standard atmosphere's altitude at 100000 Pa; one
        // reading is too few to read a ground level from, which stays 0.
        const QByteArray altitude = QByteArray::number(barometricAltitude(100000.0f), 'g', 6);
        const QList<QByteArray> expected{
            "0,1,0.005,0.5,-0.25,0.02,47.397123,8.5456789,512.25,9,0.04,1,1,1,0,1,0,0,1,0,0,0.05,100000," + altitude + "," + altitude,
            "0.01,1.5,,,,,,,,,,,,,,,,,,,,,,,",
        };
        QCOMPARE(linesOf(dir.filePath("flight.csv")).mid(1), expected);
        const QList<QByteArray> kml = linesOf(dir.filePath("track.kml"));
        QCOMPARE(kml.size(), 14);
        QCOMPARE(kml.mid(5, 2), (QList<QByteArray>{"<LineString><altitudeMode>absolute</altitudeMode><coordinates>",
                                                   "8.545678901,47.39712346,512.25"}));
        QCOMPARE(kml.mid(10, 2), (QList<QByteArray>{"<LineString><altitudeMode>clampToGround</altitudeMode><coordinates>",
                                                    "8.545678901,47.39712346"}));
    }

    void emulationDataStartsAtTheTruncatedFirstTime()
    {
        OKUKIPOFlight flight;
        for (int k = 0; k <= 48; ++k) {
            const float t = -4.987f + k * 0.01f;
            insertEvent<OKUEvent_AccelZ>(flight, t)->accelZ = 1.0f;
            if (k % 5 == 0) {
                insertEvent<OKUEvent_Pressure>(flight, t)->pressure = 100000.0f;
                auto *lateral = insertEvent<OKUEvent_AccelXY>(flight, t);
                std::tie(lateral->accelX, lateral->accelY) = std::make_pair(0.1f, -0.2f);
                auto *gyro = insertEvent<OKUEvent_GyroXYZ>(flight, t);
                std::tie(gyro->x, gyro->y, gyro->z) = std::make_tuple(10.0f, -20.0f, 30.5f);
            }
            if (k == 8 || k == 38 || k == 43)
                appendFix(flight, t, 47.0, 8.0, 100.0f, k != 38);
        }
        insertEvent<OKUEvent_Temperature>(flight, -4.5f);
        flight.processFlight();
        QTemporaryDir dir;
        for (bool inverted : {false, true}) {
            flight.accelInverted = inverted;
            QVERIFY(flight.exportEmulationData(dir.filePath("emulation.csv")));
            const QList<QByteArray> lines = linesOf(dir.filePath("emulation.csv"));
            // From -4.98 to the last row before the last event at -4.5.
            QCOMPARE(lines.size(), 1 + 48);
            const QByteArray altitude = QByteArray::number(barometricAltitude(100000.0f), 'f', 2);
            for (int row = 0; row < 48; ++row) {
                // GPS validity is decided every tenth row: a 3D fix at most
                // 0.25 s old before the next solution.  The fix at -4.907
                // covers -4.88, -4.78 and -4.68; at -4.58 it is too old and
                // the one at -4.607 is only 2D.
                const bool gps = row >= 10 && row < 40;
                const QByteArray expected = QByteArray::number((-498 + row) / 100.0, 'f', 2) + "," + altitude
                                            + ",0.00," + (gps ? "1" : "0") + ",0.98,-1.96,"
                                            + (inverted ? "-9.81" : "9.81") + ",10.00,-20.00,30.50";
                QCOMPARE(lines[row + 1], expected);
            }
        }
    }

    // The drag-free flight: 10 g read for 2 s from launch, nothing while
    // coasting, so the drag fit is 0 and the thrust 98.1 N per kg.  With
    // 2 kg of which 1 kg propellant, the first pass burns it evenly, so the
    // impulse up to x = tau / 2 s grows as 2 x - x^2 / 2 of its total 1.5; the
    // second pass burns the propellant with that impulse:
    // m(x) = 2 - (2 x - x^2 / 2) / 1.5, where evenly burning would give 2 - x.
    void thrustSheetBurnsThePropellantWithTheImpulse()
    {
        OKUKIPOFlight flight;
        vertical::record(flight);
        flight.processFlight();
        QTemporaryDir dir;
        const QString path = dir.filePath("thrust.csv");
        QVERIFY(flight.exportThrustData(path, 2.0, 1.0));
        const QList<QByteArray> lines = linesOf(path);
        double lastMass = 0.0;
        int checked = 0;
        for (int i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> cells = lines[i].split(',');
            QCOMPARE(cells.size(), 12);
            QCOMPARE(cells[1].toDouble(), 0.0); // coasting reads nothing
            if (cells[2].isEmpty())
                continue;
            const double x = cells[2].toDouble() / 2.0, mass = cells[5].toDouble(), thrust = cells[7].toDouble();
            QCOMPARE(cells[6].toDouble(), 0.0);
            if (x > 0.01 && x < 0.99) {
                QCOMPARE_NEAR(mass, 2.0 - (2.0 * x - x * x / 2.0) / 1.5, 0.01);
                QCOMPARE_NEAR(cells[3].toDouble(), 9.0 * 9.81, 1e-3);
                QCOMPARE_NEAR(thrust, 98.1 * mass, 1e-3);
                ++checked;
            }
            lastMass = mass;
        }
        QVERIFY(checked > 190);
        QCOMPARE_NEAR(lastMass, 1.0, 1e-6);
        // J = 98.1 N/kg * 2 s * 1.4444 kg, the mean of m(x) being 2 - (5/6) / 1.5;
        // the specific impulse J / 9.81 / 1 kg.
        const double impulse = lines[3].split(',')[11].toDouble();
        QCOMPARE_NEAR(impulse, 98.1 * 2.0 * (2.0 - 5.0 / 9.0), 0.01 * 283.4);
        QCOMPARE_NEAR(lines[4].split(',')[11].toDouble(), impulse * 0.1019368, 1e-3);
    }

    void failedExportsWriteNothing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("thrust.csv"), missing = dir.filePath("missing/out.csv");
        {
            AtomicTextFile old(path);
            old.line().append("kept");
            old.endLine();
            QVERIFY(old.commit());
            AtomicTextFile abandoned(path);
            abandoned.line().append("half");
        }
        // Without a coast there is no drag to fit; the file stays as it was.
        OKUKIPOFlight flight;
        QVERIFY(!flight.exportThrustData(path, 1.0, 0.1));
        QCOMPARE(fileContents(path), QByteArray("kept\n"));
        vertical::record(flight);
        flight.processFlight();
        QVERIFY(!flight.exportCSV(missing) && !flight.exportKML(missing));
        QVERIFY(!flight.exportEmulationData(missing) && !flight.exportThrustData(missing, 1.0, 0.1));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"thrust.csv"});
    }
};

QTEST_APPLESS_MAIN(TestExports)
#include "test_exports.moc"
