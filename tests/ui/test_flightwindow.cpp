// The flight window's plots, flight information and map page scripts.
#include "flightwindowfixture.h"
#include "ui/qgraph.h"
#include "ui/settingswidget.h"
#include "webserver/webserver.h"

#include <QComboBox>
#include <QAbstractSpinBox>
#include <QFile>
#include <QWebEngineView>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

using namespace flightwindowtest;

namespace {

GraphSeries *curveOf(OKUKIPOFlightWidget *window, const char *graph, int index = 0)
{
    return window->graph(QLatin1String(graph))->first()->series.at(index);
}

bool hasTab(OKUKIPOFlightWidget *window, const QString &text)
{
    for (int i = 0; i < window->flightTabs()->count(); ++i)
        if (window->flightTabs()->tabText(i) == text)
            return true;
    return false;
}

QString label(OKUKIPOFlightWidget *window, const char *name)
{
    return window->findChild<QLabel *>(QLatin1String(name))->text();
}

QPointF apogeeMarker(OKUKIPOFlightWidget *window)
{
    const QList<AxisMarker> &markers = window->graph("livePressureGraph")->first()->markers;
    return std::find_if(markers.begin(), markers.end(), [](const AxisMarker &m) { return m.text == "Apogee detected"; })->position;
}

// Kalman curves hold a sample every 50 ms from the first record to the end.
int kalmanPointCount(const OKUKIPOFlight &flight)
{
    int count = 0;
    while (float(flight.events.front()->time + count * 0.05) <= flight.endTime())
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
        const QList<QGraph *> graphs = window->findChildren<QGraph *>();
        QVERIFY(graphs.size() > 10);
        for (const QGraph *graph : graphs)
            QCOMPARE(graph->view()->timelines(), window->timelines());

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

    void plotsHoldEveryRecord()
    {
        ScriptedAsker asker;
        Studio studio;
        okukipo::sim::FlightTruth truth;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight(&truth));
        const OKUKIPOFlight &flight = *window->flight();
        QCOMPARE(curveOf(window, "liveAccelerationGraph")->points().size(), int(eventsOf<OKUEvent_AccelZ>(flight).size()));
        QCOMPARE(curveOf(window, "latteralAccelerationGraph", 1)->points().size(), int(eventsOf<OKUEvent_AccelXY>(flight).size()));
        QCOMPARE(curveOf(window, "liveGyroGraph", 2)->points().size(), int(eventsOf<OKUEvent_GyroXYZ>(flight).size()));
        QCOMPARE(curveOf(window, "liveBatteryGraph", 1)->points().size(), int(eventsOf<OKUEvent_EjectionBattery>(flight).size()));
        QCOMPARE(curveOf(window, "liveInputGraph", 2)->points().size(), int(eventsOf<OKUEvent_LineC>(flight).size()));
        // A rocket standing on the pad has a tilt near 0 degrees.
        QVERIFY(std::fabs(curveOf(window, "liveTiltGraph")->points().first().y()) < 10.0);
        QCOMPARE(curveOf(window, "liveTemperatureGraph")->points().first().y(),
                 double(eventsOf<OKUEvent_Temperature>(flight).front()->temperature));
        const GraphSeries *velocity = curveOf(window, "verticalVelocityGraph");
        QCOMPARE(velocity->points().size(), kalmanPointCount(flight));
        QCOMPARE(float(velocity->points()[40].y()), OKUKIPOFlight::sampleSeries(flight.kalmanVelocity, float(velocity->points()[40].x())).value);
        // The simulated device records no radio strength: its plot is hidden.
        QVERIFY(curveOf(window, "RSSIGraph")->points().isEmpty());
        QVERIFY(window->findChild<QFrame *>("RSSIFrame")->isHidden());
    }

    // Above ground, above sea level, or the filtered altitude; the apogee marker follows.
    void altitudeCurveAndMarkerFollowTheChosenAltitude()
    {
        ScriptedAsker asker;
        Studio studio;
        okukipo::sim::FlightTruth truth;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight(&truth));
        const OKUKIPOFlight &flight = *window->flight();
        const auto pressures = eventsOf<OKUEvent_Pressure>(flight);
        const GraphSeries *altitude = curveOf(window, "livePressureGraph");
        const QVector<QPointF> aboveGround = altitude->points();
        const float ground = pressureAltitude(pressures.front()->pressure);
        QVERIFY(ground > 1000.0f);
        QCOMPARE(aboveGround.size(), int(pressures.size()));
        for (int i = 0; i < aboveGround.size(); i += 37) {
            QCOMPARE(aboveGround[i].x(), double(pressures[std::size_t(i)]->time));
            QCOMPARE(float(aboveGround[i].y()), pressureAltitude(pressures[std::size_t(i)]->pressure) - ground);
        }
        QVERIFY(std::fabs(altitude->maxY() - truth.apogeeAltitude) < 0.1 * truth.apogeeAltitude);
        const QPointF apogee = apogeeMarker(window);

