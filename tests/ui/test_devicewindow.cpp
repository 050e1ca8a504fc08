// The device console against the virtual flight computer: connection,
// live data in plots and labels, GPS, downloads, emulation and unplugging.

#include "devicewindowfixture.h"

#include "device/sim/flightmodel.h"
#include "model/flight.h"
#include "ui/graphaxis.h"
#include "ui/graphseries.h"
#include "ui/livegps.h"
#include "ui/okukipoflightwidget.h"
#include "ui/qgraph.h"
#include "ui/settingswidget.h"

#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace devicewindowtest;

namespace {

GraphSeries *curve(OKUKIPOWidget *window, const char *graphName, int index = 0)
{
    return window->graph(QLatin1String(graphName))->first()->series.at(index);
}

bool pictureIs(const QLabel *label, const char *resource)
{
    return label->pixmap() && label->pixmap()->toImage() == QPixmap(QLatin1String(resource)).toImage();
}

void unplugAtStart(okukipo::sim::VirtualDevice &device)
{
    device.unplug();
}

} // namespace

class TestDeviceWindow : public QObject
{
    Q_OBJECT

private slots:
    void connectsShowsItAndReadsTheSettings();
    void liveEventsReachPlotsAndLabels_data();
    void liveEventsReachPlotsAndLabels();
    void liveCurveStartsAgainAfterAThousandPoints();
    void eachLiveCurveHasItsOwnTimeOrigin();
    void lineIndicatorsShowAlertAndContinuity();
    void gpsFixUpdatesLabelsKmlFileAndPlacemark_data();
    void gpsFixUpdatesLabelsKmlFileAndPlacemark();
    void focusBeforeAnyFixGoesToTheOrigin();
    void gpsTimeShowsLocalTimeOrMilliseconds();
    void calibrationAltitudeFromGpsAsksWithoutA3DFix();
    void outdatedFirmwareIsOfferedAnUpdateAndClosed();
    void outdatedFirmwareUpdateAsksToReconnect();
    void downloadFillsTheTableAndThePreview();
    void loadSelectedFlightOpensAFlightWindow();
    void loadWithoutSelectionDoesNothing();
    void clearDeviceAsksFirst();
    void unplugDuringLiveReadsDisconnectsAndPlugReconnects();
    void emulationRefusesTheSameFile();
    void emulationStartsAndStops();
    void writeSettingsRefusesUnreadableInput();
    void closingTheWindowStopsTheWorker();
};

void TestDeviceWindow::connectsShowsItAndReadsTheSettings()
{
    OKUKIPOSettings stored;
    std::copy_n("ABC123", 6, stored.callsign);
    DeviceStudio studio(true, [&](okukipo::sim::VirtualDevice &device) { device.setSettings(stored); });
    QSignalSpy status(studio.main->statusBar(), &QStatusBar::messageChanged);
    QVERIFY(studio.waitConnected());
    QTRY_VERIFY(status.contains({QStringLiteral("OKU KIPO connected")}));
    QVERIFY(pictureIs(studio.form().firmConnImg_CtrlPanel, ":/OKUStudio/Resources/Connected.png"));
    QTRY_COMPARE(studio.window()->findChild<QLineEdit *>(QStringLiteral("HAMCallsign"))->text(), QStringLiteral("ABC123"));
    QVERIFY(studio.consoleText().contains(QStringLiteral("is now connected")));
    for (const char *name : {"readSettings", "writeSettings", "resetSettings", "downloadFlights", "clearDevice",
                             "loadSelectedFlight", "emulateLaunch", "fireLineA", "storeAlmanacs", "calibratePressure"})
        QVERIFY2(studio.button(QLatin1String(name))->isEnabled(), name);
    QVERIFY(!studio.button(QStringLiteral("stopEmulation"))->isEnabled());
}

void TestDeviceWindow::liveEventsReachPlotsAndLabels_data()
{
    QTest::addColumn<bool>("metric");
    QTest::addColumn<QString>("lengthUnit");
    QTest::addColumn<QString>("pressureUnit");
    QTest::addColumn<QString>("pressureLabelUnit");
    QTest::addColumn<QString>("temperatureUnit");
    QTest::newRow("metric") << true << "m" << "Pa" << " kPa" << "C";
    QTest::newRow("imperial") << false << "ft" << "inHg" << " inHg" << "F";
}

