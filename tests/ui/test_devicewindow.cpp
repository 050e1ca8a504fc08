// The device console against the virtual flight computer: connection,
// live data in plots and labels, GPS, downloads, emulation, firing lines,
// unplugging and closing.

#include "devicewindowfixture.h"

#include "device/okukipodevice.h"
#include "device/sim/flightmodel.h"
#include "model/flight.h"
#include "ui/graphaxis.h"
#include "ui/graphseries.h"
#include "ui/livegps.h"
#include "ui/livegpspage.h"
#include "ui/okukipoflightwidget.h"
#include "ui/qgraph.h"
#include "ui/settingswidget.h"

#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace devicewindowtest;

namespace {

GraphSeries *curve(const DeviceStudio &studio, const char *graphName, int index = 0)
{
    return studio.child<QGraph>(QLatin1String(graphName))->first()->series.at(index);
}

bool pictureIs(const QLabel *label, const char *resource)
{
    return label->pixmap() && label->pixmap()->toImage() == QPixmap(QLatin1String(resource)).toImage();
}

void unplugAtStart(okukipo::sim::VirtualDevice &device)
{
    device.unplug();
}

const QStringList fireButtons{"fireLineA", "fireLineB", "fireLineC", "fireLineD"};

} // namespace

class TestDeviceWindow : public QObject
{
    Q_OBJECT

private slots:
    void connectsShowsItAndReadsTheSettings();
    void liveEventsReachPlotsAndLabels_data();
    void liveEventsReachPlotsAndLabels();
    void liveCurvesStartAtZeroAndAgainAfterAThousandPoints();
    void lineIndicatorsShowAlertAndContinuity();
    void gpsFixUpdatesLabelsKmlFileAndPlacemark_data();
    void gpsFixUpdatesLabelsKmlFileAndPlacemark();
    void gpsTimeShowsLocalTimeOrMilliseconds();
    void calibrationAltitudeFromGpsAsksWithoutA3DFix();
    void fireButtonsAskFirstAndFireTheirLine();
    void controlsStayDisabledWithoutAUsableDevice_data();
    void controlsStayDisabledWithoutAUsableDevice();
    void outdatedFirmwareUpdateAsksToReconnect();
    void downloadFillsTheTableAndLoadsTheSelectedFlight();
    void clearDeviceAsksFirst();
    void emulationRefusesTheSameFile();
    void emulationStopsAndHoldsTheWindowOpenWhileItRuns();
    void writeSettingsRefusesUnreadableInput();
    void guiKeepsRunningWhileTheWorkerIsBusy();
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
    QTRY_COMPARE(studio.child<QLineEdit>(QStringLiteral("HAMCallsign"))->text(), QStringLiteral("ABC123"));
    for (const char *name : {"writeSettings", "resetSettings", "downloadFlights", "clearDevice", "loadSelectedFlight",
                             "emulateLaunch", "fireLineA", "storeAlmanacs", "calibratePressure"})
        QVERIFY2(studio.button(QLatin1String(name))->isEnabled(), name);
    QVERIFY(!studio.button(QStringLiteral("stopEmulation"))->isEnabled());
}

void TestDeviceWindow::liveEventsReachPlotsAndLabels_data()
{
    QTest::addColumn<bool>("metric");
    QTest::addColumn<QString>("lengthUnit");
    QTest::addColumn<QString>("pressureLabelUnit");
    QTest::addColumn<QString>("temperatureUnit");
    QTest::newRow("metric") << true << "m" << " kPa" << "C";
    QTest::newRow("imperial") << false << "ft" << " inHg" << "F";
}

