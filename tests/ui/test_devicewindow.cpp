// The device console against the virtual flight computer.

#include "devicewindowfixture.h"

#include "device/okukipodevice.h"
#include "device/sim/flightmodel.h"
#include "model/flight.h"
#include "ui/graphaxis.h"
#include "ui/graphseries.h"
#include "ui/livegpspage.h"
#include "ui/okukipoflightwidget.h"
#include "ui/qgraph.h"
#include "ui/settingswidget.h"

#include <QElapsedTimer>
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
    void liveRecordsReachCurvesAndLabels()
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
        pressure.pressure = 101325.0f;
        for (float time : {10.0f, 12.5f}) {
            pressure.time = time;
            window->pressureEventRead(pressure);
        }
        OKUEvent_Temperature temperature;
        temperature.time = 11.0f;
        temperature.temperature = 20.0f;
        window->temperatureEventRead(temperature);
        QCOMPARE(curve(studio, "liveAltitudeGraph")->points().last().x(), 2.5);
        QCOMPARE(curve(studio, "liveTemperatureGraph")->points(), QVector<QPointF>({QPointF(0.0, 68.0)}));
        QVERIFY(qAbs(curve(studio, "livePressureGraph")->points().last().y() - 29.92) < 0.01);
        QCOMPARE(studio.form().liveMSLAltitudeLabel->text(), QStringLiteral("0 ft"));
        QCOMPARE(studio.child<QGraph>(QStringLiteral("altitudePreviewGraph"))->first()->yUnit, QStringLiteral("ft"));

        OKUEvent_Status status;
        status.lineAlert[0] = status.lineContinuity[0] = status.lineContinuity[1] = status.lineOther[3] = true;
        window->statusEventRead(status);
        QCOMPARE(studio.form().liveLineALabel->styleSheet(), QStringLiteral("background-color:red;"));
        QCOMPARE(studio.form().liveLineBLabel->styleSheet(), QStringLiteral("background-color:green;"));
        QCOMPARE(studio.form().liveLineDLabel->styleSheet(), QString());

        OKUEvent_GPSTime time;
        time.timeOfWeek = 123456;
        window->gpsTimeEventRead(time);
        // A receiver without a valid time yet shows its time of week.
        QCOMPARE(studio.child<QLabel>(QStringLiteral("liveGPSTimeLabel"))->text(), QStringLiteral("123456 ms"));
    }

    // A position without a 3D fix is shown, written and placed all the same.
    void gpsPositionUpdatesLabelsKmlFileAndPlacemark()
    {
        DeviceStudio studio(false, unplugAtStart);
        auto *page = studio.child<LiveGpsPage>();
        QFile::remove(page->kmlFilePath());
        QSignalSpy scripts(page, &LiveGpsPage::mapScriptRun);
        const auto placemark = [](const char *at) {
            return QStringLiteral("try {setPlacemark(%1); } catch(e){ console.log(e); }").arg(QLatin1String(at));
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
        studio.window()->gpsLLSolEventRead(position);
        QCOMPARE(studio.child<QLabel>(QStringLiteral("liveLatLabel"))->text(), formatCoordinate(47.3977419, 0));
        QCOMPARE(studio.child<QLabel>(QStringLiteral("liveGPSMSLLabel"))->text(), QStringLiteral("1339.4 ft"));
        QCOMPARE(studio.child<QLabel>(QStringLiteral("gpsFixLabel"))->text(), QStringLiteral("None"));
        QCOMPARE(studio.child<QLabel>(QStringLiteral("satUsedLabel"))->text(), QStringLiteral("9"));
        QCOMPARE(studio.child<QProgressBar>(QStringLiteral("connectedSatsWidget"))->value(), 9);
        QFile kml(page->kmlFilePath());
        QVERIFY(kml.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(kml.readAll()),
                 QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
                                "<Placemark>\n<name>Current</name>\n<description>Current</description>\n<Point>\n"
                                "<coordinates>-8.5455938,47.397742,100</coordinates>\n</Point>\n</Placemark>\n</kml>\n"));
        QCOMPARE(scripts.takeFirst().first().toString(), placemark("47.397742, -8.545594"));
        studio.button(QStringLiteral("focusOnTarget"))->click();
        QCOMPARE(scripts.takeFirst().first().toString(), placemark("47.397742, -8.545594"));
        position.solution3D = true;
        studio.window()->gpsLLSolEventRead(position);
        QCOMPARE(studio.child<QLabel>(QStringLiteral("gpsFixLabel"))->text(), QStringLiteral("3D solution"));
    }

    void fireButtonsAskFirstAndFireTheirLine()
    {
        DeviceStudio studio;
        QVERIFY(studio.waitConnected());
        const auto fired = [&studio] { return studio.traces().filter(QStringLiteral("firing line ")); };
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

    void controlsStayDisabledWithoutAUsableDevice_data()
    {
        QTest::addColumn<bool>("plugged");
        QTest::addColumn<quint16>("firmware");
        QTest::newRow("before connection") << false << quint16(0x0220);
        QTest::newRow("after an unplug") << true << quint16(0x0220);
        QTest::newRow("outdated firmware") << true << quint16(0x021F);
    }

    void controlsStayDisabledWithoutAUsableDevice()
    {
        QFETCH(bool, plugged);
        QFETCH(quint16, firmware);
        DeviceStudio studio(true, [&](okukipo::sim::VirtualDevice &device) {
            device.setFirmwareVersion(firmware);
            if (!plugged)
                device.unplug();
        });
        studio.asker.buttons = {QMessageBox::Yes};
        if (firmware < 0x0220) {
            // The wrong version is reported once per attachment: plugged in again, it is offered again.
            studio.device().unplug();
            studio.device().plug();
            // A device with the wrong firmware is never opened, so it cannot be sent to its bootloader.
            QTRY_VERIFY(studio.askedTexts().contains(
                QStringLiteral("To continue the update, please disconnect your device and then reconnect it again.")));
            QVERIFY(studio.askedTexts().first().startsWith(QStringLiteral("Your firmware is outdated!")));
        } else if (plugged) {
            QVERIFY(studio.waitConnected());
            studio.device().unplug();
            QTRY_VERIFY(studio.consoleText().contains(QStringLiteral("Firmware disconnected.")));
        }
        QTRY_VERIFY(pictureIs(studio.form().firmConnImg_CtrlPanel, ":/OKUStudio/Resources/Disconnected.png"));
        // The end of an operation that began before, or ran into, the disconnection.
        studio.window()->enableControls(true);
        for (const QString &name : fireButtons + QStringList{"readSettings", "downloadFlights", "emulateLaunch"})
            QVERIFY2(!studio.button(name)->isEnabled(), qPrintable(name));

        // Connecting a usable device enables them and reads its settings.
        OKUKIPOSettings stored;
        std::copy_n("ABC123", 6, stored.callsign);
        studio.device().setSettings(stored);
        studio.device().setFirmwareVersion(0x0220);
        studio.device().unplug();
        studio.device().plug();
        QVERIFY(studio.waitConnected());
        QVERIFY(studio.button(QStringLiteral("fireLineD"))->isEnabled());
        QVERIFY(pictureIs(studio.form().firmConnImg_CtrlPanel, ":/OKUStudio/Resources/Connected.png"));
        QTRY_COMPARE(studio.child<QLineEdit>(QStringLiteral("HAMCallsign"))->text(), QStringLiteral("ABC123"));
    }

    void downloadLoadClearAndClose()
    {
        DeviceStudio studio;
        QVERIFY(studio.waitConnected());
        studio.window()->loadSelectedFlight();
        QCOMPARE(studio.form().mdiArea->subWindowList().size(), 1);
        QVERIFY(studio.click(QStringLiteral("downloadFlights")));
        auto *table = studio.child<QTableWidget>(QStringLiteral("flightsTable"));
        QTRY_VERIFY_WITH_TIMEOUT(studio.consoleText().contains(QStringLiteral("flight(s) downloaded.")), 30000);
        QTRY_VERIFY(table->rowCount() > 0);
        auto *progress = studio.child<QProgressBar>(QStringLiteral("downloadProgress"));
        QVERIFY(progress->maximum() > 0 && progress->value() == progress->maximum());
        QCOMPARE(table->currentRow(), 0);
        QVERIFY(studio.click(QStringLiteral("loadSelectedFlight")));
        auto *flightWindow = qobject_cast<OKUKIPOFlightWidget *>(studio.form().mdiArea->currentSubWindow()->widget());
        QVERIFY(flightWindow);
        QCOMPARE(flightWindow->windowTitle(), QStringLiteral("Untitled[*]"));
        const OKUKIPOFlight &flight = *flightWindow->flight();
        const auto firstPressure = std::find_if(flight.events.begin(), flight.events.end(), [](const OKUEvent *e) {
            return dynamic_cast<const OKUEvent_Pressure *>(e);
        });
        QVERIFY(firstPressure != flight.events.end());
        // The preview is the selected flight's pressure altitude above its ground level.
        const auto *pressure = static_cast<const OKUEvent_Pressure *>(*firstPressure);
        QCOMPARE(curve(studio, "altitudePreviewGraph")->points().first(),
                 QPointF(pressure->time, pressureAltitude(pressure->pressure) - flight.groundLevel()));

        studio.asker.buttons = {QMessageBox::Cancel, QMessageBox::Yes};
        QVERIFY(studio.click(QStringLiteral("clearDevice")));
        QCOMPARE(studio.asker.messages.last().defaultButton, QMessageBox::Cancel);
        QVERIFY(studio.click(QStringLiteral("clearDevice")));
        QTRY_VERIFY_WITH_TIMEOUT(studio.device().flashImage().isEmpty(), 10000);
        QTRY_COMPARE(table->rowCount(), 0);

        // Closing during a download stops the worker and frees the device for the next console.
        QPointer<OKUKIPOInterface> worker = studio.window()->worker();
        QPointer<QThread> thread = worker->thread();
        QVERIFY(studio.click(QStringLiteral("downloadFlights")));
        QVERIFY(studio.closeConsole());
        QTRY_VERIFY(worker.isNull() && thread.isNull());
        studio.main->openOKUKIPOInterface();
        QVERIFY(studio.waitConnected());
    }

    void emulationRefusesOneFileAndHoldsTheWindowOpenWhileItRuns()
    {
        QTemporaryDir directory;
        const QString input = directory.filePath(QStringLiteral("input.csv"));
        const QString results = directory.filePath(QStringLiteral("results.csv"));
        QVERIFY(okukipo::sim::simulatedFlight(okukipo::sim::FlightProfile())->exportEmulationData(input));
        DeviceStudio studio;
        QVERIFY(studio.waitConnected());
        studio.asker.fileNames = QStringList{input, input, input, results};
        studio.asker.buttons = {QMessageBox::Yes, QMessageBox::Ok, QMessageBox::Yes};
        QVERIFY(studio.click(QStringLiteral("emulateLaunch")));
        QCOMPARE(studio.asker.messages.last().title, QStringLiteral("The source and destination files must not be the same."));
        QCOMPARE(studio.device().emulationSteps(), 0);

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

    void writeSettingsRefusesUnreadableInput()
    {
        DeviceStudio studio;
        QVERIFY(studio.waitConnected());
        QTRY_VERIFY(studio.consoleText().contains(QStringLiteral("Reading settings")));
        studio.child<QLineEdit>(QStringLiteral("remotePIN"))->setText(QStringLiteral("12ab"));
        const QString problem = studio.child<SettingsWidget>()->inputProblem();
        QVERIFY(studio.click(QStringLiteral("writeSettings")));
        QCOMPARE(studio.askedTexts(), QStringList{problem});
        studio.child<QLineEdit>(QStringLiteral("remotePIN"))->setText(QStringLiteral("4321"));
        studio.child<QLineEdit>(QStringLiteral("HAMCallsign"))->setText(QStringLiteral("NEWONE"));
        QVERIFY(studio.click(QStringLiteral("writeSettings")));
        QTRY_COMPARE(QByteArray(studio.device().settings().callsign, 6), QByteArray("NEWONE"));
        // Written once: the refused write sent nothing.
        QTRY_COMPARE(studio.consoleText().count(QStringLiteral("Writting settings")), 1);
    }

    // Live records reach every plot, and the window never waits for the
    // device: its timers keep running while a download holds the worker and
    // the user switches tabs.
    void guiKeepsRunningWhileTheWorkerIsBusy()
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
        for (const char *graph : {"liveAltitudeGraph", "livePressureGraph", "liveAccelerationGraph", "liveGyroGraph",
                                  "liveMagGraph", "liveBatteryGraph", "liveInputGraph", "liveTemperatureGraph"})
            QTRY_VERIFY2(!curve(studio, graph)->points().isEmpty(), graph);
        // The altitude plot shows the pressure plot's altitude.
        const double pressure = curve(studio, "livePressureGraph")->points().last().y();
        QVERIFY(qAbs(curve(studio, "liveAltitudeGraph")->points().last().y() - pressureAltitude(float(pressure))) < 1);
        QVERIFY2(longestGap < 1500, qPrintable(QString::number(longestGap)));
    }
};

QTEST_MAIN(TestDeviceWindow)
#include "test_devicewindow.moc"