void TestDeviceWindow::liveEventsReachPlotsAndLabels()
{
    QFETCH(bool, metric);
    QFETCH(QString, lengthUnit);
    QFETCH(QString, pressureUnit);
    QFETCH(QString, pressureLabelUnit);
    QFETCH(QString, temperatureUnit);
    DeviceStudio studio(metric);
    OKUKIPOWidget *window = studio.window();
    QCOMPARE(window->graph(QStringLiteral("liveAltitudeGraph"))->first()->yUnit, lengthUnit);
    QCOMPARE(window->graph(QStringLiteral("livePressureGraph"))->first()->yUnit, pressureUnit);
    QCOMPARE(window->graph(QStringLiteral("liveTemperatureGraph"))->first()->yUnit, temperatureUnit);
    QCOMPARE(window->graph(QStringLiteral("altitudePreviewGraph"))->first()->yUnit, lengthUnit);
    QCOMPARE(window->graph(QStringLiteral("liveGyroGraph"))->first()->yUnit, QStringLiteral("dps"));
    QVERIFY(studio.waitConnected());

    Ui::OKUStudioClass &form = studio.form();
    QTRY_VERIFY(form.liveMSLAltitudeLabel->text().endsWith(QLatin1Char(' ') + lengthUnit));
    QTRY_VERIFY(form.livePressureLabel->text().endsWith(pressureLabelUnit));
    QTRY_VERIFY(form.liveTemperatureLabel->text().endsWith(temperatureUnit));
    QTRY_VERIFY(form.liveAccelerationLabel->text().endsWith(QStringLiteral(" g")));
    QTRY_VERIFY(form.liveCompBatVoltageLabel->text().endsWith(QStringLiteral(" v")));
    QTRY_VERIFY(form.liveEjectBatVoltageLabel->text().endsWith(QStringLiteral(" v")));
    for (const char *graphName : {"liveAltitudeGraph", "livePressureGraph", "liveAccelerationGraph", "liveGyroGraph",
                                  "liveMagGraph", "liveBatteryGraph", "liveInputGraph", "liveTemperatureGraph"})
        QTRY_VERIFY2(!curve(window, graphName)->points().isEmpty(), graphName);

    // The altitude plot shows what the label says, in the same unit.
    const double plotted = curve(window, "liveAltitudeGraph")->points().last().y();
    const double pressure = curve(window, "livePressureGraph")->points().last().y();
    const double pascals = metric ? pressure : pressure / DisplayUnits(false).pressure(1.0);
    QVERIFY(qAbs(plotted - DisplayUnits(metric).length(pressureAltitude(float(pascals)))) < 1.0);
}

void TestDeviceWindow::liveCurveStartsAgainAfterAThousandPoints()
{
    DeviceStudio studio(true, unplugAtStart);
    OKUKIPOWidget *window = studio.window();
    GraphSeries *z = curve(window, "liveAccelerationGraph", 2);
    OKUEvent_AccelZ event;
    for (int i = 0; i < 1000; ++i) {
        event.time = 50.0f + i * 0.01f;
        event.accelZ = 1.0f;
        window->accelZEventRead(event);
    }
    QCOMPARE(z->points().size(), 1000);
    QCOMPARE(z->points().first().x(), 0.0);
    window->accelZEventRead(event);
    QVERIFY(z->points().isEmpty());
    event.time = 70.0f;
    event.accelZ = -2.5f;
    window->accelZEventRead(event);
    QCOMPARE(z->points(), QVector<QPointF>({QPointF(0.0, -2.5)}));
    QCOMPARE(studio.form().liveAccelerationLabel->text(), QStringLiteral("-2.50 g"));
}

