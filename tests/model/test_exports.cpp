#include "filecontents.h"
#include "model/eventcast.h"
#include "model/flight.h"
#include "model/polynomialfit.h"
#include "model/sheetgrid.h"
#include "model/textfile.h"
#include "model/trace.h"
#include "testflights.h"

#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cmath>

namespace {

template<class Event>
Event *append(OKUKIPOFlight &flight, float t)
{
    auto *event = new Event;
    event->time = t;
    flight.events.push_back(event);
    return event;
}

OKUEvent_GPSLLSol *appendFix(OKUKIPOFlight &flight, float t, double latitude, double longitude, float altitude,
                             bool solution3D = true)
{
    auto *fix = append<OKUEvent_GPSLLSol>(flight, t);
    fix->latitude = latitude;
    fix->longitude = longitude;
    fix->altitude = altitude;
    fix->satellites = 9;
    fix->solution3D = solution3D;
    return fix;
}

QList<QByteArray> linesOf(const QString &path)
{
    QByteArray bytes = fileContents(path);
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    return bytes.split('\n');
}

QByteArray fixed2(double value)
{
    return QByteArray::number(value, 'f', 2);
}

} // namespace

class TestExports : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { okukipo::setTraceHandler([](const QString &) {}); }

    // ---- The writers every export uses ----

    void textFileAppearsOnlyWhenCommitted()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("out.csv");
        QVERIFY(writeFile(path, "previous contents\n"));
        {
            AtomicTextFile file(path);
            QVERIFY(file.isOpen());
            file.line().append("half");
            file.endLine();
            // Abandoned without commit: the old file stays as it was.
        }
        QCOMPARE(fileContents(path), QByteArray("previous contents\n"));
        AtomicTextFile file(path);
        file.line().append("a,b");
        file.endLine();
        file.line().append("c");
        file.endLine();
        QVERIFY(file.commit());
        QCOMPARE(fileContents(path), QByteArray("a,b\nc\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.csv"});
    }

    void textFileInAMissingFolderFails()
    {
        QTemporaryDir dir;
        AtomicTextFile file(dir.filePath("no/such/folder/out.csv"));
        QVERIFY(!file.isOpen());
        file.line().append("x");
        file.endLine();
        QVERIFY(!file.commit());
        QVERIFY(!QFile::exists(dir.filePath("no/such/folder/out.csv")));
    }

    void numbersPrintLikeAStream()
    {
        QByteArray text;
        for (double v : {0.0, 1.5, -0.25, 123456.0, 1234567.0, 0.0001, 0.00001, double(0.1f), 9.81 * 1.0})
            appendNumber(text, v), text.append(' ');
        QCOMPARE(text, QByteArray("0 1.5 -0.25 123456 1.23457e+06 0.0001 1e-05 0.1 9.81 "));
        text.clear();
        appendNumber(text, 47.123456789, 8);
        text.append(' ');
        appendNumber(text, 3.2998, 3);
        text.append(' ');
        appendFixed(text, -4.98, 2);
        text.append(' ');
        appendFixed(text, 2.0, 6);
        text.append(' ');
        appendFixed(text, -0.004, 2);
        QCOMPARE(text, QByteArray("47.123457 3.3 -4.98 2.000000 -0.00"));
    }

    void sheetRowsSpanTheUsedColumns()
    {
        SheetGrid grid;
        grid.set(0, 0, "A");
        grid.set(0, 3, "D");
        grid.setNumber(2, 1, 1.5);
        grid.set(1, 4, "E");
        QTemporaryDir dir;
        AtomicTextFile file(dir.filePath("sheet.csv"));
        grid.write(file);
        QVERIFY(file.commit());
        QCOMPARE(fileContents(dir.filePath("sheet.csv")), QByteArray("A,,,D,\n"
                                                                ",,,,E\n"
                                                                ",1.500000,,,\n"));
    }

    // ---- The least-squares cubic of the thrust sheet ----

    void cubicFitRecoversACubicAtHighVelocities()
    {
        // Drag-like data over 40..320 m/s, where x^3 reaches 3e7 and plain
        // normal equations lose most of their digits.
        std::vector<double> x, y;
        for (int i = 0; i <= 280; ++i) {
            const double v = 40.0 + i;
            x.push_back(v);
            y.push_back(-9.81 - 2.0e-4 * v * v + 3.0e-7 * v * v * v + 0.01 * v);
        }
        QString error;
        const std::optional<CubicFit> fit = CubicFit::fit(x, y, &error);
        QVERIFY(fit);
        QVERIFY(error.isEmpty());
        for (std::size_t i = 0; i < x.size(); ++i)
            QVERIFY(std::fabs((*fit)(x[i]) - y[i]) < 1e-9);
    }

    void cubicFitMinimisesTheSquaredResiduals()
    {
        // Noisy samples: the residuals of a least-squares fit are orthogonal
        // to every column of the design matrix (1, x, x^2, x^3).
        std::vector<double> x, y;
        for (int i = 0; i < 200; ++i) {
            const double v = 20.0 + 1.3 * i;
            x.push_back(v);
            y.push_back(-0.001 * v * v + std::sin(i * 1.7) * 3.0);
        }
        QString error;
        const std::optional<CubicFit> fit = CubicFit::fit(x, y, &error);
        QVERIFY(fit);
        for (int power = 0; power < 4; ++power) {
            double dot = 0.0, scale = 0.0;
            for (std::size_t i = 0; i < x.size(); ++i) {
                const double column = std::pow((x[i] - 150.0) / 130.0, power);
                dot += ((*fit)(x[i]) - y[i]) * column;
                scale += std::fabs(y[i] * column);
            }
            QVERIFY2(std::fabs(dot) < 1e-9 * scale, qPrintable(QString::number(power)));
        }
    }

    void cubicFitNeedsFourSamples()
    {
        QString error;
        QVERIFY(!CubicFit::fit({}, {}, &error));
        QCOMPARE(error, QString("invalid matrix size"));
        error.clear();
        QVERIFY(!CubicFit::fit({1, 2, 3}, {1, 2, 3}, &error));
        QCOMPARE(error, QString("invalid matrix size"));
        QVERIFY(!CubicFit::fit({5, 5, 5, 5, 5}, {1, 2, 3, 4, 5}, &error));
        QCOMPARE(error, QString("singular matrix"));
        QVERIFY(!CubicFit::fit({1, 2, 1, 2, 1}, {1, 2, 3, 4, 5}, &error));
        QVERIFY(CubicFit::fit({1, 2, 3, 4}, {1, 8, 27, 64}, &error));
    }

    // ---- CSV workbook ----

    void csvSectionsStandSideBySideInOrderOfFirstOccurrence()
    {
        OKUKIPOFlight flight;
        append<OKUEvent_AccelZ>(flight, 0.0f)->accelZ = 1.0f;
        appendFix(flight, 0.0f, 1.0, 2.0, 3.0f, false); // a 2D solution opens no section
        auto *lateral = append<OKUEvent_AccelXY>(flight, 0.005f);
        lateral->accelX = 0.5f;
        lateral->accelY = -0.25f;
        append<OKUEvent_AccelZ>(flight, 0.01f)->accelZ = 1.5f;
        appendFix(flight, 0.02f, 47.123456789, 8.5, 512.25f);
        append<OKUEvent_AccelZ>(flight, 0.03f)->accelZ = 2.0f;
        auto *status = append<OKUEvent_Status>(flight, 0.04f);
        status->state = 3;
        status->lineContinuity[0] = status->lineContinuity[2] = true;
        status->lineAlert[1] = true;
        append<OKUEvent_LineB>(flight, 0.05f)->voltage = 3.2998f;
        append<OKUEvent_GPSTime>(flight, 0.06f)->timeOfWeek = 345600000;
        append<OKUEvent_Orientation>(flight, 0.07f); // not exported
        flight.processFlight();

        QTemporaryDir dir;
        const QString path = dir.filePath("flight.csv");
        QVERIFY(flight.exportCSV(path));
        // Paddings: acceleration ",", lateral ",,", GPS ",,,,", status ten
        // commas, line and GPS time "," each; groups joined by one comma.
        const QList<QByteArray> expected{
            "time,acceleration,time,lat. X accel.,lat. Y accel.,time,lat,long,GPS MSL,SVs,"
            "time,launch detect,apogee detect,A cont.,B cont.,C cont.,D cont.,A on., B on,C on,D on,"
            "time,B Voltage,time,GPS Time of Week",
            "0,1,0.005,0.5,-0.25,0.02,47.123457,8.5,512.25,9,0.04,1,1,1,0,1,0,0,1,0,0,0.05,3.3,0.06,345600000",
            "0.01,1.5,,,,,,,,,,,,,,,,,,,,,,,",
            "0.03,2,,,,,,,,,,,,,,,,,,,,,,,",
        };
        QCOMPARE(linesOf(path), expected);
    }

    void csvPressureColumnsAreAboveSeaAndGround()
    {
        OKUKIPOFlight flight;
        const float pressures[] = {100000.0f, 99000.0f, 98000.0f, 97000.0f};
        for (int i = 0; i < 4; ++i)
            append<OKUEvent_Pressure>(flight, i * 0.5f)->pressure = pressures[i];
        append<OKUEvent_Temperature>(flight, 2.0f)->temperature = 21.25f;
        flight.processFlight();
        // No flight: the ground is the pressure altitude at the first event.
        const float ground = barometricAltitude(100000.0f);
        QCOMPARE(flight.groundLevel(), ground);
        QTemporaryDir dir;
        QVERIFY(flight.exportCSV(dir.filePath("p.csv")));
        const QList<QByteArray> lines = linesOf(dir.filePath("p.csv"));
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], QByteArray("time,pressure,Pressure MSL,Pressure AGL,time,temperature"));
        QCOMPARE(lines[1], "0,100000," + QByteArray::number(ground, 'g', 6) + ",0,2,21.25");
        const float altitude = barometricAltitude(99000.0f);
        QCOMPARE(lines[2], "0.5,99000," + QByteArray::number(altitude, 'g', 6) + ","
                               + QByteArray::number(altitude - ground, 'g', 6) + ",,");
        QVERIFY(lines[4].startsWith("1.5,97000,"));
        QVERIFY(lines[4].endsWith(",,"));
        QCOMPARE(lines[4].count(','), 5);
    }

    void csvOfARealisticFlightKeepsEveryRowAligned()
    {
        const auto flight = okukipo::sim::simulatedFlight(FlightProfile());
        appendRadioTail(*flight, 3.0f);
        flight->processFlight();
        QTemporaryDir dir;
        QVERIFY(flight->exportCSV(dir.filePath("f.csv")));
        const QList<QByteArray> lines = linesOf(dir.filePath("f.csv"));
        const int columns = lines[0].count(',');
        for (const QByteArray &line : lines)
            QCOMPARE(line.count(','), columns);
        // Sections in the order the recorder first writes their records (the
        // orientation is not exported); the radio's signal strength comes last.
        QCOMPARE(lines[0], QByteArray("time,lat,long,GPS MSL,SVs,time,acceleration,time,lat. X accel.,lat. Y accel.,"
                                      "time,Gyro X,Gyro Y,Gyro Z,time,Mag X,Mag Y,Mag Z,"
                                      "time,pressure,Pressure MSL,Pressure AGL,time,temperature,"
                                      "time,eject. bat. voltage,time,comp. bat. voltage,time,GPS Time of Week,"
                                      "time,launch detect,apogee detect,A cont.,B cont.,C cont.,D cont.,"
                                      "A on., B on,C on,D on,"
                                      "time,A Voltage,time,B Voltage,time,C Voltage,time,D Voltage,time,RSSI"));
        // The accelerations, written every 10 ms in flight, make the most rows.
        int accelZ = 0;
        for (const OKUEvent *e : flight->events)
            accelZ += eventAs<OKUEvent_AccelZ>(e) != nullptr;
        QCOMPARE(lines.size(), accelZ + 1);
        // The GPS section ran out long before: its cells are padded.
        QVERIFY(lines.back().startsWith(",,,,,"));
        QVERIFY(!lines.back().startsWith(",,,,,,"));
    }

    void csvWithoutGpsHasNoGpsSection()
    {
        // The receiver found no fix all flight long.
        FlightProfile profile;
        profile.gpsGapSeconds = 3600.0;
        const auto flight = analysedFlight(profile);
        QVERIFY(std::none_of(flight->events.begin(), flight->events.end(),
                             [](const OKUEvent *e) { return eventAs<OKUEvent_GPSLLSol>(e); }));
        QTemporaryDir dir;
        QVERIFY(flight->exportCSV(dir.filePath("f.csv")));
        QVERIFY(!linesOf(dir.filePath("f.csv"))[0].contains("GPS MSL"));
        QVERIFY(flight->exportKML(dir.filePath("f.kml")));
        const QList<QByteArray> kml = linesOf(dir.filePath("f.kml"));
        QCOMPARE(kml.size(), 12);
        QCOMPARE(kml[5], QByteArray("<LineString><altitudeMode>absolute</altitudeMode><coordinates>"));
        QCOMPARE(kml[6], QByteArray("</coordinates></LineString></Placemark>"));
        QCOMPARE(kml[9], QByteArray("<LineString><altitudeMode>clampToGround</altitudeMode><coordinates>"));
        QCOMPARE(kml[10], QByteArray("</coordinates></LineString>"));
    }

    // ---- KML track ----

    void kmlTrack()
    {
        OKUKIPOFlight flight;
        appendFix(flight, 0.0f, 47.3971234567, 8.5456789012, 512.25f);
        appendFix(flight, 0.2f, 47.5, 8.6, 600.0f, false);
        appendFix(flight, 0.4f, 37.4219999, -122.0837512, 30.5f);
        flight.processFlight();
        QTemporaryDir dir;
        QVERIFY(flight.exportKML(dir.filePath("track.kml")));
        const QList<QByteArray> expected{
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
            "<kml xmlns=\"http://earth.google.com/kml/2.1\">",
            "<Document><name>OKU KIPO Flight</name><visibility>1</visibility><Folder><name>Track</name>",
            "<Placemark><name>Aeronautic</name>",
            "<Style><LineStyle><color>C80000FF</color><width>4</width></LineStyle></Style>",
            "<LineString><altitudeMode>absolute</altitudeMode><coordinates>",
            "8.545678901,47.39712346,512.25",
            "-122.0837512,37.4219999,30.5",
            "</coordinates></LineString></Placemark>",
            "<Placemark><name>Clamped to ground</name>",
            "<Style><LineStyle><color>C800FFFF</color><width>4</width></LineStyle></Style>",
            "<LineString><altitudeMode>clampToGround</altitudeMode><coordinates>",
            "8.545678901,47.39712346",
            "-122.0837512,37.4219999",
            "</coordinates></LineString>",
            "</Placemark></Folder></Document></kml>",
        };
        QCOMPARE(linesOf(dir.filePath("track.kml")), expected);
    }

    // ---- Emulation data ----

    void emulationFileStartsAtTheTruncatedFirstTime()
    {
        OKUKIPOFlight flight;
        for (int k = 0; k <= 48; ++k) {
            const float t = -4.987f + k * 0.01f;
            append<OKUEvent_AccelZ>(flight, t)->accelZ = 1.0f;
            if (k % 5 == 0) {
                append<OKUEvent_Pressure>(flight, t)->pressure = 100000.0f;
                auto *lateral = append<OKUEvent_AccelXY>(flight, t);
                lateral->accelX = 0.1f;
                lateral->accelY = -0.2f;
                auto *gyro = append<OKUEvent_GyroXYZ>(flight, t);
                gyro->x = 10.0f;
                gyro->y = -20.0f;
                gyro->z = 30.5f;
            }
            if (k == 8)
                appendFix(flight, -4.9f, 47.0, 8.0, 100.0f);
            if (k == 38)
                appendFix(flight, -4.6f, 47.0, 8.0, 100.0f, false);
            if (k == 43)
                appendFix(flight, -4.55f, 47.0, 8.0, 100.0f);
        }
        append<OKUEvent_Temperature>(flight, -4.5f);
        flight.processFlight();

        QTemporaryDir dir;
        for (bool inverted : {false, true}) {
            flight.accelInverted = inverted;
            QVERIFY(flight.exportEmulationData(dir.filePath("emulation.csv")));
            const QList<QByteArray> lines = linesOf(dir.filePath("emulation.csv"));
            QCOMPARE(lines[0], QByteArray("Time[s],Pressure altitude [m],GPS altitude [m],GPS Valid,"
                                          "Acceleration x [m/s^2], Acceleration y [m/s^2], Acceleration z [m/s^2], "
                                          "Gyro x [deg/s], Gyro y [deg/s], Gyro z [deg/s]"));
            // -4.98 up to the last row before the last event at -4.5.
            QCOMPARE(lines.size(), 1 + 48);
            const QByteArray altitude = fixed2(barometricAltitude(100000.0f));
            for (int row = 0; row < 48; ++row) {
                // GPS validity is decided every tenth row: a 3D fix at most
                // 0.25 s old before the next solution.  The fix at -4.9 covers
                // -4.88, -4.78 and -4.68; at -4.58 it is too old and the one at
                // -4.6 is only 2D.
                const bool gps = row >= 10 && row < 40;
                const QByteArray expected = fixed2((-498 + row) / 100.0) + "," + altitude + ",0.00," + (gps ? "1" : "0")
                                            + ",0.98,-1.96," + (inverted ? "-9.81" : "9.81") + ",10.00,-20.00,30.50";
                QCOMPARE(lines[row + 1], expected);
            }
        }
    }

    // ---- Thrust sheet ----

    void thrustSheetOfARealisticFlight()
    {
        FlightTruth truth;
        const auto flight = analysedFlight(FlightProfile(), &truth);
        QTemporaryDir dir;
        const QString path = dir.filePath("thrust.csv");
        QVERIFY(flight->exportThrustData(path, 1.0, 0.1));
        const QList<QByteArray> lines = linesOf(path);
        QCOMPARE(lines[0], QByteArray("Velocity [m/s],Acceleration [m/s^2],Time[s],Acceleration [m/s^2],Velocity [m/s],"
                                      "Rocket mass [kg],Drag [N],Motor Thrust [N],,,"
                                      "Total rocket mass (incl. propellent) [kg],1.000000"));
        QVERIFY(lines[1].endsWith(",Total propellent mass [kg],0.100000"));
        QVERIFY(lines[2].endsWith(",,"));
        QVERIFY(lines[3].contains(",Total thrust [Ns],"));
        QVERIFY(lines[4].contains(",ISP [s],"));
        for (const QByteArray &line : lines)
            QCOMPARE(line.count(','), 11);

        // Coast rows run from burnout to a second before apogee, thrust rows
        // from launch to burnout, 0.01 s apart.
        int coastRows = 0, thrustRows = 0;
        double lastMass = 2.0;
        for (int i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> cells = lines[i].split(',');
            coastRows += !cells[0].isEmpty();
            if (cells[2].isEmpty())
                continue;
            ++thrustRows;
            const double mass = cells[5].toDouble();
            QVERIFY(mass <= lastMass + 1e-9);
            lastMass = mass;
            QVERIFY(cells[7].toDouble() >= 0.0);
        }
        const double burn = flight->peakVelocityTime() - flight->launchTime();
        QVERIFY(std::abs(thrustRows - burn * 100.0) <= 25.0);
        QVERIFY(std::abs(coastRows - (flight->apogeeTime() - 1.0 - truth.burnoutTime) * 100.0) <= 25.0);
        QVERIFY(std::fabs(lastMass - 0.9) < 0.01);

        // The motor's thrust over the rocket's weight for the burn, with the
        // mass going from 1.0 to 0.9 kg.
        const double totalThrust = lines[3].split(',')[11].toDouble();
        const double expected = truth.thrustToWeight * 9.81 * 0.95 * (truth.burnoutTime - truth.launchTime);
        QVERIFY2(std::fabs(totalThrust - expected) < 0.06 * expected, lines[3].constData());
        const double isp = lines[4].split(',')[11].toDouble();
        QVERIFY(std::fabs(isp - totalThrust * 0.1019368 / 0.1) < 1e-3 * isp);
    }

    void thrustSheetWithoutCoastFailsAndWritesNothing()
    {
        QStringList trace;
        okukipo::setTraceHandler([&trace](const QString &line) { trace << line; });
        OKUKIPOFlight flight;
        flight.processFlight();
        QTemporaryDir dir;
        const QString path = dir.filePath("thrust.csv");
        QVERIFY(!flight.exportThrustData(path, 1.0, 0.1));
        QVERIFY(trace.contains("invalid matrix size"));
        QVERIFY(!QFile::exists(path));
        QVERIFY(writeFile(path, "kept\n"));
        QVERIFY(!flight.exportThrustData(path, 1.0, 0.1));
        QCOMPARE(fileContents(path), QByteArray("kept\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"thrust.csv"});
        okukipo::setTraceHandler([](const QString &) {});
    }

    void exportsToAnUnwritablePlaceFail()
    {
        const auto flight = analysedFlight();
        QTemporaryDir dir;
        const QString missing = dir.filePath("missing/out.csv");
        QVERIFY(!flight->exportCSV(missing));
        QVERIFY(!flight->exportKML(missing));
        QVERIFY(!flight->exportEmulationData(missing));
        QVERIFY(!flight->exportThrustData(missing, 1.0, 0.1));
        // A folder of that name is no file to write either.
        QVERIFY(QDir(dir.path()).mkdir("folder.csv"));
        QVERIFY(!flight->exportCSV(dir.filePath("folder.csv")));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
    }

    void exportTraceLines()
    {
        QStringList trace;
        okukipo::setTraceHandler([&trace](const QString &line) { trace << line; });
        OKUKIPOFlight flight;
        QTemporaryDir dir;
        QVERIFY(flight.exportCSV(dir.filePath("a.csv")));
        QVERIFY(flight.exportKML(dir.filePath("a.kml")));
        okukipo::setTraceHandler([](const QString &) {});
        QCOMPARE(trace, (QStringList{"CSV path: " + dir.filePath("a.csv"), "KML path: " + dir.filePath("a.kml")}));
        QCOMPARE(fileContents(dir.filePath("a.csv")), QByteArray());
    }
};

QTEST_APPLESS_MAIN(TestExports)
#include "test_exports.moc"