void TestDeviceWindow::liveEventsReachPlotsAndLabels()
{
    QFETCH(bool, metric);
    QFETCH(QString, lengthUnit);
    QFETCH(QString, pressureLabelUnit);
    QFETCH(QString, temperatureUnit);
    DeviceStudio studio(metric);
    QCOMPARE(studio.child<QGraph>(QStringLiteral("liveAltitudeGraph"))->first()->yUnit, lengthUnit);
    QCOMPARE(studio.child<QGraph>(QStringLiteral("altitudePreviewGraph"))->first()->yUnit, lengthUnit);
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
        QTRY_VERIFY2(!curve(studio, graphName)->points().isEmpty(), graphName);

    // The altitude plot shows what the pressure plot says, in the same unit.
    const double plotted = curve(studio, "liveAltitudeGraph")->points().last().y();
    const double pressure = curve(studio, "livePressureGraph")->points().last().y();
    const double pascals = metric ? pressure : pressure / DisplayUnits(false).pressure(1.0);
    QVERIFY(qAbs(plotted - DisplayUnits(metric).length(pressureAltitude(float(pascals)))) < 1.0);
}

void TestDeviceWindow::liveCurvesStartAtZeroAndAgainAfterAThousandPoints()
{
    DeviceStudio studio(false, unplugAtStart);
    OKUKIPOWidget *window = studio.window();
    GraphSeries *z = curve(studio, "liveAccelerationGraph", 2);
    OKUEvent_AccelZ event;
    event.accelZ = 1.0f;
    for (int i = 0; i < 1000; ++i) {
        event.time = 50.0f + i * 0.01f;
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

    // Each curve has its own origin; 20 C is 68 F, 101325 Pa is 29.92 inHg.
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
    QCOMPARE(curve(studio, "liveAltitudeGraph")->points().last().x(), 2.5);
    QCOMPARE(curve(studio, "liveTemperatureGraph")->points(), QVector<QPointF>({QPointF(0.0, 68.0)}));
    QVERIFY(qAbs(curve(studio, "livePressureGraph")->points().last().y() - 29.92) < 0.01);
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
    auto *page = studio.child<LiveGpsPage>();
    QFile::remove(page->kmlFilePath());
    QSignalSpy scripts(page, &LiveGpsPage::mapScriptRun);
    const auto placemark = [](const char *coordinates) {
        return QStringLiteral("try {setPlacemark(%1); } catch(e){ console.log(e); }").arg(QLatin1String(coordinates));
    };
    // Before any fix the map goes to the origin.
    studio.button(QStringLiteral("focusOnTarget"))->click();
    QCOMPARE(scripts.takeFirst().first().toString(), placemark("0.000000, 0.000000"));
    QCOMPARE(scripts.takeFirst().first().toString(), QStringLiteral("try {flyTo() } catch(e){ console.log(e); }"));

    OKUEvent_GPSLLSol position;
    position.latitude = 47.3977419;
    position.longitude = -8.5455938;
    position.altitude = 408.25f;
    position.satellites = 9;
    position.solution3D = fix;
    studio.window()->gpsLLSolEventRead(position);
    QCOMPARE(studio.child<QLabel>(QStringLiteral("liveLatLabel"))->text(), formatCoordinate(47.3977419, 0));
    QCOMPARE(studio.child<QLabel>(QStringLiteral("liveLongLabel"))->text(), formatCoordinate(-8.5455938, 0));
    QCOMPARE(studio.child<QLabel>(QStringLiteral("liveGPSMSLLabel"))->text(), QStringLiteral("1339.4 ft"));
    QCOMPARE(studio.child<QLabel>(QStringLiteral("gpsFixLabel"))->text(), fixText);
    QCOMPARE(studio.child<QLabel>(QStringLiteral("satUsedLabel"))->text(), QStringLiteral("9"));
    QCOMPARE(studio.child<QProgressBar>(QStringLiteral("connectedSatsWidget"))->value(), 9);
    QFile kml(page->kmlFilePath());
    QVERIFY(kml.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(kml.readAll()),
             QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
                            "<Placemark>\n<name>Current</name>\n<description>Current</description>\n<Point>\n"
                            "<coordinates>-8.5455938,47.397742,100</coordinates>\n"
                            "</Point>\n</Placemark>\n</kml>\n"));
    QCOMPARE(scripts.takeFirst().first().toString(), placemark("47.397742, -8.545594"));
    studio.button(QStringLiteral("focusOnTarget"))->click();
    QCOMPARE(scripts.takeFirst().first().toString(), placemark("47.397742, -8.545594"));
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
    QCOMPARE(label->text(), QDateTime(QDate(2018, 5, 6), QTime(1, 0), Qt::UTC).toLocalTime().toString(Qt::TextDate));
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
    if (worker->latestGPSPosition()->solution3D) {
        QVERIFY(studio.asker.messages.isEmpty());
        QVERIFY(qAbs(altitude->value() - worker->latestGPSPosition()->altitude) < 0.051);
        return;
    }
    QVERIFY(studio.asker.messages.first().text.startsWith(
        QStringLiteral("The GPS fix is not within the recommended accuracy range: ")));
    QCOMPARE(studio.asker.messages.first().defaultButton, QMessageBox::No);
    QCOMPARE(altitude->value(), -42.0);
    QVERIFY(studio.click(QStringLiteral("calibrateAltitudefromGPS")));
    QVERIFY(altitude->value() != -42.0);
}

