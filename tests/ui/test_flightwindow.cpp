// The flight window's plots, flight information and map page scripts.
#include "flightwindowfixture.h"
#include "ui/qgraph.h"
#include "ui/settingswidget.h"
#include "webserver/webserver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QAbstractSpinBox>
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

    void timelinesAreSharedAndTheRecordedSettingsReadOnly()
    {
        ScriptedAsker asker;
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight());
        for (const QString &name : graphNames)
            QCOMPARE(window->graph(name)->view()->timelines(), window->timelines());

        // Edits of the recorded settings would go nowhere: they cannot be made.
        SettingsWidget *editor = window->settingsEditor();
        window->flightTabs()->setCurrentWidget(editor->parentWidget());
        QCOMPARE(editor->getSettings().firmwareVersion, window->flight()->settings.firmwareVersion);
        const QByteArray before = editor->getSettings().deviceBytes();
        for (QAbstractSpinBox *box : editor->findChildren<QAbstractSpinBox *>()) {
            QTest::keyClick(box, Qt::Key_Up);
            QTest::keyClicks(box, QStringLiteral("7"));
        }
        for (QComboBox *box : editor->findChildren<QComboBox *>())
            QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(editor->getSettings().deviceBytes(), before);
    }

    // Tilt from the recorded quaternion (x, y, z, w in 1/32768): upright
    // boards whose rounded components square to just over 1 read 0, not NaN.
    void tiltOfQuantisedQuaternions_data()
    {
        QTest::addColumn<QVector<int>>("xyzw");
        QTest::addColumn<double>("degrees");
        QTest::newRow("upright") << QVector<int>{0, 0, 0, 32767} << 0.63;
        QTest::newRow("90 degrees about x") << QVector<int>{23170, 0, 0, 23170} << 90.0;
        QTest::newRow("upright, turned 90 degrees") << QVector<int>{0, 0, 23170, 23170} << 0.52;
        QTest::newRow("upright, rounded up") << QVector<int>{0, 0, 23171, 23171} << 0.0;
    }

    void tiltOfQuantisedQuaternions()
    {
        QFETCH(QVector<int>, xyzw);
        QFETCH(double, degrees);
        auto flight = std::make_shared<OKUKIPOFlight>();
        auto *orientation = new OKUEvent_Orientation;
        orientation->x = float(xyzw[0]) / 32768;
        orientation->y = float(xyzw[1]) / 32768;
        orientation->z = float(xyzw[2]) / 32768;
        orientation->w = float(xyzw[3]) / 32768;
        flight->events.push_back(orientation);
        ScriptedAsker asker;
        Studio studio;
        const double tilt = curveOf(studio.open(flight), "liveTiltGraph")->points().at(0).y();
        QVERIFY2(std::fabs(tilt - degrees) < 0.05, qPrintable(QString::number(tilt)));
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
        QCOMPARE(curveOf(window, "liveTiltGraph")->points().size(), int(eventsOf<OKUEvent_Orientation>(flight).size()));
        QCOMPARE(curveOf(window, "liveBatteryGraph", 1)->points().size(), int(eventsOf<OKUEvent_EjectionBattery>(flight).size()));
        QCOMPARE(curveOf(window, "liveInputGraph", 2)->points().size(), int(eventsOf<OKUEvent_LineC>(flight).size()));

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

};

QTEST_MAIN(TestFlightWindow)
#include "test_flightwindow.moc"
