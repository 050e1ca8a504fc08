// The device console against the virtual flight computer; its firmware
// update through a stand-in flashing program, and its update check against
// a local server.

#include "devicewindowfixture.h"

#include "../device/scriptedtransport.h"
#include "device/okukipodevice.h"
#include "device/sim/flightmodel.h"
#include "model/flight.h"
#include "ui/firmwareupdate.h"
#include "ui/graphaxis.h"
#include "ui/graphseries.h"
#include "ui/livegpspage.h"
#include "ui/okukipoflightwidget.h"
#include "ui/qgraph.h"
#include "ui/settingswidget.h"

#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
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

const auto unplugAtStart = [](okukipo::sim::VirtualDevice &device) { device.unplug(); };

const QStringList fireButtons{"fireLineA", "fireLineB", "fireLineC", "fireLineD"};

// Runs `operation` while a 10 ms timer switches the tabs every 100 ms; the longest gap
// between its ticks stays short only while the window never waits for the worker.
qint64 longestTimerGapWhile(const DeviceStudio &studio, const std::function<void()> &operation)
{
    auto *tabs = studio.child<QTabWidget>(QStringLiteral("mainTabs"));
    QElapsedTimer clock;
    qint64 last = 0, longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
        tabs->setCurrentIndex(int(last / 100) % tabs->count());
    });
    clock.start();
    ticker.start(10);
    operation();
    QTest::qWait(50); // a tick after a wait at the very end
    return longestGap;
}

// The firmware folder beside the test program, where the console looks for
// images and the flashing program; removed again when the test ends.
struct FirmwareFolder {
    QDir dir{QCoreApplication::applicationDirPath() + QStringLiteral("/KIPO/firmware")};
    FirmwareFolder() { dir.removeRecursively(), dir.mkpath(dir.path()); }
    ~FirmwareFolder() { dir.removeRecursively(); }

    void write(const QString &name, const QByteArray &content, QFileDevice::Permissions extra = {}) const
    {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.setPermissions(file.permissions() | extra);
    }
};