        window->mslAction()->setChecked(true);
        for (int i = 0; i < aboveGround.size(); i += 53)
            QCOMPARE(float(altitude->points()[i].y()), float(aboveGround[i].y() + ground));
        QCOMPARE(float(apogeeMarker(window).y()), float(apogee.y() + ground));
        window->mslAction()->setChecked(false);

        window->kalmanFilteredAction()->setChecked(true);
        QCOMPARE(altitude->points().size(), kalmanPointCount(flight));
        const auto filtered = [&](double time) {
            return float(double(OKUKIPOFlight::sampleSeries(flight.kalmanAltitude, float(time)).value) - ground);
        };
        QCOMPARE(float(altitude->points()[100].y()), filtered(altitude->points()[100].x()));
        QCOMPARE(apogeeMarker(window), QPointF(apogee.x(), double(filtered(apogee.x()))));
        window->kalmanFilteredAction()->setChecked(false);
        QCOMPARE(altitude->points(), aboveGround);
    }

    void tabsAndFramesWithoutDataAreRemoved()
    {
        ScriptedAsker asker;
        Studio studio;
        auto noMotion = recordedFlight();
        dropEvents<OKUEvent_GyroXYZ, OKUEvent_MagXYZ>(*noMotion);
        OKUKIPOFlightWidget *window = studio.open(noMotion);
        QVERIFY(!hasTab(window, "Gyro && Magneto") && hasTab(window, "Inputs && Power"));

        auto noPower = recordedFlight();
        dropEvents<OKUEvent_LineA, OKUEvent_LineB, OKUEvent_LineC, OKUEvent_LineD, OKUEvent_ComputerBattery,
                   OKUEvent_EjectionBattery, OKUEvent_MagXYZ>(*noPower);
        window = studio.open(noPower);
        QVERIFY(hasTab(window, "Gyro && Magneto") && !hasTab(window, "Inputs && Power"));
        QVERIFY(window->findChild<QFrame *>("magFrame")->isHidden());
        QVERIFY(!window->findChild<QFrame *>("gyroFrame")->isHidden());
    }

    void informationOfAFlightAGroundTestAndNothing()
    {
        ScriptedAsker asker;
        Studio studio;
        okukipo::sim::FlightTruth truth;
        okukipo::sim::FlightProfile profile = standardProfile();
        profile.upsideDown = true;
        OKUKIPOFlightWidget *window = studio.open(recordedFlight(&truth, profile));
        // The date is when the receiver's time record was written.
        const QDateTime shown = QDateTime::fromString(label(window, "dateLabel"));
        const QDateTime recorded = profile.startTime.addMSecs(qint64(double(window->flight()->flightDateEvent()->time) * 1000));
        QVERIFY2(shown.isValid() && std::abs(shown.secsTo(recorded)) <= 1, qPrintable(label(window, "dateLabel")));
        QVERIFY(std::fabs(label(window, "latLabel").toDouble() - profile.site.latitude) < 0.01);
        const auto seconds = [&](const char *name) { return label(window, name).section(" s", 0, 0).toDouble(); };
        QVERIFY(std::fabs(seconds("totalFlightTimeLabel") - (truth.landingTime - truth.launchTime)) < 3.0);
        QVERIFY(std::fabs(seconds("boostTimeLabel") - profile.burnSeconds) < 0.5);
        const auto apogee = QRegularExpression("^(\\d+) m @ (\\d+\\.\\d\\d) s$").match(label(window, "maxAltitudeAGLLabel"));
        QVERIFY2(apogee.hasMatch(), qPrintable(label(window, "maxAltitudeAGLLabel")));
        QVERIFY(std::fabs(apogee.captured(1).toDouble() - truth.apogeeAltitude) < 0.1 * truth.apogeeAltitude);
        QVERIFY(std::fabs(apogee.captured(2).toDouble() - (truth.apogeeTime - truth.launchTime)) < 1.5);
        QCOMPARE(label(window, "orientationLabel"), QStringLiteral("RF antenna up (inverted)"));
        QVERIFY(window->findChild<QWidget *>("validFlightSpecific")->isEnabled());

        window = studio.open(recordedFlight(nullptr, standardProfile(true)));
        for (const char *name : {"boostTimeLabel", "totalFlightTimeLabel", "maxAltitudeAGLLabel", "maxVelocityLabel",
                                 "maxVerticalAccelerationLabel", "maxZRollLabel"})
            QCOMPARE(label(window, name), QStringLiteral("n/a"));
        QVERIFY(!window->findChild<QWidget *>("validFlightSpecific")->isEnabled());

        window = studio.open(std::make_shared<OKUKIPOFlight>());
        for (const char *name : {"dateLabel", "latLabel", "firmwareVersionLabel"})
            QCOMPARE(label(window, name), QStringLiteral("n/a"));
        QVERIFY(!window->findChild<QWidget *>("validKIPOSpecific")->isEnabled());
        QVERIFY(curveOf(window, "verticalVelocityGraph")->points().isEmpty());
        QVERIFY(window->graph("livePressureGraph")->first()->markers.isEmpty());
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
