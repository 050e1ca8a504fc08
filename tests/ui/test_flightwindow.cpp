// The flight window: its plots, flight information and map page scripts, and
// what it does to its flight: trimming, zeroing, saving, exporting, the main
// window's menu actions and the close prompt.
#include "../app/nodevices.h"
#include "../app/scriptedasker.h"
#include "app/okustudio.h"
#include "app/units.h"
#include "device/sim/flightmodel.h"
#include "model/eventcast.h"
#include "model/flight.h"
#include "model/trace.h"
#include "tests/model/filecontents.h"
#include "ui/okukipoflightwidget.h"
#include "ui/programwindows.h"
#include "ui/qgraph.h"
#include "ui/settingswidget.h"
#include "webserver/webserver.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <typeinfo>

using okukipo::sim::simulatedFlight;

namespace {

// A metric main window holding only flight windows, its questions answered
// by `asker`.  Started with an empty flight (not the device console), which
// it closes.
struct Studio {
    ScriptedAsker asker;
    NoDevices transport;
    OKUStudio main{programWindows(), QStringLiteral("start.kipo")};

    Studio()
    {
        main.settings()->clear();
        main.settings()->setValue(QLatin1String(NumberSystemKey), int(Metric));
        main.form().mdiArea->closeAllSubWindows();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    ~Studio() { main.settings()->clear(); }

    // Opens the flight as a freshly downloaded one ("Untitled", unsaved).
    OKUKIPOFlightWidget *open(std::shared_ptr<OKUKIPOFlight> flight)
    {
        main.addFlight(std::move(flight), QStringLiteral("Untitled"));
        return qobject_cast<OKUKIPOFlightWidget *>(main.form().mdiArea->currentSubWindow()->widget());
    }

    QList<QMdiSubWindow *> flightSubWindows() { return main.form().mdiArea->subWindowList(); }
};

okukipo::sim::FlightProfile standardProfile(bool groundTest = false)
{
    okukipo::sim::FlightProfile profile;
    profile.padSeconds = groundTest ? 8.0 : 5.0;
    profile.groundTest = groundTest;
    return profile;
}

template<class... Events>
void dropEvents(OKUKIPOFlight &flight)
{
    auto &events = flight.events;
    const auto kept = std::stable_partition(events.begin(), events.end(), [](const OKUEvent *e) {
        return !((typeid(*e) == typeid(Events)) || ...);
    });
    std::for_each(kept, events.end(), [](OKUEvent *event) { delete event; });
    events.erase(kept, events.end());
}

template<class Event>
std::vector<const Event *> eventsOf(const OKUKIPOFlight &flight)
{
    std::vector<const Event *> found;
    for (const OKUEvent *event : flight.events)
        if (const auto *e = eventAs<Event>(event))
            found.push_back(e);
    return found;
}

std::vector<float> eventTimes(const OKUKIPOFlight &flight)
{
    std::vector<float> times;
    for (const OKUEvent *event : flight.events)
        times.push_back(event->time);
    return times;
}

GraphSeries *curveOf(OKUKIPOFlightWidget *window, const char *graph, int index = 0)
{
    return window->graph(QLatin1String(graph))->first()->series.at(index);
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

} // namespace

class TestFlightWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString path(const QString &name) const { return QDir(dir.path()).filePath(name); }
    // A path in a folder that does not exist: nothing can be written there.
    QString unwritable(const QString &name) const { return QDir(dir.path()).filePath("missing/" + name); }

private slots:
    // Settings kept apart from the user's, no trace lines: the tests check results.
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        okukipo::setTraceHandler([](const QString &) {});
        QVERIFY(dir.isValid() && QDir::setCurrent(dir.path()));
        QVERIFY(OKUKIPOFlight().save(QStringLiteral("start.kipo")));
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
        Studio studio;
        const double tilt = curveOf(studio.open(flight), "liveTiltGraph")->points().at(0).y();
        QVERIFY2(std::fabs(tilt - degrees) < 0.05, qPrintable(QString::number(tilt)));
    }