void TestDeviceWindow::fireButtonsAskFirstAndFireTheirLine()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    const auto fired = [&studio] { return studio.traces.lines().filter(QStringLiteral("firing line ")); };
    for (int line = 0; line < 4; ++line) {
        studio.asker.buttons = {QMessageBox::No, QMessageBox::Yes};
        QVERIFY(studio.click(fireButtons[line]));
        const MessageBoxRequest question = studio.asker.messages.last();
        QCOMPARE(question.defaultButton, QMessageBox::No);
        QVERIFY2(question.text.contains(QStringLiteral("line ") + QChar('A' + line)), qPrintable(question.text));
        QVERIFY(studio.click(fireButtons[line]));
        // Lines A-D are the device's lines 0-3; the "No" before fired nothing.
        QTRY_COMPARE(fired().size(), line + 1);
        QCOMPARE(fired().last(), QStringLiteral("firing line ") + QString::number(line));
    }
}

void TestDeviceWindow::controlsStayDisabledWithoutAUsableDevice_data()
{
    QTest::addColumn<bool>("plugged");
    QTest::addColumn<quint16>("firmware");
    QTest::addColumn<bool>("unplug");
    QTest::newRow("before connection") << false << quint16(0x0220) << false;
    QTest::newRow("after an unplug") << true << quint16(0x0220) << true;
    QTest::newRow("outdated firmware") << true << quint16(0x021F) << false;
}

void TestDeviceWindow::controlsStayDisabledWithoutAUsableDevice()
{
    QFETCH(bool, plugged);
    QFETCH(quint16, firmware);
    QFETCH(bool, unplug);
    DeviceStudio studio(true, [&](okukipo::sim::VirtualDevice &device) {
        device.setFirmwareVersion(firmware);
        if (!plugged)
            device.unplug();
    });
    studio.asker.buttons = {QMessageBox::Cancel};
    if (firmware < 0x0220) {
        QTRY_COMPARE(studio.askedTexts().value(0), QStringLiteral("Your firmware is outdated! It is important for "
                                                                  "device reliability to always have the latest "
                                                                  "firmware."));
        QCOMPARE(studio.asker.messages.first().defaultButton, QMessageBox::Yes);
        QVERIFY(!studio.window()->worker()->isFirmwareOpen());
    }
    if (unplug) {
        QVERIFY(studio.waitConnected());
        studio.device().unplug();
        QTRY_VERIFY(studio.consoleText().contains(QStringLiteral("Firmware disconnected.")));
    }
    QTRY_VERIFY(pictureIs(studio.form().firmConnImg_CtrlPanel, ":/OKUStudio/Resources/Disconnected.png"));
    // The end of an operation that began before, or ran into, the disconnection.
    studio.window()->enableControls(true);
    for (const QString &name : fireButtons + QStringList{"readSettings", "downloadFlights", "emulateLaunch"})
        QVERIFY2(!studio.button(name)->isEnabled(), qPrintable(name));

    studio.device().setFirmwareVersion(0x0220);
    studio.device().unplug();
    studio.device().plug();
    QVERIFY(studio.waitConnected());
    QVERIFY(studio.button(QStringLiteral("fireLineD"))->isEnabled());
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
    QVERIFY(studio.askedTexts().contains(
        QStringLiteral("To continue the update, please disconnect your device and then reconnect it again.")));
    QVERIFY(!studio.button(QStringLiteral("updateFirmware"))->isEnabled());
}