// Answers every HTTP request with one status and body, and keeps the requests.
struct UpdateServer : QTcpServer {
    QList<QByteArray> requests;
    UpdateServer(const QByteArray &status, const QByteArray &body)
    {
        connect(this, &QTcpServer::newConnection, this, [this, status, body] {
            QTcpSocket *socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, status, body] {
                const QByteArray request = socket->peek(65536);
                if (!request.contains("\r\n\r\n"))
                    return;
                requests << request;
                socket->write("HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size())
                              + "\r\nConnection: close\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        });
        listen(QHostAddress::LocalHost);
    }
};

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
        QCOMPARE(studio.form().livePressureLabel->text(), QStringLiteral("29.92 inHg"));
        QCOMPARE(studio.child<QGraph>(QStringLiteral("altitudePreviewGraph"))->first()->yUnit, QStringLiteral("ft"));
    }

    // A position without a 3D fix is shown, written and placed all the same.
    void gpsPositionUpdatesLabelsKmlFileAndPlacemark()
    {
        DeviceStudio studio(false, unplugAtStart);
        auto *page = studio.child<LiveGpsPage>();
        QFile::remove(page->kmlFilePath());
        QSignalSpy scripts(page, &LiveGpsPage::mapScriptRun);
        const auto nextScript = [&scripts] { return scripts.takeFirst().first().toString(); };
        // Before any fix the map goes to the origin.
        studio.button(QStringLiteral("focusOnTarget"))->click();
        QVERIFY(nextScript().contains(QStringLiteral("setPlacemark(0.000000, 0.000000);")));
        QVERIFY(nextScript().contains(QStringLiteral("flyTo()")));
        OKUEvent_GPSLLSol position;
        position.latitude = 47.3977419;
        position.longitude = -8.5455938;
        position.altitude = 408.25f;
        position.satellites = 9;
        studio.window()->gpsLLSolEventRead(position);
        QCOMPARE(studio.child<QLabel>(QStringLiteral("liveGPSMSLLabel"))->text(), QStringLiteral("1339.4 ft"));
        QCOMPARE(studio.child<QProgressBar>(QStringLiteral("connectedSatsWidget"))->value(), 9);
        QFile kml(page->kmlFilePath());
        QVERIFY(kml.open(QIODevice::ReadOnly) && kml.readAll().contains("<coordinates>-8.5455938,47.397742,100</coordinates>"));
        QVERIFY(nextScript().contains(QStringLiteral("setPlacemark(47.397742, -8.545594);")));
        studio.button(QStringLiteral("focusOnTarget"))->click();
        QVERIFY(nextScript().contains(QStringLiteral("setPlacemark(47.397742, -8.545594);")));
    }

    // Nothing reaches the device that the user did not confirm or could not mean.
    void firesOnlyConfirmedLinesAndWritesOnlyReadableSettings()
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

        studio.child<QLineEdit>(QStringLiteral("remotePIN"))->setText(QStringLiteral("12ab"));
        const QString problem = studio.child<SettingsWidget>()->inputProblem();
        QVERIFY(studio.click(QStringLiteral("writeSettings")));
        QCOMPARE(studio.asker.messageTexts().last(), problem);
        studio.child<QLineEdit>(QStringLiteral("remotePIN"))->setText(QStringLiteral("4321"));
        studio.child<QLineEdit>(QStringLiteral("HAMCallsign"))->setText(QStringLiteral("NEWONE"));
        QVERIFY(studio.click(QStringLiteral("writeSettings")));
        QTRY_COMPARE(QByteArray(studio.device().settings().callsign, 6), QByteArray("NEWONE"));
        // Written once: the refused write sent nothing.
        QTRY_COMPARE(studio.consoleText().count(QStringLiteral("Writting settings")), 1);
    }

    void controlsStayDisabledWithoutAUsableDevice_data()
    {
        QTest::addColumn<bool>("plugged");
        QTest::addColumn<quint16>("firmware");
        QTest::addColumn<bool>("openable");
        QTest::newRow("before connection") << false << quint16(0x0220) << true;
        QTest::newRow("after an unplug") << true << quint16(0x0220) << true;
        QTest::newRow("outdated firmware") << true << quint16(0x021F) << true;
        QTest::newRow("not openable") << false << quint16(0x0220) << false;
    }