void TestDeviceWindow::eachLiveCurveHasItsOwnTimeOrigin()
{
    DeviceStudio studio(false, unplugAtStart);
    OKUKIPOWidget *window = studio.window();
    OKUEvent_Pressure pressure;
    pressure.time = 10.0f;
    pressure.pressure = 101325.0f;
    window->pressureEventRead(pressure);
    pressure.time = 12.5f;
    window->pressureEventRead(pressure);
    OKUEvent_Temperature temperature;
    temperature.time = 11.0f;
    temperature.temperature = 20.0f;
    window->temperatureEventRead(temperature);

    QCOMPARE(curve(window, "livePressureGraph")->points().last().x(), 2.5);
    QCOMPARE(curve(window, "liveAltitudeGraph")->points().last().x(), 2.5);
    QCOMPARE(curve(window, "liveTemperatureGraph")->points(), QVector<QPointF>({QPointF(0.0, 68.0)}));
    QVERIFY(qAbs(curve(window, "livePressureGraph")->points().last().y() - 29.92) < 0.01);
    QCOMPARE(studio.form().liveTemperatureLabel->text(), QStringLiteral("68.0\u00b0 F"));
    QCOMPARE(studio.form().liveMSLAltitudeLabel->text(), QStringLiteral("0 ft"));
}

void TestDeviceWindow::lineIndicatorsShowAlertAndContinuity()
{
    DeviceStudio studio(true, unplugAtStart);
    OKUEvent_Status status;
    status.lineAlert[0] = true;
    status.lineContinuity[0] = true;
    status.lineContinuity[1] = true;
    status.lineOther[3] = true;
    studio.window()->statusEventRead(status);
    Ui::OKUStudioClass &form = studio.form();
    QCOMPARE(form.liveLineALabel->styleSheet(), QStringLiteral("background-color:red;"));
    QCOMPARE(form.liveLineBLabel->styleSheet(), QStringLiteral("background-color:green;"));
    QCOMPARE(form.liveLineCLabel->styleSheet(), QString());
    QCOMPARE(form.liveLineDLabel->styleSheet(), QString());
}

void TestDeviceWindow::gpsFixUpdatesLabelsKmlFileAndPlacemark_data()
{
    QTest::addColumn<bool>("fix");
    QTest::addColumn<QString>("fixText");
    QTest::newRow("3D fix") << true << "3D solution";
    QTest::newRow("no fix") << false << "None";
}

void TestDeviceWindow::gpsFixUpdatesLabelsKmlFileAndPlacemark()
{
    QFETCH(bool, fix);
    QFETCH(QString, fixText);
    DeviceStudio studio(false, unplugAtStart);
    OKUKIPOWidget *window = studio.window();
    QFile::remove(window->kmlFilePath());
    QSignalSpy scripts(window, &OKUKIPOWidget::mapScriptRun);

    OKUEvent_GPSLLSol position;
    position.latitude = 47.3977419;
    position.longitude = -8.5455938;
    position.altitude = 408.25f;
    position.satellites = 9;
    position.solution3D = fix;
    window->gpsLLSolEventRead(position);

    QCOMPARE(studio.child<QLabel>(QStringLiteral("liveLatLabel"))->text(), formatCoordinate(47.3977419, 0));
    QCOMPARE(studio.child<QLabel>(QStringLiteral("liveLongLabel"))->text(), formatCoordinate(-8.5455938, 0));
    QCOMPARE(studio.child<QLabel>(QStringLiteral("liveGPSMSLLabel"))->text(), QStringLiteral("1339.4 ft"));
    QCOMPARE(studio.child<QLabel>(QStringLiteral("gpsFixLabel"))->text(), fixText);
    QCOMPARE(studio.child<QLabel>(QStringLiteral("satUsedLabel"))->text(), QStringLiteral("9"));
    QCOMPARE(studio.child<QProgressBar>(QStringLiteral("connectedSatsWidget"))->value(), 9);

    QFile kml(window->kmlFilePath());
    QVERIFY(kml.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(kml.readAll()),
             QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
                            "<Placemark>\n<name>Current</name>\n<description>Current</description>\n<Point>\n"
                            "<coordinates>-8.5455938,47.397742,100</coordinates>\n"
                            "</Point>\n</Placemark>\n</kml>\n"));
    QCOMPARE(scripts.size(), 1);
    QCOMPARE(scripts.first().first().toString(),
             QStringLiteral("try {setPlacemark(47.397742, -8.545594); } catch(e){ console.log(e); }"));

    studio.button(QStringLiteral("focusOnTarget"))->click();
    QCOMPARE(scripts.size(), 3);
    QCOMPARE(scripts.at(1).first().toString(),
             QStringLiteral("try {setPlacemark(47.397742, -8.545594); } catch(e){ console.log(e); }"));
    QCOMPARE(scripts.at(2).first().toString(), QStringLiteral("try {flyTo() } catch(e){ console.log(e); }"));
}

