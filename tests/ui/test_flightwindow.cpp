// The flight window's plots, flight information and map page scripts.
#include "flightwindowfixture.h"
#include "device/hiddevice.h"
#include "model/gpsdate.h"
#include "ui/flightmapscripts.h"
#include "ui/qgraph.h"
#include "ui/settingswidget.h"
#include "webserver/webserver.h"

#include <QCheckBox>
#include <QFile>
#include <QWebEngineView>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

using namespace flightwindowtest;

namespace {

const QStringList graphNames = {"livePressureGraph",  "verticalVelocityGraph", "liveAccelerationGraph",
                                "latteralAccelerationGraph", "liveGyroGraph", "liveMagGraph",
                                "liveTiltGraph", "liveBatteryGraph", "liveInputGraph",
                                "liveTemperatureGraph", "RSSIGraph"};

Axis *axisOf(OKUKIPOFlightWidget *window, const char *graph)
{
    return window->graph(QLatin1String(graph))->first();
}

GraphSeries *curveOf(OKUKIPOFlightWidget *window, const char *graph, int index = 0)
{
    return axisOf(window, graph)->series.at(index);
}

QStringList tabTexts(const QTabWidget *tabs)
{
    QStringList texts;
    for (int i = 0; i < tabs->count(); ++i)
        texts << tabs->tabText(i);
    return texts;
}

QString label(OKUKIPOFlightWidget *window, const char *name)
{
    return window->findChild<QLabel *>(QLatin1String(name))->text();
}

QStringList markerTexts(const Axis *axis)
{
    QStringList texts;
    for (const AxisMarker &marker : axis->markers)
        texts << marker.text;
    return texts;
}

const AxisMarker &marker(const Axis *axis, const QString &text)
{
    return *std::find_if(axis->markers.begin(), axis->markers.end(),
                         [&](const AxisMarker &m) { return m.text == text; });
}

float pressureGround(const OKUKIPOFlight &flight)
{
    return pressureAltitude(eventsOf<OKUEvent_Pressure>(flight).front()->pressure);
}

int kalmanPointCount(const OKUKIPOFlight &flight)
{
    const double first = flight.events.front()->time;
    int count = 0;
    while (float(first + count * 0.05) <= flight.endTime())
        ++count;
    return count;
}

// A flight holding only the given 3D fixes (latitude, longitude, altitude).
std::shared_ptr<OKUKIPOFlight> flightWithFixes(const QVector<std::array<double, 3>> &fixes)
{
    auto flight = std::make_shared<OKUKIPOFlight>();
    float time = 0.0f;
    for (const auto &fix : fixes) {
        auto *gps = new OKUEvent_GPSLLSol;
        gps->time = time += 1.0f;
        gps->latitude = fix[0];
        gps->longitude = fix[1];
        gps->altitude = float(fix[2]);
        gps->solution3D = true;
        flight->events.push_back(gps);
    }
    flight->processFlight();
    return flight;
}

} // namespace

class TestFlightWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY(enterTestFolder(dir));
    }

    void formHasTheTabsPlotsAndSharedTimelines()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        QVERIFY(window);
        QCOMPARE(tabTexts(window->flightTabs()),
                 QStringList({"Altitude && Vertical Acceleration", "Lateral Acceleration && Vertical Velocity",
                              "Gyro && Magneto", "Inputs && Power", "Temperature && RSSI", "GPS",
                              "Device flight settings", "Flight info"}));
        for (const QString &name : graphNames) {
            QGraph *graph = window->graph(name);
            QVERIFY2(graph, qPrintable(name));
            QCOMPARE(graph->QList<Axis *>::size(), 1);
            QCOMPARE(graph->first()->xUnit, QStringLiteral("s"));
            QCOMPARE(graph->view()->timelines(), window->timelines());
            for (const GraphSeries *curve : graph->first()->series) {
                QVERIFY(curve->showMarkers);
                QCOMPARE(curve->markerRadius, 2.0f);
                QCOMPARE(curve->pen.widthF(), 1.0);
                QCOMPARE(curve->pen.capStyle(), Qt::SquareCap);
                QCOMPARE(curve->pen.joinStyle(), Qt::BevelJoin);
            }
        }
        QCOMPARE(curveOf(window, "latteralAccelerationGraph", 1)->name, QStringLiteral("Y"));
        QCOMPARE(curveOf(window, "latteralAccelerationGraph", 1)->pen.color(), QColor(Qt::green));
        QCOMPARE(curveOf(window, "liveInputGraph", 3)->name, QStringLiteral("Line D"));
        QCOMPARE(curveOf(window, "liveTemperatureGraph")->pen.color(), QColor(Qt::darkMagenta));
        QCOMPARE(axisOf(window, "livePressureGraph")->axisPen.color(), QColor(Qt::blue));
        QCOMPARE(axisOf(window, "liveMagGraph")->axisPen.color(), QColor(Qt::red));
        // A timeline placed on one plot is on all of them.
        window->timelines()->push_back(std::make_shared<float>(3.0f));
        QCOMPARE(window->graph("RSSIGraph")->view()->timelines()->size(), std::size_t(1));
        QVERIFY(!window->kalmanFilteredAction()->isChecked());
        QVERIFY(!window->mslAction()->isChecked());
        QCOMPARE(window->settingsEditor()->getSettings().firmwareVersion, window->flight()->settings.firmwareVersion);
    }

    void plotsHoldEveryRecordAboveGround()
    {
        ScriptedAsker asker;
        Studio studio;
        okukipo::sim::FlightTruth truth;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight(&truth));
        const OKUKIPOFlight &flight = *window->flight();

        const auto pressures = eventsOf<OKUEvent_Pressure>(flight);
        const GraphSeries *altitude = curveOf(window, "livePressureGraph");
        QCOMPARE(altitude->points().size(), int(pressures.size()));
        const float ground = pressureGround(flight);
        QCOMPARE(altitude->points().first().y(), 0.0);
        for (int i = 0; i < altitude->points().size(); i += 37) {
            QCOMPARE(altitude->points()[i].x(), double(pressures[std::size_t(i)]->time));
            QCOMPARE(float(altitude->points()[i].y()), pressureAltitude(pressures[std::size_t(i)]->pressure) - ground);
        }
        QVERIFY(std::fabs(altitude->maxY() - truth.apogeeAltitude) < 0.1 * truth.apogeeAltitude);

        QCOMPARE(curveOf(window, "liveAccelerationGraph")->points().size(), int(eventsOf<OKUEvent_AccelZ>(flight).size()));
        QCOMPARE(curveOf(window, "latteralAccelerationGraph", 1)->points().size(), int(eventsOf<OKUEvent_AccelXY>(flight).size()));
        QCOMPARE(curveOf(window, "liveGyroGraph", 2)->points().size(), int(eventsOf<OKUEvent_GyroXYZ>(flight).size()));
        QCOMPARE(curveOf(window, "liveMagGraph", 0)->points().size(), int(eventsOf<OKUEvent_MagXYZ>(flight).size()));
        QCOMPARE(curveOf(window, "liveTiltGraph")->points().size(), int(eventsOf<OKUEvent_Orientation>(flight).size()));
        QCOMPARE(curveOf(window, "liveBatteryGraph", 0)->points().size(), int(eventsOf<OKUEvent_ComputerBattery>(flight).size()));
        QCOMPARE(curveOf(window, "liveBatteryGraph", 1)->points().size(), int(eventsOf<OKUEvent_EjectionBattery>(flight).size()));
        QCOMPARE(curveOf(window, "liveInputGraph", 2)->points().size(), int(eventsOf<OKUEvent_LineC>(flight).size()));
        QCOMPARE(curveOf(window, "liveTemperatureGraph")->points().size(), int(eventsOf<OKUEvent_Temperature>(flight).size()));
        QVERIFY(!eventsOf<OKUEvent_GyroXYZ>(flight).empty());
        QVERIFY(!eventsOf<OKUEvent_LineA>(flight).empty());

        // The tilt of a rocket standing on the pad is near 0 degrees.
        QVERIFY(std::fabs(curveOf(window, "liveTiltGraph")->points().first().y()) < 10.0);
        const auto temperature = eventsOf<OKUEvent_Temperature>(flight).front();
        QCOMPARE(curveOf(window, "liveTemperatureGraph")->points().first().y(), double(temperature->temperature));

        const GraphSeries *velocity = curveOf(window, "verticalVelocityGraph");
        QCOMPARE(velocity->points().size(), kalmanPointCount(flight));
        QCOMPARE(float(velocity->points()[40].y()), OKUKIPOFlight::sampleSeries(flight.kalmanVelocity, float(velocity->points()[40].x())).value);

        // The simulated device records no radio strength: its plot is hidden.
        QVERIFY(curveOf(window, "RSSIGraph")->points().isEmpty());
        QVERIFY(window->findChild<QFrame *>("RSSIFrame")->isHidden());
        QVERIFY(!window->findChild<QFrame *>("gyroFrame")->isHidden());

        QCOMPARE(axisOf(window, "livePressureGraph")->yUnit, QStringLiteral("m"));
        QCOMPARE(axisOf(window, "verticalVelocityGraph")->yUnit, QStringLiteral("m/s"));
        QCOMPARE(axisOf(window, "liveTemperatureGraph")->yUnit, QStringLiteral("\u00b0C"));
        QCOMPARE(axisOf(window, "liveTiltGraph")->yUnit, QStringLiteral("deg."));
        QCOMPARE(altitude->rangeMaxY, 1000.0);
        QCOMPARE(altitude->rangeMaxX, 10.0);
        QCOMPARE(curveOf(window, "liveBatteryGraph", 1)->rangeMaxY, 10.0);
        QCOMPARE(curveOf(window, "liveGyroGraph")->rangeMaxY, 0.0);
    }

    void markersAppearOnceAtTheAltitudeOfTheirMoment()
    {
        ScriptedAsker asker;
        Studio studio;
        okukipo::sim::FlightTruth truth;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight(&truth));
        const Axis *axis = axisOf(window, "livePressureGraph");
        const QStringList texts = markerTexts(axis);
        for (const QString &text : texts)
            QCOMPARE(texts.count(text), 1);
        QVERIFY(texts.contains("Launch detected"));
        QVERIFY(texts.contains("Apogee detected"));
        QVERIFY(texts.contains("Line A triggered"));

        const AxisMarker &launch = marker(axis, "Launch detected");
        QVERIFY(std::fabs(launch.position.x() - truth.launchTime) < 1.0);
        QVERIFY(std::fabs(launch.position.y()) < 10.0);
        // A copy: populating again replaces the markers.
        const QPointF apogee = marker(axis, "Apogee detected").position;
        QVERIFY(std::fabs(apogee.y() - truth.apogeeAltitude) < 0.15 * truth.apogeeAltitude);

        // Populating again neither doubles nor moves them.
        window->populateData();
        QCOMPARE(markerTexts(axis), texts);
        QCOMPARE(marker(axis, "Apogee detected").position, apogee);
    }

    void mslAndKalmanMoveTheAltitudeCurveAndMarkers()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        const OKUKIPOFlight &flight = *window->flight();
        const Axis *axis = axisOf(window, "livePressureGraph");
        const GraphSeries *altitude = curveOf(window, "livePressureGraph");
        const QVector<QPointF> aboveGround = altitude->points();
        const QPointF apogee = marker(axis, "Apogee detected").position;
        const float ground = pressureGround(flight);
        QVERIFY(ground > 1000.0f);

        window->mslAction()->setChecked(true);
        QCOMPARE(altitude->points().size(), aboveGround.size());
        for (int i = 0; i < aboveGround.size(); i += 53)
            QCOMPARE(float(altitude->points()[i].y()), float(aboveGround[i].y() + ground));
        QCOMPARE(float(marker(axis, "Apogee detected").position.y()), float(apogee.y() + ground));
        window->mslAction()->setChecked(false);

        window->kalmanFilteredAction()->setChecked(true);
        QCOMPARE(altitude->points().size(), kalmanPointCount(flight));
        const QPointF sample = altitude->points()[100];
        QCOMPARE(float(sample.y()),
                 float(double(OKUKIPOFlight::sampleSeries(flight.kalmanAltitude, float(sample.x())).value) - ground));
        const float apogeeTime = float(apogee.x());
        QCOMPARE(float(marker(axis, "Apogee detected").position.y()),
                 float(double(OKUKIPOFlight::sampleSeries(flight.kalmanAltitude, apogeeTime).value) - ground));
        QCOMPARE(marker(axis, "Apogee detected").position.x(), apogee.x());

        window->kalmanFilteredAction()->setChecked(false);
        QCOMPARE(altitude->points(), aboveGround);
    }

    void imperialShowsTheSameCurvesScaled()
    {
        ScriptedAsker asker;
        std::shared_ptr<OKUKIPOFlight> metricFlight = recordedFlight();
        QVector<QPointF> metres, metresPerSecond, celsius;
        {
            Studio studio;
            OKUKIPOFlightWidget *window = studio.open(metricFlight);
            metres = curveOf(window, "livePressureGraph")->points();
            metresPerSecond = curveOf(window, "verticalVelocityGraph")->points();
            celsius = curveOf(window, "liveTemperatureGraph")->points();
        }
        Studio studio(false);
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        const QVector<QPointF> feet = curveOf(window, "livePressureGraph")->points();
        QCOMPARE(feet.size(), metres.size());
        for (int i = 0; i < feet.size(); i += 41)
            QCOMPARE(feet[i].y(), metres[i].y() * 3.28084);
        QCOMPARE(curveOf(window, "verticalVelocityGraph")->points()[90].y(), metresPerSecond[90].y() * 3.28084);
        QCOMPARE(curveOf(window, "liveTemperatureGraph")->points()[3].y(), celsius[3].y() * 1.8 + 32);
        QCOMPARE(axisOf(window, "livePressureGraph")->yUnit, QStringLiteral("ft"));
        QCOMPARE(axisOf(window, "verticalVelocityGraph")->yUnit, QStringLiteral("ft/s"));
        QCOMPARE(axisOf(window, "liveTemperatureGraph")->yUnit, QStringLiteral("\u00b0F"));
        QCOMPARE(curveOf(window, "livePressureGraph")->rangeMaxY, 3280.84);
        QCOMPARE(curveOf(window, "verticalVelocityGraph")->rangeMaxY, 164.042);
        QCOMPARE(curveOf(window, "liveTemperatureGraph")->rangeMaxY, 82.0);
        QVERIFY(!window->settingsEditor()->isMetric());
        QVERIFY(label(window, "maxAltitudeAGLLabel").contains(" ft @ "));
        QVERIFY(label(window, "maxVelocityLabel").contains(" ft/s @ "));
    }

    void tabsWithoutDataAreRemoved()
    {
        ScriptedAsker asker;
        Studio studio;
        auto noMotion = recordedFlight();
        dropEvents<OKUEvent_GyroXYZ, OKUEvent_MagXYZ>(*noMotion);
        OKUKIPOFlightWidget *window = studio.open(noMotion);
        QVERIFY(!tabTexts(window->flightTabs()).contains("Gyro && Magneto"));
        QVERIFY(tabTexts(window->flightTabs()).contains("Inputs && Power"));

        auto noPower = recordedFlight();
        dropEvents<OKUEvent_LineA, OKUEvent_LineB, OKUEvent_LineC, OKUEvent_LineD, OKUEvent_ComputerBattery,
                   OKUEvent_EjectionBattery>(*noPower);
        window = studio.open(noPower);
        QVERIFY(tabTexts(window->flightTabs()).contains("Gyro && Magneto"));
        QVERIFY(!tabTexts(window->flightTabs()).contains("Inputs && Power"));

        // Without magnetometer only its frame goes.
        auto noMagnetometer = recordedFlight();
        dropEvents<OKUEvent_MagXYZ>(*noMagnetometer);
        window = studio.open(noMagnetometer);
        QVERIFY(tabTexts(window->flightTabs()).contains("Gyro && Magneto"));
        QVERIFY(window->findChild<QFrame *>("magFrame")->isHidden());
        QVERIFY(!window->findChild<QFrame *>("gyroFrame")->isHidden());
    }

    void informationOfARealFlight()
    {
        ScriptedAsker asker;
        Studio studio;
        okukipo::sim::FlightTruth truth;
        const okukipo::sim::FlightProfile profile = standardProfile();
        OKUKIPOFlightWidget *window = studio.open(recordedFlight(&truth, profile));
        const OKUKIPOFlight &flight = *window->flight();

        // The date is when the receiver's time record was written.
        const OKUEvent_GPSTime *dateEvent = flight.flightDateEvent();
        QVERIFY(dateEvent);
        const QDateTime shown = QDateTime::fromString(label(window, "dateLabel"));
        QVERIFY2(shown.isValid(), qPrintable(label(window, "dateLabel")));
        const QDateTime recorded = profile.startTime.addMSecs(qint64(double(dateEvent->time) * 1000));
        QVERIFY2(std::abs(shown.secsTo(recorded)) <= 1, qPrintable(shown.toString() + " / " + recorded.toLocalTime().toString()));

        QCOMPARE(label(window, "latLabel"), QString::number(flight.firstValidGPS()->latitude, 'g', 6));
        QCOMPARE(label(window, "longLabel"), QString::number(flight.firstValidGPS()->longitude, 'g', 6));
        QVERIFY(std::fabs(label(window, "latLabel").toDouble() - profile.site.latitude) < 0.01);

        const QRegularExpression seconds("^-?\\d+\\.\\d\\d s$");
        for (const char *name : {"boostTimeLabel", "coastTimeLabel", "totalFlightTimeLabel"})
            QVERIFY2(seconds.match(label(window, name)).hasMatch(), qPrintable(label(window, name)));
        const double total = label(window, "totalFlightTimeLabel").section(' ', 0, 0).toDouble();
        QVERIFY(std::fabs(total - (truth.landingTime - truth.launchTime)) < 3.0);
        const double boost = label(window, "boostTimeLabel").section(' ', 0, 0).toDouble();
        QVERIFY(std::fabs(boost - profile.burnSeconds) < 0.5);

        const QRegularExpression apogee("^(\\d+) m @ (\\d+\\.\\d\\d) s$");
        const auto match = apogee.match(label(window, "maxAltitudeAGLLabel"));
        QVERIFY2(match.hasMatch(), qPrintable(label(window, "maxAltitudeAGLLabel")));
        QVERIFY(std::fabs(match.captured(1).toDouble() - truth.apogeeAltitude) < 0.1 * truth.apogeeAltitude);
        QVERIFY(std::fabs(match.captured(2).toDouble() - (truth.apogeeTime - truth.launchTime)) < 1.5);

        QVERIFY(QRegularExpression("^\\d+ km/h @ \\d+\\.\\d\\d s$").match(label(window, "maxVelocityLabel")).hasMatch());
        QVERIFY(QRegularExpression("^\\d+\\.\\d g @ \\d+\\.\\d\\d s$").match(label(window, "maxVerticalAccelerationLabel")).hasMatch());
        QVERIFY(label(window, "maxLatteralAccelerationLabel").endsWith(" s"));
        QVERIFY(QRegularExpression("^-?\\d+ dps @ \\d+\\.\\d\\d s$").match(label(window, "maxZRollLabel")).hasMatch());
        QCOMPARE(label(window, "orientationLabel"), QStringLiteral("RF antenna down"));
        QCOMPARE(label(window, "firmwareVersionLabel"), QStringLiteral("2.21"));
        QVERIFY(window->findChild<QWidget *>("validFlightSpecific")->isEnabled());
        QVERIFY(window->findChild<QWidget *>("validKIPOSpecific")->isEnabled());
    }

    void informationIsNotAvailableWhereNothingQualifies()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(groundTest());
        for (const char *name : {"boostTimeLabel", "coastTimeLabel", "totalFlightTimeLabel", "maxAltitudeAGLLabel",
                                 "maxVelocityLabel", "maxLatteralAccelerationLabel", "maxVerticalAccelerationLabel",
                                 "maxXRollLabel", "maxYRollLabel", "maxZRollLabel"})
            QCOMPARE(label(window, name), QStringLiteral("n/a"));
        QVERIFY(!window->findChild<QWidget *>("validFlightSpecific")->isEnabled());

        auto empty = std::make_shared<OKUKIPOFlight>();
        window = studio.open(empty);
        for (const char *name : {"dateLabel", "latLabel", "longLabel", "firmwareVersionLabel"})
            QCOMPARE(label(window, name), QStringLiteral("n/a"));
        QVERIFY(!window->findChild<QWidget *>("validKIPOSpecific")->isEnabled());
        QVERIFY(curveOf(window, "verticalVelocityGraph")->points().isEmpty());
        QVERIFY(axisOf(window, "livePressureGraph")->markers.isEmpty());
        QCOMPARE(window->flightTabs()->count(), 6);

        okukipo::sim::FlightProfile upsideDown = standardProfile();
        upsideDown.upsideDown = true;
        window = studio.open(recordedFlight(nullptr, upsideDown));
        QCOMPARE(label(window, "orientationLabel"), QStringLiteral("RF antenna up (inverted)"));
    }

    void informationFormats()
    {
        QCOMPARE(versionText(0x0221), QStringLiteral("2.21"));
        QCOMPARE(versionText(0x020F), QStringLiteral("2.0f"));
        QCOMPARE(versionText(0x0300), QStringLiteral("3.00"));
        QCOMPARE(versionText(0x1A10), QStringLiteral("1a.10"));

        // GPS week 2000 began on 2018-05-06 (GPS time); 18 leap seconds separate it from UTC then.
        OKUEvent_GPSTime time;
        time.week = 2000;
        time.timeOfWeek = 3600500;
        time.leapSeconds = 18;
        QCOMPARE(gpsDateTime(time), QDateTime(QDate(2018, 5, 6), QTime(0, 59, 42), Qt::UTC));
    }

    void mapScriptsOfAFlight()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        const OKUKIPOFlight &flight = *window->flight();
        QSignalSpy scripts(window, &OKUKIPOFlightWidget::mapScriptRun);
        window->findChild<QPushButton *>("populateGPSData")->click();
        QCOMPARE(scripts.size(), 4);

        std::vector<const OKUEvent_GPSLLSol *> fixes;
        for (const OKUEvent_GPSLLSol *fix : eventsOf<OKUEvent_GPSLLSol>(flight))
            if (fix->solution3D)
                fixes.push_back(fix);
        QVERIFY(fixes.size() > 10);

        const QString kml = scripts[0][0].toString();
        QVERIFY(kml.startsWith("try {plotKML('<?xml version=\"1.0\" encoding=\"UTF-8\"?><kml xmlns=\"http://earth.google.com/kml/2.1\">"
                               "<Document><name>OKU KIPO Flight</name>"));
        QVERIFY(kml.endsWith("</coordinates></LineString></Placemark></Folder></Document></kml>'); } catch(e){ console.log(e); }"));
        QVERIFY(!kml.contains('\n'));
        const QString first = QString::number(fixes.front()->longitude, 'f', 12) + ','
            + QString::number(fixes.front()->latitude, 'f', 12) + ',' + QString::number(fixes.front()->altitude, 'g', 6) + ' ';
        QVERIFY(kml.contains("<coordinates>" + first));
        const QString coordinates = kml.section("<coordinates>", 1).section("</coordinates>", 0, 0);
        QCOMPARE(coordinates.split(' ', Qt::SkipEmptyParts).size(), int(fixes.size()));

        const QString track = scripts[1][0].toString();
        QVERIFY(track.startsWith("try {plotGroudTrack([" + QString::number(fixes.front()->longitude, 'f', 12) + ','
                                 + QString::number(fixes.front()->latitude, 'f', 12) + ','));
        QVERIFY(track.endsWith(",]); } catch(e){ console.log(e); }"));

        QCOMPARE(scripts[2][0].toString(),
                 "try {setPlacemark(" + QString::number(fixes.back()->latitude, 'f', 10) + ", "
                     + QString::number(fixes.back()->longitude, 'f', 10) + "); } catch(e){ console.log(e); }");
        QCOMPARE(scripts[3][0].toString(), QStringLiteral("try { flyTo(); } catch(e){}"));

        // With Kalman-filtered altitude the track's heights come from the filter.
        scripts.clear();
        window->kalmanFilteredAltitudeBox()->click();
        QCOMPARE(scripts.size(), 3);
        const QString filtered = QString::number(fixes.front()->longitude, 'f', 12) + ','
            + QString::number(fixes.front()->latitude, 'f', 12) + ','
            + QString::number(OKUKIPOFlight::sampleSeries(flight.kalmanAltitude, fixes.front()->time).value, 'g', 6) + ' ';
        QVERIFY(scripts[0][0].toString().contains("<coordinates>" + filtered));
    }

    void mapScriptsWithoutGps()
    {
        ScriptedAsker asker;
        Studio studio;
        auto flight = recordedFlight();
        dropEvents<OKUEvent_GPSLLSol>(*flight);
        OKUKIPOFlightWidget *window = studio.open(flight);
        QSignalSpy scripts(window, &OKUKIPOFlightWidget::mapScriptRun);
        window->populateGPSData();
        QCOMPARE(scripts.size(), 2);
        QCOMPARE(scripts[0][0].toString(),
                 QStringLiteral("try {plotKML('<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                                "<kml xmlns=\"http://earth.google.com/kml/2.1\"><Document><name>OKU KIPO Flight</name>"
                                "<visibility>1</visibility><Folder><name>Track</name><Placemark><name>Aeronautic</name>"
                                "<Style><LineStyle><color>C80000FF</color><width>4</width></LineStyle></Style>"
                                "<LineString><altitudeMode>absolute</altitudeMode><coordinates></coordinates>"
                                "</LineString></Placemark></Folder></Document></kml>'); } catch(e){ console.log(e); }"));
        QCOMPARE(scripts[1][0].toString(), QStringLiteral("try {plotGroudTrack([]); } catch(e){ console.log(e); }"));
    }

    void scriptsRunInTheServedMapPage()
    {
        // A map page that only notes what it is asked.
        QTemporaryDir root;
        QFile page(root.filePath("KIPO.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><body><script>\n"
                   "var calls = [];\n"
                   "function plotKML(kml) { calls.push('plotKML ' + kml.length); }\n"
                   "function plotGroudTrack(track) { calls.push('plotGroudTrack ' + track.length); }\n"
                   "function setPlacemark(lat, lon) { calls.push('setPlacemark ' + lat.toFixed(4) + ' ' + lon.toFixed(4)); }\n"
                   "function flyTo() { calls.push('flyTo'); }\n"
                   "</script></body></html>\n");
        page.close();
        QObject serverOwner;
        WebServer server(&serverOwner, root.filePath("http_server.ini"));

        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        auto *view = window->findChild<QWebEngineView *>("webView");
        QCOMPARE(view->url(), WebServer::url("KIPO.html"));
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        QVERIFY(loaded.wait(30000));
        QVERIFY(loaded.first().first().toBool());

        QSignalSpy scripts(window, &OKUKIPOFlightWidget::mapScriptRun);
        window->findChild<QPushButton *>("populateGPSData")->click();
        const QString kmlDocument = scripts[0][0].toString().section("plotKML('", 1).section("');", 0, 0);
        const int trackEntries = scripts[1][0].toString().section('[', 1).section(']', 0, 0).split(',', Qt::SkipEmptyParts).size();
        const OKUEvent_GPSLLSol *last = nullptr;
        for (const OKUEvent_GPSLLSol *fix : eventsOf<OKUEvent_GPSLLSol>(*window->flight()))
            if (fix->solution3D)
                last = fix;
        QVERIFY(last);

        // Answers may arrive after the test is over: they write to memory they share.
        const auto calls = std::make_shared<QStringList>();
        QTRY_VERIFY_WITH_TIMEOUT(
            (view->page()->runJavaScript("calls.join('|')", [calls](const QVariant &result) {
                 *calls = result.toString().split('|');
             }),
             calls->size() == 4),
            20000);
        QCOMPARE(*calls, QStringList({"plotKML " + QString::number(kmlDocument.size()),
                                     "plotGroudTrack " + QString::number(trackEntries),
                                     "setPlacemark " + QString::number(last->latitude, 'f', 4) + ' '
                                         + QString::number(last->longitude, 'f', 4),
                                     "flyTo"}));
    }

    void groundTrackSkipsFixesThatBarelyMoved()
    {
        const auto flight = flightWithFixes({{0.0005, 0.0005, 10},   // within 0.001 of 0, 0: skipped
                                             {47.5, 8.25, 400},
                                             {47.5005, 8.2505, 410}, // barely moved
                                             {47.5, 8.252, 420},     // moved east
                                             {47.5, 8.252, 430}});
        QCOMPARE(flightmap::groundTrackCall(*flight),
                 QStringLiteral("plotGroudTrack([8.250000000000,47.500000000000,8.252000000000,47.500000000000,]);"));
        QCOMPARE(flightmap::placemarkCall(*flight), QStringLiteral("setPlacemark(47.5000000000, 8.2520000000);"));
        QVERIFY(flightmap::plotKmlCall(*flight, false)
                    .contains("<coordinates>0.000500000000,0.000500000000,10 8.250000000000,47.500000000000,400 "
                              "8.250500000000,47.500500000000,410 8.252000000000,47.500000000000,420 "
                              "8.252000000000,47.500000000000,430 </coordinates>"));
    }
};

QTEST_MAIN(TestFlightWindow)
#include "test_flightwindow.moc"