    void controlsStayDisabledWithoutAUsableDevice()
    {
        QFETCH(bool, plugged);
        QFETCH(quint16, firmware);
        QFETCH(bool, openable);
        ScriptedTransport unopenable;
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
            QTRY_VERIFY(studio.asker.messageTexts().contains(
                QStringLiteral("To continue the update, please disconnect your device and then reconnect it again.")));
            QVERIFY(studio.asker.messageTexts().first().startsWith(QStringLiteral("Your firmware is outdated!")));
        } else if (plugged) {
            QVERIFY(studio.waitConnected());
            studio.device().unplug();
            QTRY_VERIFY(studio.consoleText().contains(QStringLiteral("Firmware disconnected.")));
        } else if (!openable) {
            // A device node the user may not open: the fix is shown on the console and in the status bar.
            unopenable.devices = {{QStringLiteral("/dev/hidraw3"), OKUVendorId, OKUFirmwareProductId, 0x0220}};
            unopenable.failOpen = true;
            unopenable.advice = QStringLiteral("Install the udev rule.");
            HIDTransport::setCurrent(&unopenable);
            studio.window()->attemptConnection();
            QTRY_COMPARE(studio.main->statusBar()->currentMessage(), unopenable.advice);
            QVERIFY(studio.consoleText().contains(unopenable.advice));
            HIDTransport::setCurrent(&studio.computer);
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
        // The window keeps running while a slow download holds the worker; then live records reach every plot.
        studio.device().delayNextReply(OKUPacketCode::ReadMemoryUsed, 4000);
        const qint64 gap = longestTimerGapWhile(studio, [&studio] {
            QVERIFY(studio.click(QStringLiteral("downloadFlights")));
            QTRY_VERIFY_WITH_TIMEOUT(studio.consoleText().contains(QStringLiteral("flight(s) downloaded.")), 60000);
        });
        QVERIFY2(gap < 1500, qPrintable(QString::number(gap)));
        for (const char *graph : {"liveAltitudeGraph", "livePressureGraph", "liveAccelerationGraph", "liveGyroGraph",
                                  "liveMagGraph", "liveBatteryGraph", "liveInputGraph", "liveTemperatureGraph"})
            QTRY_VERIFY2(!curve(studio, graph)->points().isEmpty(), graph);
        // The altitude plot shows the pressure plot's altitude.
        const float lastPressure = float(curve(studio, "livePressureGraph")->points().last().y());
        QVERIFY(qAbs(curve(studio, "liveAltitudeGraph")->points().last().y() - pressureAltitude(lastPressure)) < 1);
        auto *table = studio.child<QTableWidget>(QStringLiteral("flightsTable"));
        QVERIFY(studio.consoleText().contains("\n" + QString::number(table->rowCount()) + " flight(s) downloaded."));
        auto *progress = studio.child<QProgressBar>(QStringLiteral("downloadProgress"));
        QVERIFY(progress->maximum() > 0 && progress->value() == progress->maximum());
        QVERIFY(studio.click(QStringLiteral("loadSelectedFlight")));
        auto *flightWindow = qobject_cast<OKUKIPOFlightWidget *>(studio.form().mdiArea->currentSubWindow()->widget());
        QVERIFY(flightWindow);
        const OKUKIPOFlight &flight = *flightWindow->flight();
        const OKUEvent_Pressure *pressure = nullptr;
        for (auto event = flight.events.begin(); !pressure && event != flight.events.end(); ++event)
            pressure = dynamic_cast<const OKUEvent_Pressure *>(*event);
        QVERIFY(pressure);
        // The preview is the selected flight's pressure altitude above its ground level.
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

        // A real-time emulation holds the worker for minutes; the window keeps running and stops it.
        QSignalSpy complete(studio.window()->worker(), &OKUKIPOInterface::emulationComplete);
        const qint64 gap = longestTimerGapWhile(studio, [&] {
            QVERIFY(studio.click(QStringLiteral("emulateLaunch")));
            QTRY_VERIFY_WITH_TIMEOUT(studio.device().emulationSteps() > 200, 10000);
            // Closing now would cut the results short.
            QVERIFY(!studio.closeConsole());
            QVERIFY(studio.asker.messageTexts().last().startsWith(QStringLiteral("An emulation is running.")));
            studio.button(QStringLiteral("stopEmulation"))->click();
            QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, 10000);
        });
        QVERIFY2(gap < 1500, qPrintable(QString::number(gap)));
        QTRY_VERIFY(studio.consoleText().contains(QStringLiteral("Emulation stoped prematurely!")));
        QVERIFY(QFile::exists(results));
        QVERIFY(studio.closeConsole());
    }

    void firmwareUpdate_data()
    {
        QTest::addColumn<QStringList>("images");
        QTest::addColumn<int>("exitCode"); // of the flashing program; -1 without one
        QTest::addColumn<QString>("shown");
        const QString failed = QStringLiteral("Failed to update firmware.");
        // The first image of the 2.2x series, its output without carriage returns.
        QTest::newRow("flashed") << QStringList{"2.21", "2.20", "1.00"} << 0 << "Flashed 4096 bytes\n";
        QTest::newRow("no image") << QStringList() << 0 << "No firmware files found!\n" + failed;
        QTest::newRow("no flashing program") << QStringList{"2.20"} << -1 << failed;
        QTest::newRow("flashing failed") << QStringList{"2.20"} << 3 << failed;
    }

    void firmwareUpdate()
    {
        QFETCH(QStringList, images);
        QFETCH(int, exitCode);
        QFETCH(QString, shown);
        FirmwareFolder folder;
        for (const QString &version : images)
            folder.write("OKU KIPO Firmware " + version + ".hex.dat", ":00000001FF\n");
        // A flashing program that prints its arguments, one a line, then what it flashed.
        if (exitCode >= 0)
            folder.write(QStringLiteral("bootload"), "#!/bin/sh\nprintf '%s\\n' \"$@\"\nprintf '"
                         + QByteArray(exitCode ? "" : "Flashed 4096 bytes\\r\\n") + "'\nexit " + QByteArray::number(exitCode)
                         + "\n", QFileDevice::ExeOwner);
        DeviceStudio studio;
        QVERIFY(studio.waitConnected());
        // A failure is told at the start of flashing; only a flashing run is watched through the wait.
        if (exitCode != 0 || images.isEmpty())
            studio.child<FirmwareUpdate>()->setStartDelay(0);
        QPushButton *update = studio.button(QStringLiteral("updateFirmware"));
        update->click();
        if (exitCode == 0 && !images.isEmpty()) {
            QVERIFY(!update->isEnabled());
            QCOMPARE(studio.asker.messageTexts().size(), 1); // only the warning not to unplug: the device was open
            QTRY_COMPARE(studio.device().mode(), okukipo::sim::VirtualDevice::Mode::Bootloader);
            // Closing now would kill the flashing program mid-write.
            QVERIFY(!studio.closeConsole());
            QVERIFY(studio.asker.messageTexts().last().startsWith(QStringLiteral("A firmware update is running.")));
            QTRY_VERIFY_WITH_TIMEOUT(studio.traces().contains(QStringLiteral("Firmware update complete 0")), 15000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(studio.consoleText().contains(shown), 15000);
        QCOMPARE(studio.consoleText().contains("-p\n" + folder.dir.filePath("OKU KIPO Firmware 2.20.hex.dat") + "\n"),
                 !images.isEmpty() && exitCode >= 0);
        QTRY_VERIFY(update->isEnabled());
        QVERIFY(studio.waitConnected());
        QVERIFY(studio.closeConsole());
    }

    void updateCheckReplies_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("shown");
        const QString notice = updatecheck::updateNotice();
        QTest::newRow("update") << QByteArray("200 OK") << QByteArray("1") << QStringList{notice};
        QTest::newRow("message only") << QByteArray("200 OK") << QByteArray("0,Down tonight") << QStringList{"Down tonight"};
        QTest::newRow("empty") << QByteArray("200 OK") << QByteArray() << QStringList{};
        QTest::newRow("error page") << QByteArray("404 Not Found") << QByteArray("1,<html>Not found</html>") << QStringList{};
    }

    void updateCheckReplies()
    {
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, shown);
        UpdateServer server(status, body);
        DeviceStudio studio(true, unplugAtStart);
        studio.main->settings()->setValue(QLatin1String(updatecheck::ServerKey),
                                          QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort()));
        QSignalSpy answered(studio.child<UpdateChecker>(), &UpdateChecker::updateCheckAnswered);
        studio.window()->checkForUpdates();
        QVERIFY(answered.wait(10000));
        QCOMPARE(server.requests.size(), 1);
        // The server expects the version, 544, written twice.
        QVERIFY(server.requests.first().startsWith("GET /resources/update/OKUKIPO/updateavailable.php?v=544544 HTTP/1.1\r\n"));
        QVERIFY(server.requests.first().contains("\r\nUser-Agent: Mozilla Firefox\r\n"));
        QCOMPARE(studio.asker.messageTexts(), shown);
    }
};

QTEST_MAIN(TestDeviceWindow)
#include "test_devicewindow.moc"