void TestDeviceWindow::focusBeforeAnyFixGoesToTheOrigin()
{
    DeviceStudio studio(true, unplugAtStart);
    QSignalSpy scripts(studio.window(), &OKUKIPOWidget::mapScriptRun);
    studio.button(QStringLiteral("focusOnTarget"))->click();
    QCOMPARE(scripts.size(), 2);
    QCOMPARE(scripts.first().first().toString(),
             QStringLiteral("try {setPlacemark(0.000000, 0.000000); } catch(e){ console.log(e); }"));
}

void TestDeviceWindow::gpsTimeShowsLocalTimeOrMilliseconds()
{
    DeviceStudio studio(true, unplugAtStart);
    OKUEvent_GPSTime time;
    time.timeOfWeek = 123456;
    studio.window()->gpsTimeEventRead(time);
    QLabel *label = studio.child<QLabel>(QStringLiteral("liveGPSTimeLabel"));
    QCOMPARE(label->text(), QStringLiteral("123456 ms"));

    // Week 2000 began on 2018-05-06; 18 leap seconds separated GPS time from UTC then.
    time.week = 2000;
    time.timeOfWeek = 3600 * 1000 + 18 * 1000;
    time.leapSeconds = 18;
    time.timeValid = true;
    studio.window()->gpsTimeEventRead(time);
    const QDateTime utc(QDate(2018, 5, 6), QTime(1, 0), Qt::UTC);
    QCOMPARE(label->text(), utc.toLocalTime().toString(Qt::TextDate));
}

void TestDeviceWindow::calibrationAltitudeFromGpsAsksWithoutA3DFix()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    OKUKIPOInterface *worker = studio.window()->worker();
    QTRY_VERIFY(worker->latestGPSPosition().has_value());
    auto *altitude = studio.child<QDoubleSpinBox>(QStringLiteral("calibrationAltitude"));
    altitude->setValue(-42.0);
    studio.asker.buttons = {QMessageBox::No, QMessageBox::Yes};
    QVERIFY(studio.click(QStringLiteral("calibrateAltitudefromGPS")));
    const OKUEvent_GPSLLSol position = *worker->latestGPSPosition();
    if (position.solution3D) {
        QVERIFY(studio.asker.messages.isEmpty());
        QVERIFY(qAbs(altitude->value() - position.altitude) < 0.051);
        return;
    }
    QCOMPARE(studio.asker.messages.size(), 1);
    QVERIFY(studio.asker.messages.first().text.startsWith(
        QStringLiteral("The GPS fix is not within the recommended accuracy range: ")));
    QCOMPARE(studio.asker.messages.first().defaultButton, QMessageBox::No);
    QCOMPARE(altitude->value(), -42.0);
    QVERIFY(studio.click(QStringLiteral("calibrateAltitudefromGPS")));
    QVERIFY(altitude->value() != -42.0);
}

void TestDeviceWindow::outdatedFirmwareIsOfferedAnUpdateAndClosed()
{
    DeviceStudio studio(true, [](okukipo::sim::VirtualDevice &device) { device.setFirmwareVersion(0x021F); });
    studio.asker.buttons = {QMessageBox::Cancel};
    QTRY_VERIFY(!studio.asker.messages.isEmpty());
    const MessageBoxRequest outdated = studio.asker.messages.first();
    QCOMPARE(outdated.text, QStringLiteral("Your firmware is outdated! It is important for device reliability to "
                                           "always have the latest firmware."));
    QCOMPARE(outdated.buttons, QMessageBox::Yes | QMessageBox::Cancel);
    QCOMPARE(outdated.defaultButton, QMessageBox::Yes);
    QVERIFY(!studio.window()->worker()->isFirmwareOpen());
    QVERIFY(!studio.button(QStringLiteral("downloadFlights"))->isEnabled());
    QVERIFY(pictureIs(studio.form().firmConnImg_CtrlPanel, ":/OKUStudio/Resources/Disconnected.png"));
}