void TestDeviceWindow::downloadFillsTheTableAndLoadsTheSelectedFlight()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    studio.window()->loadSelectedFlight();
    QCOMPARE(studio.form().mdiArea->subWindowList().size(), 1);
    QVERIFY(studio.click(QStringLiteral("downloadFlights")));
    QVERIFY(studio.consoleText().contains(QStringLiteral("Downloading flights...this may take a few minutes.")));
    auto *table = studio.child<QTableWidget>(QStringLiteral("flightsTable"));
    QTRY_VERIFY_WITH_TIMEOUT(studio.consoleText().contains(QStringLiteral("flight(s) downloaded.")), 30000);
    QTRY_VERIFY(table->rowCount() > 0);
    auto *progress = studio.child<QProgressBar>(QStringLiteral("downloadProgress"));
    QVERIFY(progress->maximum() > 0);
    QCOMPARE(progress->value(), progress->maximum());
    QCOMPARE(table->currentRow(), 0);
    for (int column = 0; column < 5; ++column)
        QVERIFY(!table->item(0, column)->text().isEmpty());

    // The preview is the selected flight's pressure altitude above its ground level.
    GraphSeries *preview = curve(studio, "altitudePreviewGraph");
    QVERIFY(!preview->points().isEmpty());
    QTRY_VERIFY(studio.button(QStringLiteral("loadSelectedFlight"))->isEnabled());
    QVERIFY(studio.click(QStringLiteral("loadSelectedFlight")));
    auto *flightWindow = qobject_cast<OKUKIPOFlightWidget *>(studio.form().mdiArea->currentSubWindow()->widget());
    QVERIFY(flightWindow);
    QCOMPARE(flightWindow->windowTitle(), QStringLiteral("Untitled[*]"));
    const OKUKIPOFlight &flight = *flightWindow->flight();
    const auto firstPressure = std::find_if(flight.events.begin(), flight.events.end(), [](const OKUEvent *event) {
        return dynamic_cast<const OKUEvent_Pressure *>(event);
    });
    QVERIFY(firstPressure != flight.events.end());
    const auto *pressure = static_cast<const OKUEvent_Pressure *>(*firstPressure);
    QCOMPARE(preview->points().first(),
             QPointF(pressure->time, pressureAltitude(pressure->pressure) - flight.groundLevel()));
    QCOMPARE(table->item(0, 4)->text(),
             QString::number(double(flight.events.back()->time - flight.events.front()->time), 'g', 6));
}

void TestDeviceWindow::clearDeviceAsksFirst()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    QVERIFY(!studio.device().flashImage().isEmpty());
    studio.asker.buttons = {QMessageBox::Cancel, QMessageBox::Yes};
    QVERIFY(studio.click(QStringLiteral("clearDevice")));
    QCOMPARE(studio.asker.messages.last().text, QStringLiteral("Are you sure?"));
    QCOMPARE(studio.asker.messages.last().defaultButton, QMessageBox::Cancel);
    QSignalSpy cleared(studio.window()->worker(), &OKUKIPOInterface::flightDataCleared);
    QVERIFY(studio.click(QStringLiteral("clearDevice")));
    QTRY_COMPARE_WITH_TIMEOUT(cleared.count(), 1, 10000);
    QTRY_VERIFY(studio.device().flashImage().isEmpty());
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
    QCOMPARE(studio.asker.messages.size(), 2);
    QCOMPARE(studio.asker.messages.last().icon, QMessageBox::Critical);
    QCOMPARE(studio.asker.messages.last().title, QStringLiteral("The source and destination files must not be the same."));
    QVERIFY(!studio.button(QStringLiteral("stopEmulation"))->isEnabled());
    QCOMPARE(studio.device().emulationSteps(), before);
}