    // The plots hold every record and share their timelines.  The altitude
    // is above ground, above sea level, or the filtered one; the apogee
    // marker follows.  The recorded settings are shown read-only.
    void plotsHoldEveryRecordAndTheChosenAltitude()
    {
        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(simulatedFlight(standardProfile()));
        const OKUKIPOFlight &flight = *window->flight();
        const QList<QGraph *> graphs = window->findChildren<QGraph *>();
        QVERIFY(graphs.size() > 10);
        for (const QGraph *graph : graphs)
            QCOMPARE(graph->view()->timelines(), window->timelines());
        QCOMPARE(curveOf(window, "liveAccelerationGraph")->points().size(), int(eventsOf<OKUEvent_AccelZ>(flight).size()));
        QCOMPARE(curveOf(window, "latteralAccelerationGraph", 1)->points().size(), int(eventsOf<OKUEvent_AccelXY>(flight).size()));
        QCOMPARE(curveOf(window, "liveGyroGraph", 2)->points().size(), int(eventsOf<OKUEvent_GyroXYZ>(flight).size()));
        QCOMPARE(curveOf(window, "liveBatteryGraph", 1)->points().size(), int(eventsOf<OKUEvent_EjectionBattery>(flight).size()));
        QCOMPARE(curveOf(window, "liveInputGraph", 2)->points().size(), int(eventsOf<OKUEvent_LineC>(flight).size()));
        QCOMPARE(curveOf(window, "liveTemperatureGraph")->points().first().y(),
                 double(eventsOf<OKUEvent_Temperature>(flight).front()->temperature));
        // The filtered velocity reaches from the first record to the end.
        const GraphSeries *velocity = curveOf(window, "verticalVelocityGraph");
        QCOMPARE(float(velocity->points().first().x()), flight.events.front()->time);
        QVERIFY(std::fabs(velocity->points().last().x() - flight.endTime()) < 0.05);
        QCOMPARE(float(velocity->points()[40].y()), OKUKIPOFlight::sampleSeries(flight.kalmanVelocity, float(velocity->points()[40].x())).value);
        // The simulated device records no radio strength: its plot is hidden.
        QVERIFY(curveOf(window, "RSSIGraph")->points().isEmpty());
        QVERIFY(window->findChild<QFrame *>("RSSIFrame")->isHidden());

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
        const QPointF apogee = apogeeMarker(window);

        window->mslAction()->setChecked(true);
        for (int i = 0; i < aboveGround.size(); i += 53)
            QCOMPARE(float(altitude->points()[i].y()), float(aboveGround[i].y() + ground));
        QCOMPARE(float(apogeeMarker(window).y()), float(apogee.y() + ground));
        window->mslAction()->setChecked(false);

        window->kalmanFilteredAction()->setChecked(true);
        QCOMPARE(altitude->points().size(), velocity->points().size());
        const auto filtered = [&](double time) {
            return float(double(OKUKIPOFlight::sampleSeries(flight.kalmanAltitude, float(time)).value) - ground);
        };
        QCOMPARE(float(altitude->points()[100].y()), filtered(altitude->points()[100].x()));
        QCOMPARE(apogeeMarker(window), QPointF(apogee.x(), double(filtered(apogee.x()))));
        window->kalmanFilteredAction()->setChecked(false);
        QCOMPARE(altitude->points(), aboveGround);

        SettingsWidget *editor = window->settingsEditor();
        window->flightTabs()->setCurrentWidget(editor->parentWidget());
        QCOMPARE(editor->getSettings().firmwareVersion, flight.settings.firmwareVersion);
        const QByteArray before = editor->getSettings().deviceBytes();
        for (QAbstractSpinBox *box : editor->findChildren<QAbstractSpinBox *>()) {
            QTest::keyClick(box, Qt::Key_Up);
            QTest::keyClicks(box, QStringLiteral("7"));
        }
        for (QComboBox *box : editor->findChildren<QComboBox *>())
            QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(editor->getSettings().deviceBytes(), before);
    }