void TestDeviceWindow::outdatedFirmwareUpdateAsksToReconnect()
{
    DeviceStudio studio(true, [](okukipo::sim::VirtualDevice &device) { device.setFirmwareVersion(0x021F); });
    // The wrong version is reported once per attachment: plugged in again, it is offered again.
    studio.asker.buttons = {QMessageBox::Yes};
    studio.device().unplug();
    studio.device().plug();
    QTRY_VERIFY(studio.consoleText().contains(QStringLiteral("Requesting firmware update. Please wait...")));
    // A device with the wrong firmware is never opened, so it cannot be sent to its bootloader.
    QStringList texts;
    for (const MessageBoxRequest &box : qAsConst(studio.asker.messages))
        texts << box.text;
    QVERIFY(texts.contains(QStringLiteral("To continue the update, please disconnect your device and then reconnect "
                                          "it again.")));
    QVERIFY(!studio.button(QStringLiteral("updateFirmware"))->isEnabled());
    QVERIFY(!studio.window()->worker()->isFirmwareOpen());
}

void TestDeviceWindow::downloadFillsTheTableAndThePreview()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    OKUKIPOWidget *window = studio.window();
    QVERIFY(studio.click(QStringLiteral("downloadFlights")));
    QVERIFY(studio.consoleText().contains(QStringLiteral("Downloading flights...this may take a few minutes.")));
    auto *table = studio.child<QTableWidget>(QStringLiteral("flightsTable"));
    QTRY_VERIFY_WITH_TIMEOUT(studio.consoleText().contains(QStringLiteral("flight(s) downloaded.")), 30000);
    QTRY_VERIFY(table->rowCount() > 0);
    QCOMPARE(size_t(table->rowCount()), window->downloadedFlights().size());
    auto *progress = studio.child<QProgressBar>(QStringLiteral("downloadProgress"));
    QVERIFY(progress->maximum() > 0);
    QCOMPARE(progress->value(), progress->maximum());

    QStringList headers;
    for (int column = 0; column < table->columnCount(); ++column)
        headers << table->horizontalHeaderItem(column)->text();
    QCOMPARE(headers, QStringList({"Date [local]", "Latitude [deg]", "Longitude [deg]", "Flight duration [s]",
                                   "Total data time [s]"}));

    const OKUKIPOFlight &flight = *window->downloadedFlights().front();
    QCOMPARE(table->currentRow(), 0);
    const OKUEvent_GPSLLSol *position = flight.firstValidGPS();
    QCOMPARE(table->item(0, 1)->text(), position ? QString::number(position->latitude, 'g', 6) : QStringLiteral("n/a"));
    QCOMPARE(table->item(0, 2)->text(), position ? QString::number(position->longitude, 'g', 6) : QStringLiteral("n/a"));
    QCOMPARE(table->item(0, 3)->text(), flight.isFlight()
                 ? QString::number(std::max(flight.landingTime() - flight.launchTime(), 0.0f), 'g', 6)
                 : QStringLiteral("n/a"));
    QCOMPARE(table->item(0, 4)->text(),
             QString::number(double(flight.events.back()->time - flight.events.front()->time), 'g', 6));
    if (const OKUEvent_GPSTime *date = flight.flightDateEvent())
        QCOMPARE(table->item(0, 0)->text(), livegps::gpsTimeText(*date));

    // The preview is the selected flight's pressure altitude above its ground level.
    GraphSeries *preview = curve(window, "altitudePreviewGraph");
    QVERIFY(!preview->points().isEmpty());
    const OKUEvent_Pressure *firstPressure = nullptr;
    for (const OKUEvent *event : flight.events) {
        if ((firstPressure = dynamic_cast<const OKUEvent_Pressure *>(event)))
            break;
    }
    QVERIFY(firstPressure);
    QCOMPARE(preview->points().first(),
             QPointF(firstPressure->time, pressureAltitude(firstPressure->pressure) - flight.groundLevel()));
}