void TestDeviceWindow::emulationStopsAndHoldsTheWindowOpenWhileItRuns()
{
    QTemporaryDir directory;
    const QString input = directory.filePath(QStringLiteral("input.csv"));
    const QString results = directory.filePath(QStringLiteral("results.csv"));
    QVERIFY(okukipo::sim::simulatedFlight(okukipo::sim::FlightProfile())->exportEmulationData(input));
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    studio.asker.fileNames = QStringList{input, results};
    studio.asker.buttons = {QMessageBox::Yes};
    QSignalSpy complete(studio.window()->worker(), &OKUKIPOInterface::emulationComplete);
    QVERIFY(studio.click(QStringLiteral("emulateLaunch")));
    QTRY_VERIFY(studio.device().emulationSteps() > 0);
    // Closing now would cut the results short.
    QVERIFY(!studio.closeConsole());
    QVERIFY(studio.askedTexts().last().startsWith(QStringLiteral("An emulation is running.")));
    studio.button(QStringLiteral("stopEmulation"))->click();
    QVERIFY(!studio.button(QStringLiteral("stopEmulation"))->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, 10000);
    QTRY_VERIFY(studio.consoleText().contains(QStringLiteral("Emulation stoped prematurely!")));
    QVERIFY(QFile::exists(results));
    QVERIFY(studio.closeConsole());
}

void TestDeviceWindow::writeSettingsRefusesUnreadableInput()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    QTRY_VERIFY(studio.consoleText().contains(QStringLiteral("Reading settings")));
    studio.child<QLineEdit>(QStringLiteral("remotePIN"))->setText(QStringLiteral("12ab"));
    const QString problem = studio.child<SettingsWidget>(QStringLiteral("settings"))->inputProblem();
    QVERIFY(!problem.isEmpty());
    QVERIFY(studio.click(QStringLiteral("writeSettings")));
    QCOMPARE(studio.askedTexts(), QStringList{problem});
    studio.child<QLineEdit>(QStringLiteral("remotePIN"))->setText(QStringLiteral("4321"));
    studio.child<QLineEdit>(QStringLiteral("HAMCallsign"))->setText(QStringLiteral("NEWONE"));
    QVERIFY(studio.click(QStringLiteral("writeSettings")));
    QTRY_COMPARE(QByteArray(studio.device().settings().callsign, 6), QByteArray("NEWONE"));
    // Written once: the refused write sent nothing.
    QTRY_COMPARE(studio.consoleText().count(QStringLiteral("Writting settings")), 1);
}

// The window never waits for the device: its timers keep running while a
// download holds the worker and the user switches tabs.
void TestDeviceWindow::guiKeepsRunningWhileTheWorkerIsBusy()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    studio.device().delayNextReply(OKUPacketCode::ReadMemoryUsed, 4000);
    auto *tabs = studio.child<QTabWidget>(QStringLiteral("mainTabs"));
    QElapsedTimer clock;
    qint64 last = 0, longestGap = 0;
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
        if (++ticks % 10 == 0)
            tabs->setCurrentIndex(ticks / 10 % tabs->count());
    });
    QVERIFY(studio.click(QStringLiteral("downloadFlights")));
    clock.start();
    ticker.start(10);
    QTRY_VERIFY_WITH_TIMEOUT(studio.consoleText().contains(QStringLiteral("flight(s) downloaded.")), 60000);
    QVERIFY(ticks >= 10);
    QVERIFY2(longestGap < 1500, qPrintable(QString::number(longestGap)));
}

void TestDeviceWindow::closingTheWindowStopsTheWorker()
{
    DeviceStudio studio;
    QVERIFY(studio.waitConnected());
    QPointer<OKUKIPOInterface> worker = studio.window()->worker();
    QPointer<QThread> thread = worker->thread();
    QVERIFY(studio.click(QStringLiteral("downloadFlights")));
    QVERIFY(studio.closeConsole());
    QTRY_VERIFY(worker.isNull());
    QVERIFY(thread.isNull());
    // The device is free again for the next console.
    studio.main->openOKUKIPOInterface();
    QVERIFY(studio.waitConnected());
}

QTEST_MAIN(TestDeviceWindow)
#include "test_devicewindow.moc"