    // The information of a flight, a ground test and nothing; tabs and
    // frames without data are removed.
    void informationAndPlotsShowWhatWasRecorded()
    {
        Studio studio;
        okukipo::sim::FlightTruth truth;
        okukipo::sim::FlightProfile profile = standardProfile();
        profile.upsideDown = true;
        auto noMotion = simulatedFlight(profile, &truth);
        dropEvents<OKUEvent_GyroXYZ, OKUEvent_MagXYZ>(*noMotion);
        OKUKIPOFlightWidget *window = studio.open(noMotion);
        const auto tabShown = [&](const char *tab) {
            return window->flightTabs()->indexOf(window->findChild<QWidget *>(QLatin1String(tab))) >= 0;
        };
        QVERIFY(!tabShown("gyroAndMagTab") && tabShown("inputsAndPowerTab"));
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

        auto noPower = simulatedFlight(standardProfile(true));
        dropEvents<OKUEvent_LineA, OKUEvent_LineB, OKUEvent_LineC, OKUEvent_LineD, OKUEvent_ComputerBattery,
                   OKUEvent_EjectionBattery, OKUEvent_MagXYZ>(*noPower);
        window = studio.open(noPower);
        QVERIFY(tabShown("gyroAndMagTab") && !tabShown("inputsAndPowerTab"));
        QVERIFY(window->findChild<QFrame *>("magFrame")->isHidden());
        QVERIFY(!window->findChild<QFrame *>("gyroFrame")->isHidden());
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

    // The window's scripts run in the served map page (here one that notes
    // what it is asked), the placemark at the last 3D fix, latitude first.
    void scriptsRunInTheServedMapPage()
    {
        QTemporaryDir root;
        QVERIFY(writeFile(root.filePath("KIPO.html"),
                          "<html><body><script>\nvar calls = [];\n"
                          "function plotKML(kml) { calls.push('plotKML ' + kml.endsWith('</kml>')); }\n"
                          "function plotGroudTrack(track) { calls.push('plotGroudTrack ' + (track.length >= 2)); }\n"
                          "function setPlacemark(lat, lon) { calls.push(lat.toFixed(4) + ' ' + lon.toFixed(4)); }\n"
                          "function flyTo() { calls.push('flyTo'); }\n</script></body></html>\n"));
        QObject serverOwner;
        WebServer server(&serverOwner, root.filePath("http_server.ini"));

        Studio studio;
        OKUKIPOFlightWidget *window = studio.open(simulatedFlight(standardProfile()));
        auto *view = window->findChild<QWebEngineView *>("webView");
        QCOMPARE(view->url(), WebServer::url("KIPO.html"));
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        QVERIFY(loaded.wait(30000));
        QVERIFY(loaded.first().first().toBool());
        window->findChild<QPushButton *>("populateGPSData")->click();
        const OKUEvent_GPSLLSol *last = nullptr;
        for (const OKUEvent_GPSLLSol *fix : eventsOf<OKUEvent_GPSLLSol>(*window->flight()))
            last = fix->solution3D ? fix : last;
        QVERIFY(last);

        // Answers may arrive after the test is over: they write to memory they share.
        const auto calls = std::make_shared<QStringList>();
        QTRY_VERIFY_WITH_TIMEOUT(
            (view->page()->runJavaScript("calls.join('|')", [calls](const QVariant &result) {
                 *calls = result.toString().split('|');
             }),
             calls->size() == 4),
            20000);
        QCOMPARE(*calls, QStringList({"plotKML true", "plotGroudTrack true",
                                     QString::number(last->latitude, 'f', 4) + ' ' + QString::number(last->longitude, 'f', 4),
                                     "flyTo"}));
    }

    // Auto-trim puts the launch at 0 and keeps 10 s after the landing, but
    // refuses a ground test; a cancelled question leaves the flight alone.
    void trimmingMovesTheTimeAxis()
    {
        Studio studio;
        ScriptedAsker &asker = studio.asker;
        const Ui::OKUStudioClass &form = studio.main.form();
        // Recorded long enough on the ground that there is something to cut.
        okukipo::sim::FlightProfile profile = standardProfile();
        profile.groundSeconds = 20.0;
        OKUKIPOSettings settings = okukipo::sim::factorySettings();
        settings.groundWriteMultiple = 10;
        settings.updateChecksum();
        const OKUKIPOFlight &flight = *studio.open(simulatedFlight(profile, nullptr, settings))->flight();
        QVERIFY(flight.events.back()->time > flight.landingTime() + 10.0f);
        form.actionAutoTrimAll->trigger();
        QVERIFY(asker.messages.isEmpty());
        QVERIFY(std::fabs(flight.launchTime()) < 0.1f);
        QVERIFY(flight.events.front()->time < -4.0f);
        QVERIFY(flight.events.back()->time <= flight.landingTime() + 10.5f);

        OKUKIPOFlightWidget *window = studio.open(simulatedFlight(standardProfile(true)));
        window->setWindowModified(false);
        const OKUKIPOFlight &padTest = *window->flight();
        const std::vector<float> before = eventTimes(padTest);
        form.actionAutoTrimAll->trigger();
        QCOMPARE(asker.messages.size(), 1);
        QCOMPARE(asker.messages[0].icon, QMessageBox::Critical);
        asker.numbers = {2.0};
        form.actionTrimTime->trigger();
        QCOMPARE(asker.numberStarts, QList<double>({before.front(), before.back()}));
        QCOMPARE(eventTimes(padTest), before);
        QVERIFY(!window->isWindowModified());

        asker.numbers = {2.0, 6.0, 1.0};
        form.actionTrimTime->trigger();
        QVERIFY(padTest.events.front()->time < 2.0f && padTest.events[1]->time >= 2.0f);
        QVERIFY(padTest.events.back()->time <= 6.0f);
        QVERIFY(window->isWindowModified());
        const float lastTrimmed = padTest.events.back()->time;
        form.actionZeroTime->trigger();
        QCOMPARE(padTest.events.back()->time, lastTrimmed - 1.0f);
        QCOMPARE(float(curveOf(window, "livePressureGraph")->points().last().x()),
                 eventsOf<OKUEvent_Pressure>(padTest).back()->time);
    }

    // Failures are reported as such and leave the flight unsaved; the
    // thrust sheet refuses a rocket that would weigh nothing after burnout.
    // Only the window in front answers the menu, and a closed one no longer.
    void savesAndExportsWriteTheirFilesOrSayTheyCouldNot()
    {
        Studio studio;
        ScriptedAsker &asker = studio.asker;
        OKUKIPOFlightWidget *back = studio.open(std::make_shared<OKUKIPOFlight>());
        OKUKIPOFlightWidget *window = studio.open(simulatedFlight(standardProfile()));
        const Ui::OKUStudioClass &form = studio.main.form();
        const QStringList names{"f.kipo", "a.kml", "a.csv", "b.csv", "c.csv"};
        for (const QString &name : names)
            asker.fileNames << unwritable(name);
        for (const QString &name : names)
            asker.fileNames << path(name);
        for (int round = 0; round < 2; ++round) {
            form.actionSave_As->trigger();
            window->exportKML();
            form.actionExport_to_Excel->trigger();
            form.actionExport_emulation_data->trigger();
            asker.numbers = {2.5, 0.4};
            form.actionExport_thrust_data->trigger();
            QCOMPARE(window->isWindowModified(), round == 0);
        }
        QCOMPARE(window->windowTitle(), QStringLiteral("f.kipo[*]"));
        QCOMPARE(asker.messageTexts().filter("Could not").size(), 5);
        QCOMPARE(asker.messages.size(), 10);
        for (const QString &name : names)
            QVERIFY2(QFile(path(name)).size() > 100, qPrintable(name));
        asker.numbers = {1.0, 1.0};
        window->exportThrustData();
        QCOMPARE(asker.fileCaptions.size(), 10);
        QCOMPARE(asker.messages.size(), 11);
        QVERIFY(back->windowFilePath().isEmpty());

        form.mdiArea->setActiveSubWindow(studio.flightSubWindows().last());
        asker.buttons = {QMessageBox::No};
        form.mdiArea->closeActiveSubWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(studio.flightSubWindows().size(), 1);
        asker.fileNames = QStringList{path("again.kipo")};
        form.actionSave_As->trigger();
        QCOMPARE(back->windowFilePath(), path("again.kipo"));
    }

    // Closing the program closes each flight through its prompt: Yes saves
    // (to the flight's own file if it has one, notes included), No discards,
    // and Cancel or a save that did not happen keeps the program open.
    void closingTheProgramAsksForEveryUnsavedFlight_data()
    {
        QTest::addColumn<bool>("hasFile");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("saveAs");
        QTest::addColumn<bool>("quits");
        QTest::addColumn<int>("fileDialogs");
        QTest::newRow("Cancel") << false << int(QMessageBox::Cancel) << "" << false << 0;
        QTest::newRow("No") << false << int(QMessageBox::No) << "" << true << 0;
        QTest::newRow("Yes, save dialog cancelled") << false << int(QMessageBox::Yes) << "" << false << 1;
        QTest::newRow("Yes, save failed") << false << int(QMessageBox::Yes) << unwritable("x.kipo") << false << 1;
        QTest::newRow("Yes, saved as") << false << int(QMessageBox::Yes) << path("new.kipo") << true << 1;
        QTest::newRow("Yes, saved to its file") << true << int(QMessageBox::Yes) << "" << true << 0;
    }

    void closingTheProgramAsksForEveryUnsavedFlight()
    {
        QFETCH(bool, hasFile);
        QFETCH(int, answer);
        QFETCH(QString, saveAs);
        QFETCH(bool, quits);
        QFETCH(int, fileDialogs);
        Studio studio;
        ScriptedAsker &asker = studio.asker;
        OKUKIPOFlightWidget *window = studio.open(simulatedFlight(standardProfile()));
        studio.open(simulatedFlight(standardProfile()))->setWindowModified(false);
        const QString ownFile = path(QStringLiteral("own.kipo"));
        if (hasFile) {
            asker.fileNames = QStringList{ownFile};
            window->saveAs();
            window->notesEditor()->setPlainText(QStringLiteral("changed\nafter saving"));
            asker.fileCaptions.clear();
        }
        asker.messages.clear();
        asker.buttons = {QMessageBox::StandardButton(answer)};
        asker.fileNames = saveAs.isEmpty() ? QStringList() : QStringList{saveAs};

        QCOMPARE(studio.main.close(), quits);
        QCOMPARE(asker.messages.value(0).text, QStringLiteral("Flight not saved"));
        QCOMPARE(asker.fileCaptions.size(), fileDialogs);
        QCOMPARE(studio.flightSubWindows().size(), quits ? 0 : 2);
        if (quits && answer == QMessageBox::Yes) {
            OKUKIPOFlight saved;
            QVERIFY(saved.load(hasFile ? ownFile : saveAs));
            QCOMPARE(saved.notes, std::string(hasFile ? "changed\nafter saving" : ""));
        }
    }
};

QTEST_MAIN(TestFlightWindow)
#include "test_flightwindow.moc"