void TestDeviceWindow::loadSelectedFlightOpensAFlightWindow()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    QVERIFY(studio.click(QStringLiteral("downloadFlights")));
    QTRY_VERIFY_WITH_TIMEOUT(!studio.window()->downloadedFlights().empty(), 30000);
    QTRY_VERIFY(studio.button(QStringLiteral("loadSelectedFlight"))->isEnabled());
    const auto flight = studio.window()->downloadedFlights().front();
    QVERIFY(studio.click(QStringLiteral("loadSelectedFlight")));
    auto *flightWindow = qobject_cast<OKUKIPOFlightWidget *>(studio.form().mdiArea->currentSubWindow()->widget());
    QVERIFY(flightWindow);
    QCOMPARE(flightWindow->flight(), flight);
    QCOMPARE(flightWindow->windowTitle(), QStringLiteral("Untitled[*]"));
    QVERIFY(flightWindow->isWindowModified());
}

void TestDeviceWindow::loadWithoutSelectionDoesNothing()
{
    DeviceStudio studio(true, unplugAtStart);
    const int windows = studio.form().mdiArea->subWindowList().size();
    studio.window()->loadSelectedFlight();
    QCOMPARE(studio.form().mdiArea->subWindowList().size(), windows);
}

void TestDeviceWindow::clearDeviceAsksFirst()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    QVERIFY(!studio.device().flashImage().isEmpty());
    studio.asker.buttons = {QMessageBox::Cancel};
    QVERIFY(studio.click(QStringLiteral("clearDevice")));
    QCOMPARE(studio.asker.messages.last().text, QStringLiteral("Are you sure?"));
    QCOMPARE(studio.asker.messages.last().defaultButton, QMessageBox::Cancel);
    QTest::qWait(50);
    QVERIFY(!studio.device().flashImage().isEmpty());

    studio.asker.buttons = {QMessageBox::Yes};
    QSignalSpy cleared(studio.window()->worker(), &OKUKIPOInterface::flightDataCleared);
    QVERIFY(studio.click(QStringLiteral("clearDevice")));
    // The worker may signal before a wait could begin, so the count is what is checked.
    QTRY_COMPARE_WITH_TIMEOUT(cleared.count(), 1, 10000);
    QTRY_VERIFY(studio.device().flashImage().isEmpty());
}

void TestDeviceWindow::unplugDuringLiveReadsDisconnectsAndPlugReconnects()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    QTRY_VERIFY(!curve(studio.window(), "liveAltitudeGraph")->points().isEmpty());
    studio.device().unplug();
    QTRY_VERIFY(studio.consoleText().contains(QStringLiteral("Firmware disconnected.")));
    QTRY_VERIFY(!studio.button(QStringLiteral("readSettings"))->isEnabled());
    QTRY_VERIFY(pictureIs(studio.form().firmConnImg_CtrlPanel, ":/OKUStudio/Resources/Disconnected.png"));

    studio.device().plug();
    QVERIFY(studio.waitConnected());
    QTRY_VERIFY(pictureIs(studio.form().firmConnImg_CtrlPanel, ":/OKUStudio/Resources/Connected.png"));
}

void TestDeviceWindow::emulationRefusesTheSameFile()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    const QString file = QDir::temp().filePath(QStringLiteral("emulation.csv"));
    studio.asker.fileNames = QStringList{file, file};
    studio.asker.buttons = {QMessageBox::Yes};
    const int before = studio.device().emulationSteps();
    QVERIFY(studio.click(QStringLiteral("emulateLaunch")));
    QCOMPARE(studio.asker.fileCaptions, QStringList({"Emulation data", "Emulation results"}));
    QCOMPARE(studio.asker.fileFilters.first(), QStringLiteral("CSV files (*.csv)"));
    QCOMPARE(studio.asker.messages.size(), 2);
    QCOMPARE(studio.asker.messages.first().text, QStringLiteral("Would you like to perform a realtime emulation?"));
    QCOMPARE(studio.asker.messages.last().icon, QMessageBox::Critical);
    QCOMPARE(studio.asker.messages.last().title, QStringLiteral("The source and destination files must not be the same."));
    QCOMPARE(studio.asker.messages.last().text, file);
    QVERIFY(!studio.button(QStringLiteral("stopEmulation"))->isEnabled());
    QTest::qWait(100);
    QCOMPARE(studio.device().emulationSteps(), before);
}

void TestDeviceWindow::emulationStartsAndStops()
{
    QTemporaryDir directory;
    const QString input = directory.filePath(QStringLiteral("input.csv"));
    const QString results = directory.filePath(QStringLiteral("results.csv"));
    okukipo::sim::FlightProfile profile;
    QVERIFY(okukipo::sim::simulatedFlight(profile)->exportEmulationData(input));

    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    studio.asker.fileNames = QStringList{input, results};
    studio.asker.buttons = {QMessageBox::Yes};
    QSignalSpy complete(studio.window()->worker(), &OKUKIPOInterface::emulationComplete);
    QVERIFY(studio.click(QStringLiteral("emulateLaunch")));
    QVERIFY(studio.button(QStringLiteral("stopEmulation"))->isEnabled());
    QTRY_VERIFY(studio.device().emulationSteps() > 0);
    studio.button(QStringLiteral("stopEmulation"))->click();
    QVERIFY(!studio.button(QStringLiteral("stopEmulation"))->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, 10000);
    QTRY_VERIFY(studio.consoleText().contains(QStringLiteral("Emulation stoped prematurely!")));
    QVERIFY(QFile::exists(results));
}

void TestDeviceWindow::writeSettingsRefusesUnreadableInput()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    QTRY_VERIFY(studio.consoleText().contains(QStringLiteral("Reading settings")));
    studio.child<QLineEdit>(QStringLiteral("remotePIN"))->setText(QStringLiteral("12ab"));
    const QString problem = studio.child<SettingsWidget>(QStringLiteral("settings"))->inputProblem();
    QVERIFY(!problem.isEmpty());
    const OKUKIPOSettings before = studio.device().settings();
    QVERIFY(studio.click(QStringLiteral("writeSettings")));
    QCOMPARE(studio.asker.messages.size(), 1);
    QCOMPARE(studio.asker.messages.first().text, problem);
    QTest::qWait(100);
    QVERIFY(!studio.consoleText().contains(QStringLiteral("Writting settings")));
    QCOMPARE(QByteArray(studio.device().settings().callsign, 6), QByteArray(before.callsign, 6));

    studio.child<QLineEdit>(QStringLiteral("remotePIN"))->setText(QStringLiteral("4321"));
    studio.child<QLineEdit>(QStringLiteral("HAMCallsign"))->setText(QStringLiteral("NEWONE"));
    QVERIFY(studio.click(QStringLiteral("writeSettings")));
    QTRY_COMPARE(QByteArray(studio.device().settings().callsign, 6), QByteArray("NEWONE"));
    // A copy: the record is packed, the field may be unaligned.
    QCOMPARE(quint16(studio.device().settings().remotePIN), quint16(4321));
}

void TestDeviceWindow::closingTheWindowStopsTheWorker()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    QPointer<OKUKIPOInterface> worker = studio.window()->worker();
    QPointer<QThread> thread = worker->thread();
    QVERIFY(studio.click(QStringLiteral("downloadFlights")));
    studio.form().mdiArea->closeAllSubWindows();
    QTRY_VERIFY(studio.main->deviceWindow() == nullptr);
    QTRY_VERIFY(worker.isNull());
    QVERIFY(thread.isNull());
    // The device is free again for the next console.
    studio.main->openOKUKIPOInterface();
    QVERIFY(studio.waitConnected());
}

QTEST_MAIN(TestDeviceWindow)
#include "test_devicewindow.moc"
