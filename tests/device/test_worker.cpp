#include "device/sim/flightmodel.h"
#include "model/flashparser.h"
#include "workerharness.h"

#include <QSignalSpy>
#include <QtTest>
#include <cmath>

using okukipo::sim::VirtualDevice;

namespace {

const QList<bool> OneOperation = {false, true};

QString errorLine(const char *text)
{
    return QStringLiteral("Error: ") + QLatin1String(text) + QLatin1Char('\n');
}

} // namespace

class TestWorker : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WorkerHarness> harness;

    WorkerHarness &h() { return *harness; }
    OKUKIPOInterface *worker() { return harness->worker; }
    QStringList &console() { return harness->console.lines; }
    QList<bool> &controls() { return harness->console.controls; }

    void connected()
    {
        h().connectFirmware();
        QVERIFY(worker()->isFirmwareOpen());
        h().clearRecords();
    }

private slots:
    void init() { harness = std::make_unique<WorkerHarness>(); }
    void cleanup() { harness.reset(); }

    // ------------------------------------------------------------ live reads
    // First, while the process-wide call counter is still 0.

    void liveScheduleTable()
    {
        QCOMPARE(OKUKIPOInterface::liveReadSchedule(0), QList<int>({2, 11, 12, 13, 3, 4, 5, 6, 7, 8, 9, 10, 16, 14, 18, 21}));
        QCOMPARE(OKUKIPOInterface::liveReadSchedule(1), QList<int>());
        QCOMPARE(OKUKIPOInterface::liveReadSchedule(2), QList<int>({2, 11, 12, 21}));
        QCOMPARE(OKUKIPOInterface::liveReadSchedule(4), QList<int>({2, 11, 12, 13, 21}));
        QCOMPARE(OKUKIPOInterface::liveReadSchedule(20), QList<int>({2, 11, 12, 13, 3, 7, 8, 9, 10, 16, 14, 18, 21}));
        QCOMPARE(OKUKIPOInterface::liveReadSchedule(50), QList<int>({2, 11, 12, 4, 5, 6, 21}));
    }

    void liveReadsFollowTheSchedule()
    {
        connected();
        QSignalSpy accelZ(worker(), &OKUKIPOInterface::accelZEventRead);
        QSignalSpy accelXY(worker(), &OKUKIPOInterface::accelXYEventRead);
        QSignalSpy gyro(worker(), &OKUKIPOInterface::gyroXYZEventRead);
        QSignalSpy magnetometer(worker(), &OKUKIPOInterface::magXYZEventRead);
        QSignalSpy pressure(worker(), &OKUKIPOInterface::pressureEventRead);
        QSignalSpy computerBattery(worker(), &OKUKIPOInterface::compBatEventRead);
        QSignalSpy ejectionBattery(worker(), &OKUKIPOInterface::ejectBatEventRead);
        QSignalSpy temperature(worker(), &OKUKIPOInterface::temperatureEventRead);
        QSignalSpy lineA(worker(), &OKUKIPOInterface::inputAEventRead);
        QSignalSpy lineD(worker(), &OKUKIPOInterface::inputDEventRead);
        QSignalSpy status(worker(), &OKUKIPOInterface::statusEventRead);
        QSignalSpy gps(worker(), &OKUKIPOInterface::gpsLLSolEventRead);
        QSignalSpy gpsTime(worker(), &OKUKIPOInterface::gpsTimeEventRead);

        // A full queue refuses the second round without using up its turn.
        OKUKIPOInterface *w = worker();
        h().onWorker([w] {
            w->readLiveEvents();
            w->readLiveEvents();
            w->processReadEvents();
            w->processReadEvents();
        });
        for (QSignalSpy *spy : {&accelZ, &accelXY, &gyro, &magnetometer, &pressure, &computerBattery, &ejectionBattery,
                                &temperature, &lineA, &lineD, &status, &gps, &gpsTime})
            QCOMPARE(spy->count(), 1);
        const OKUQuaternion orientation = worker()->orientation();
        QVERIFY(qAbs(orientation.w * orientation.w + orientation.x * orientation.x + orientation.y * orientation.y
                     + orientation.z * orientation.z - 1.0f) < 0.01f);
        QVERIFY(worker()->latestGPSPosition().has_value());
        const auto fix = qvariant_cast<OKUEvent_GPSLLSol>(gps.first().first());
        QCOMPARE(worker()->latestGPSPosition()->latitude, fix.latitude);
        QVERIFY(pressure.first().first().value<OKUEvent_Pressure>().pressure > 50000);

        h().onWorker([w] {
            w->readLiveEvents();
            w->processReadEvents();
        });
        QCOMPARE(accelZ.count(), 1);
        h().onWorker([w] {
            w->readLiveEvents();
            w->processReadEvents();
        });
        QCOMPARE(accelZ.count(), 2);
        QCOMPARE(accelXY.count(), 2);
        QCOMPARE(gyro.count(), 2);
        QCOMPARE(magnetometer.count(), 1);
        QCOMPARE(pressure.count(), 1);
        QVERIFY(h().console.lines.isEmpty());
        QVERIFY(controls().isEmpty());
    }

    void thePollTimerDrainsTheQueue()
    {
        connected();
        QSignalSpy accelZ(worker(), &OKUKIPOInterface::accelZEventRead);
        h().call("readLiveEvents");
        h().call("readLiveEvents");
        QTRY_VERIFY(accelZ.count() >= 1);
    }

    void singleLiveReads()
    {
        connected();
        QSignalSpy ident(worker(), &OKUKIPOInterface::identEventRead);
        QSignalSpy accelZ(worker(), &OKUKIPOInterface::accelZEventRead);
        h().call("readLiveEvent", Q_ARG(int, 17));
        QCOMPARE(ident.count(), 1);
        QSignalSpy text(worker(), &OKUKIPOInterface::textEventRead);
        h().call("readLiveEvent", Q_ARG(int, 1));
        QCOMPARE(text.count(), 1);
        const std::string said = text.first().first().value<OKUEvent_Text>().text;
        QVERIFY(!said.empty());
        QVERIFY(h().traced().contains(QString::fromStdString(said)));
        // Signal strength has no signal of its own.
        h().call("readLiveEvent", Q_ARG(int, 15));
        // Codes outside 1 to 21 and codes without a record emit nothing.
        h().call("readLiveEvent", Q_ARG(int, 0));
        h().call("readLiveEvent", Q_ARG(int, 22));
        h().call("readLiveEvent", Q_ARG(int, 19));
        QVERIFY(worker()->isFirmwareOpen());
        QCOMPARE(accelZ.count(), 0);
    }

    void magnetometerHardIronCalibration()
    {
        MagnetometerCalibration calibration;
        QCOMPARE(calibration.apply({0.3f, -0.2f, 0.0f}), (std::array<float, 3>{-0.0f, 0.0f, 0.0f}));
        // Extremes 0.3 and 0.5 on X: centre 0.4, so 0.5 reads 0.1, negated.
        const auto second = calibration.apply({0.5f, -0.2f, 0.1f});
        QCOMPARE(second[0], -(0.5f - 0.4f));
        QCOMPARE(second[2], 0.1f - 0.05f);
    }

    void unplugDuringLiveReads()
    {
        connected();
        QSignalSpy disconnected(worker(), &OKUKIPOInterface::firmwareDisconnected);
        QSignalSpy accelZ(worker(), &OKUKIPOInterface::accelZEventRead);
        h().device().unplug();
        h().call("readLiveEvent", Q_ARG(int, 2));
        QCOMPARE(accelZ.count(), 0);
        QVERIFY(!worker()->isFirmwareOpen());
        QVERIFY(h().traced().contains("FAILED TO WRITE. code: 2") || h().traced().contains("failed to read event"));
        h().connectFirmware();
        QCOMPARE(disconnected.count(), 1);

        h().device().plug();
        h().connectFirmware();
        QVERIFY(worker()->isFirmwareOpen());
    }

    void aDroppedLiveReplyClosesTheDevice()
    {
        connected();
        h().device().dropNextReply(0x03);
        QSignalSpy pressure(worker(), &OKUKIPOInterface::pressureEventRead);
        h().call("readLiveEvent", Q_ARG(int, 3));
        QCOMPARE(pressure.count(), 0);
        QVERIFY(h().traced().contains("failed to read event"));
        QVERIFY(!worker()->isFirmwareOpen());
    }

    void aWrongLiveReplyReturnsToIdle()
    {
        connected();
        h().device().replaceNextReplyCode(0x03, 0x05);
        QSignalSpy pressure(worker(), &OKUKIPOInterface::pressureEventRead);
        h().call("readLiveEvent", Q_ARG(int, 3));
        QCOMPARE(pressure.count(), 0);
        QVERIFY(h().traced().contains("not an event. code: 5"));
        QVERIFY(worker()->isFirmwareOpen());
        h().call("readLiveEvent", Q_ARG(int, 3));
        QCOMPARE(pressure.count(), 1);
    }

    void theOwnerMayDeleteTheWorkerAfterItsThreadEnded()
    {
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &message) {
                if (type != QtDebugMsg)
                    warnings << message;
            });
        QThread thread;
        auto *worker = new OKUKIPOInterface(nullptr);
        worker->moveToThread(&thread);
        thread.start();
        QMetaObject::invokeMethod(worker, [] {}, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
        delete worker;
        qInstallMessageHandler(previous);
        QCOMPARE(warnings, QStringList());
    }

    // ------------------------------------------------------------ connection

    void connectsToTheFirmware()
    {
        QSignalSpy initialized(worker(), &OKUKIPOInterface::firmwareInitialized);
        QSignalSpy disconnected(worker(), &OKUKIPOInterface::firmwareDisconnected);
        h().connectFirmware();
        QCOMPARE(console(), QStringList({"Firmware initialized.\nOKU KIPO (firmware version: 2.21) is now connected."}));
        QCOMPARE(initialized.count(), 1);
        QCOMPARE(disconnected.count(), 0);
        QVERIFY(worker()->isFirmwareOpen());
        QCOMPARE(worker()->firmwareVersionNumber(), quint16(0x0221));
        QCOMPARE(h().traced().mid(0, 3), QStringList({"attempting connection", "not connected", "auto: 1"}));
        QVERIFY(h().traced().contains("WAITING"));
        QVERIFY(controls().isEmpty());

        h().clearRecords();
        h().connectFirmware();
        QCOMPARE(h().traced(), QStringList({"attempting connection"}));
        QVERIFY(console().isEmpty());
        QCOMPARE(initialized.count(), 1);
    }

    void noDeviceIsReportedAsDisconnected()
    {
        h().device().unplug();
        QSignalSpy disconnected(worker(), &OKUKIPOInterface::firmwareDisconnected);
        h().connectFirmware();
        QCOMPARE(disconnected.count(), 1);
        QVERIFY(console().isEmpty());
        QVERIFY(h().traced().contains("No device found."));
    }

    void aDisabledConnectionDoesNothing()
    {
        worker()->setConnectionEnabled(false);
        QSignalSpy disconnected(worker(), &OKUKIPOInterface::firmwareDisconnected);
        h().connectFirmware();
        QVERIFY(h().traced().isEmpty());
        QVERIFY(console().isEmpty());
        QCOMPARE(disconnected.count(), 0);
        QVERIFY(!worker()->isFirmwareOpen());
    }

    void startsTheFirmwareFromTheBootloader()
    {
        h().device().plug(VirtualDevice::Mode::Bootloader);
        QSignalSpy initialized(worker(), &OKUKIPOInterface::firmwareInitialized);
        QSignalSpy disconnected(worker(), &OKUKIPOInterface::firmwareDisconnected);
        h().connectFirmware();
        QCOMPARE(console(), QStringList({"Connected to OKU KIPO bootloader.", "Awaiting firmware initialization..."}));
        QCOMPARE(h().device().mode(), VirtualDevice::Mode::Firmware);
        QCOMPARE(disconnected.count(), 0);
        h().connectFirmware();
        QCOMPARE(initialized.count(), 1);
        QVERIFY(worker()->isFirmwareOpen());
    }

    void withoutAutoStartTheBootloaderStays()
    {
        worker()->setAutoStart(false);
        h().device().plug(VirtualDevice::Mode::Bootloader);
        h().connectFirmware();
        QCOMPARE(console(), QStringList({"Connected to OKU KIPO bootloader."}));
        QCOMPARE(h().device().mode(), VirtualDevice::Mode::Bootloader);
        h().clearRecords();
        h().connectFirmware();
        QVERIFY(console().isEmpty());

        worker()->setAutoStart(true);
        h().connectFirmware();
        QCOMPARE(console(), QStringList({"Awaiting firmware initialization..."}));
    }

    void aWrongBootloaderVersionIsRefused()
    {
        h().device().setBootloaderVersion(0x0110);
        h().device().plug(VirtualDevice::Mode::Bootloader);
        h().connectFirmware();
        QCOMPARE(console(), QStringList({"OKU KIPO connected, but with incorrect bootloader version. Please check your "
                                         "firmware/software versions."}));
        QCOMPARE(h().device().mode(), VirtualDevice::Mode::Bootloader);
    }

    void aWrongFirmwareVersionIsReportedOnce()
    {
        h().device().setFirmwareVersion(0x0215);
        h().device().plug();
        QSignalSpy initialized(worker(), &OKUKIPOInterface::firmwareInitialized);
        QSignalSpy disconnected(worker(), &OKUKIPOInterface::firmwareDisconnected);
        h().connectFirmware();
        QCOMPARE(console(), QStringList({"OKU KIPO connected, but with incorrect firmware version.",
                                         "This software is intended for devices with firmware version: 2.2x",
                                         "The connected device is version: 2.15"}));
        QCOMPARE(initialized.count(), 1);
        QCOMPARE(disconnected.count(), 1);
        QVERIFY(!worker()->isFirmwareOpen());

        h().clearRecords();
        h().connectFirmware();
        QVERIFY(console().isEmpty());
        QCOMPARE(initialized.count(), 1);
        QCOMPARE(disconnected.count(), 2);

        // The right firmware afterwards connects and re-arms the message.
        h().device().setFirmwareVersion(0x0221);
        h().device().plug();
        h().connectFirmware();
        QCOMPARE(initialized.count(), 2);
    }

    void exitsToTheBootloaderAndBack()
    {
        connected();
        h().call("_toBootloader");
        QCOMPARE(console(), QStringList({"Exiting firmware...", "Awaiting bootloader initialization.\n"}));
        QVERIFY(controls().isEmpty());
        QVERIFY(!worker()->isFirmwareOpen());
        QCOMPARE(h().device().mode(), VirtualDevice::Mode::Bootloader);

        h().clearRecords();
        h().connectFirmware();
        QCOMPARE(console(), QStringList({"Connected to OKU KIPO bootloader.", "Awaiting firmware initialization..."}));
        h().connectFirmware();
        QVERIFY(worker()->isFirmwareOpen());
    }

    void exitFirmwareFailure()
    {
        connected();
        h().device().replaceNextReplyCode(0x0A, 0x09);
        h().call("_toBootloader");
        QCOMPARE(console(), QStringList({"Exiting firmware...", "Error exiting firmware.\n", errorLine("Protocol error")}));
        QVERIFY(worker()->isFirmwareOpen());
    }

    void controlsAndClosedDevices()
    {
        h().device().unplug();
        h().call("readDeviceSettings");
        h().call("downloadFlights");
        QCOMPARE(controls(), QList<bool>({false, true, false, true}));
        QVERIFY(console().isEmpty());
        h().call("unblockControls");
        QCOMPARE(controls().size(), 4);

        h().device().plug();
        h().connectFirmware();
        h().call("unblockControls");
        QCOMPARE(controls().size(), 5);
        QCOMPARE(controls().last(), true);

        worker()->closeDevices();
        QVERIFY(!worker()->isFirmwareOpen());
    }

    // ------------------------------------------------------------ settings

    void readsTheSettings()
    {
        connected();
        QSignalSpy read(worker(), &OKUKIPOInterface::settingsRead);
        h().call("readDeviceSettings");
        QCOMPARE(console(), QStringList({"Reading settings... ", "Success.\n"}));
        QCOMPARE(controls(), OneOperation);
        QCOMPARE(read.count(), 1);
        const auto settings = read.first().first().value<OKUKIPOSettings>();
        QCOMPARE(settings.deviceBytes(), h().device().settings().deviceBytes());
        QVERIFY(settings.valid);
        QVERIFY(h().traced().contains("done emitting"));
    }

    void settingsReadFaults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("error");
        QTest::newRow("clash") << 0 << "Generic error";
        QTest::newRow("bad chunk count") << 1 << "Protocol error";
        QTest::newRow("unplugged") << 2 << "Generic error";
        QTest::newRow("wrong code") << 3 << "Protocol error";
    }

    void settingsReadFaults()
    {
        QFETCH(int, fault);
        QFETCH(QString, error);
        connected();
        switch (fault) {
        case 0: h().device().clashNextChecksum(); break;
        case 1: h().device().corruptNextChunkByteCount(0x06, 1, 40); break;
        case 2: h().device().unplugAfterReports(0); break;
        case 3: h().device().replaceNextReplyCode(0x06, 0x05); break;
        }
        QSignalSpy read(worker(), &OKUKIPOInterface::settingsRead);
        h().call("readDeviceSettings");
        QCOMPARE(console(), QStringList({"Reading settings... ", "Error reading settings.\n", "Error: " + error + "\n"}));
        QCOMPARE(controls(), OneOperation);
        QCOMPARE(read.count(), 0);
        // The device is usable again afterwards.
        if (!h().device().isPlugged()) {
            h().device().plug();
            worker()->closeDevices();
            h().connectFirmware();
        }
        h().clearRecords();
        h().call("readDeviceSettings");
        QCOMPARE(console().last(), QStringLiteral("Success.\n"));
    }

    void writesAndResetsTheSettings()
    {
        connected();
        OKUKIPOSettings changed = h().device().settings();
        changed.lineMode[2] = 2;
        changed.RFChannel = 42;
        changed.checksum = 0; // the worker fills it in
        h().call("writeDeviceSettings", Q_ARG(OKUKIPOSettings, changed));
        QCOMPARE(console(), QStringList({"Writting settings... ", "Success.\n"}));
        QCOMPARE(controls(), OneOperation);
        QCOMPARE(h().device().settings().RFChannel, quint8(42));
        QVERIFY(h().device().settings().hasValidChecksum());

        h().clearRecords();
        QSignalSpy read(worker(), &OKUKIPOInterface::settingsRead);
        h().call("resetDeviceSettings");
        QCOMPARE(console(), QStringList({"Resetting settings... ", "Success.\n", "Reading settings... ", "Success.\n"}));
        QCOMPARE(controls(), QList<bool>({false, false, true, true}));
        QCOMPARE(read.count(), 1);
        QCOMPARE(read.first().first().value<OKUKIPOSettings>().RFChannel, quint8(0));
    }

    void settingsWriteAndResetFaults()
    {
        connected();
        h().device().clashNextChecksum();
        h().call("writeDeviceSettings", Q_ARG(OKUKIPOSettings, h().device().settings()));
        QCOMPARE(console(), QStringList({"Writting settings... ", "Error writting settings.\n", errorLine("Generic error")}));

        h().clearRecords();
        h().device().replaceNextReplyCode(0x14, 0x09);
        h().call("resetDeviceSettings");
        QCOMPARE(console(), QStringList({"Resetting settings... ", "Error resetting settings.\n", errorLine("Protocol error")}));
        QCOMPARE(controls(), OneOperation);
    }

    void calibratesThePressureOffset()
    {
        connected();
        QSignalSpy pressure(worker(), &OKUKIPOInterface::pressureEventRead);
        h().call("readLiveEvent", Q_ARG(int, 3));
        QCOMPARE(pressure.count(), 1);
        const float measured = pressure.first().first().value<OKUEvent_Pressure>().pressure;
        // The altitude whose standard pressure is 60 Pa above the reading.
        const double altitude = (1.0 - std::pow((measured + 60.0) / 101325.0, 1.0 / 5.255882740020752)) / 2.2557924e-05;
        h().call("calibratePressure", Q_ARG(double, altitude));
        QCOMPARE(console(), QStringList({"Calibrated pressure. Writing settings...", "Writting settings... ", "Success.\n"}));
        QCOMPARE(controls(), QList<bool>({false, false, true, true}));
        const int offset = h().device().settings().pressureOffset;
        QVERIFY2(offset > 30 && offset < 90, qPrintable(QString::number(offset)));
    }

    void calibrationOutOfRangeWarnsAndClamps()
    {
        connected();
        // Sea level is far more than 127 Pa above any pressure the pad reads.
        h().call("calibratePressure", Q_ARG(double, -2000.0));
        QCOMPARE(console().first(), QStringLiteral("Warning! Target pressure out of range. MSL Pressure altitude "
                                                   "readings will not be accurate."));
        QCOMPARE(int(h().device().settings().pressureOffset), 127);
        h().clearRecords();
        h().call("calibratePressure", Q_ARG(double, 9000.0));
        QCOMPARE(int(h().device().settings().pressureOffset), -127);
    }

    void calibrationFaults()
    {
        connected();
        h().device().clashNextChecksum();
        h().call("calibratePressure", Q_ARG(double, 100.0));
        QCOMPARE(console(), QStringList({"Error calibrating pressure - couldnt read settings."}));
        h().clearRecords();
        h().device().dropNextReply(0x03);
        h().call("calibratePressure", Q_ARG(double, 100.0));
        QCOMPARE(console(), QStringList({"Error calibrating pressure - no pressure reading."}));
        QCOMPARE(controls(), OneOperation);
    }

    // ------------------------------------------------------------ flight memory

    void downloadsEveryFlight()
    {
        connected();
        const QByteArray image = h().device().flashImage();
        const auto expected = parseFlights(image);
        QVERIFY(expected.size() >= 2);
        QSignalSpy progress(worker(), &OKUKIPOInterface::flightDownloadProgress);
        QSignalSpy downloaded(worker(), &OKUKIPOInterface::flightDownloaded);
        h().call("downloadFlights");
        const int percent = int(std::ceil(image.size() * 100.0 / 4128768));
        QCOMPARE(console(), QStringList({QStringLiteral("Memory used: %1%").arg(percent), "Parsing flights...",
                                         QStringLiteral("%1 flight(s) downloaded.").arg(expected.size())}));
        QCOMPARE(controls(), OneOperation);
        QCOMPARE(progress.count(), (image.size() + 59) / 60);
        QCOMPARE(progress.last(), QVariantList({image.size(), image.size()}));
        QCOMPARE(downloaded.count(), int(expected.size()));
        for (int i = 0; i < downloaded.count(); ++i) {
            const auto flight = downloaded.at(i).first().value<std::shared_ptr<OKUKIPOFlight>>();
            QCOMPARE(flight->events.size(), expected.at(size_t(i))->events.size());
            QCOMPARE(flight->settings.deviceBytes(), expected.at(size_t(i))->settings.deviceBytes());
        }
        QVERIFY(h().traced().contains(QStringLiteral("Total flight data size: %1").arg(image.size())));
    }

    void anEmptyMemoryDownloadsNothing()
    {
        connected();
        h().device().setFlashImage({});
        QSignalSpy progress(worker(), &OKUKIPOInterface::flightDownloadProgress);
        h().call("downloadFlights");
        QCOMPARE(console(), QStringList({"Memory used: 0%", "Parsing flights...", "0 flight(s) downloaded."}));
        QCOMPARE(progress.count(), 0);
    }

    void aCancelledDownloadStopsAfterOneChunk()
    {
        connected();
        worker()->setDownloadCancel(true);
        QSignalSpy progress(worker(), &OKUKIPOInterface::flightDownloadProgress);
        h().call("downloadFlights");
        QCOMPARE(progress.count(), 1);
        QCOMPARE(progress.first().at(1).toInt(), 60);
        QCOMPARE(console().last(), QStringLiteral("0 flight(s) downloaded."));
        // The device was brought back to idle and answers again.
        worker()->setDownloadCancel(false);
        h().clearRecords();
        h().call("readDeviceSettings");
        QCOMPARE(console().last(), QStringLiteral("Success.\n"));
    }

    void memorySizeFaults_data()
    {
        QTest::addColumn<bool>("unplug");
        QTest::addColumn<QString>("error");
        QTest::newRow("unplugged") << true << "Generic error";
        QTest::newRow("wrong code") << false << "Protocol error";
    }

    void memorySizeFaults()
    {
        QFETCH(bool, unplug);
        QFETCH(QString, error);
        connected();
        if (unplug)
            h().device().unplugAfterReports(0);
        else
            h().device().replaceNextReplyCode(0x18, 0x09);
        QSignalSpy downloaded(worker(), &OKUKIPOInterface::flightDownloaded);
        h().call("downloadFlights");
        QCOMPARE(console(), QStringList({"Can't get total data size: " + error}));
        QCOMPARE(controls(), OneOperation);
        QCOMPARE(downloaded.count(), 0);
    }

    void aBadChunkCountFailsTheDownloadButKeepsEarlierFlights()
    {
        connected();
        const QByteArray image = h().device().flashImage();
        const int firstFlightEnd = image.indexOf(char(0x13), 1);
        QVERIFY(firstFlightEnd > 0);
        const int badChunk = firstFlightEnd / 60 + 2;
        h().device().corruptNextChunkByteCount(0x16, badChunk, 200);
        QSignalSpy downloaded(worker(), &OKUKIPOInterface::flightDownloaded);
        h().call("downloadFlights");
        QVERIFY(console().contains("Error downloading flights.\n"));
        QVERIFY(console().contains(errorLine("Protocol error")));
        QVERIFY(h().traced().contains("Incorrect byte count2"));
        QCOMPARE(console().last(), QStringLiteral("1 flight(s) downloaded."));
        QCOMPARE(downloaded.count(), 1);
        QCOMPARE(controls(), OneOperation);
    }

    void unplugDuringADownload()
    {
        connected();
        h().device().unplugAfterReports(100);
        QSignalSpy progress(worker(), &OKUKIPOInterface::flightDownloadProgress);
        h().call("downloadFlights");
        QVERIFY(console().contains(errorLine("Generic error")));
        QVERIFY(progress.count() < 100);
        QVERIFY(console().last().endsWith(" flight(s) downloaded."));
        QCOMPARE(controls(), OneOperation);

        QSignalSpy disconnected(worker(), &OKUKIPOInterface::firmwareDisconnected);
        h().call("readLiveEvent", Q_ARG(int, 2));
        h().connectFirmware();
        QCOMPARE(disconnected.count(), 1);
    }

    void clearsTheFlightMemory()
    {
        connected();
        QSignalSpy cleared(worker(), &OKUKIPOInterface::flightDataCleared);
        h().call("clearFlightData");
        QCOMPARE(console(), QStringList({"Clearing flight memory (this may up to a minute)...", "Flight memory cleared!"}));
        QCOMPARE(cleared.count(), 1);
        QVERIFY(h().device().flashImage().isEmpty());

        h().clearRecords();
        h().device().replaceNextReplyCode(0x15, 0x09);
        h().call("clearFlightData");
        QCOMPARE(console(), QStringList({"Clearing flight memory (this may up to a minute)...",
                                         "Failed to clear flight memory: Protocol error"}));
        QCOMPARE(cleared.count(), 1);
        QCOMPARE(controls(), OneOperation);
    }

    void firesALine()
    {
        connected();
        h().call("fireLine", Q_ARG(int, 2));
        QCOMPARE(controls(), OneOperation);
        QVERIFY(console().isEmpty());
        QVERIFY(h().traced().contains("firing line 2"));
        QSignalSpy lineC(worker(), &OKUKIPOInterface::inputCEventRead);
        h().call("readLiveEvent", Q_ARG(int, 9));
        QCOMPARE(lineC.count(), 1);
        QVERIFY(lineC.first().first().value<OKUEvent_LineC>().flag15 || lineC.first().first().value<OKUEvent_LineC>().flag14);
    }

    // ------------------------------------------------------------ GPS almanacs

    void storesUploadsAndListsAlmanacs()
    {
        connected();
        h().call("storeAlmanacs");
        QCOMPARE(console(), QStringList({"Storing almanacs (this could take up to a minute)...", "Success.\n"}));
        QCOMPARE(controls(), OneOperation);

        h().clearRecords();
        h().call("viewStoredAlmanacs");
        QString list = QStringLiteral("Stored SV almanacs:");
        int stored = 0;
        for (quint8 slot : h().device().storedAlmanacs()) {
            const bool empty = slot == 0 || slot == 0xFF;
            list += empty ? QStringLiteral("[.]") : QStringLiteral("[%1]").arg(slot);
            stored += empty ? 0 : 1;
        }
        QVERIFY(stored > 0);
        QCOMPARE(console(), QStringList({"Reading almanac SV list...", list}));
        QCOMPARE(h().traced().filter(QRegularExpression("^SV: ")).size(), stored);

        h().clearRecords();
        h().call("uploadAlmanacs");
        QCOMPARE(console(), QStringList({"Uploading almanacs...", QStringLiteral("Almanacs uploaded: %1\n").arg(stored)}));

        h().clearRecords();
        h().call("clearSVData");
        QCOMPARE(console(), QStringList({"Clearing space vehicle data...", "Success.\n"}));
        QCOMPARE(controls(), OneOperation);
    }

    void almanacFaults()
    {
        connected();
        h().device().replaceNextReplyCode(0x0F, 0x09);
        h().call("storeAlmanacs");
        QCOMPARE(console().mid(1), QStringList({"Error storing almanacs.\n", errorLine("Protocol error")}));

        h().clearRecords();
        h().device().replaceNextReplyCode(0x10, 0x09);
        h().call("uploadAlmanacs");
        QCOMPARE(console().mid(1), QStringList({"Error uploading almanacs.\n", errorLine("Protocol error")}));
        QVERIFY(h().traced().contains("Error uploading almanacs. code: 9"));

        h().clearRecords();
        h().device().replaceNextReplyCode(0x0B, 0x05);
        h().call("viewStoredAlmanacs");
        QCOMPARE(console().mid(1), QStringList({"Error viewing stored almanac list.\n", errorLine("Protocol error")}));

        h().clearRecords();
        h().device().replaceNextReplyCode(0x13, 0x01);
        h().call("clearSVData");
        QCOMPARE(console().mid(1), QStringList({"Error clearing data.\n", errorLine("Protocol error")}));

        h().clearRecords();
        h().device().unplugAfterReports(0);
        h().call("storeAlmanacs");
        QCOMPARE(console().mid(1), QStringList({"Error storing almanacs.\n", errorLine("Generic error")}));
        QCOMPARE(controls(), OneOperation);
    }
};

QTEST_GUILESS_MAIN(TestWorker)
#include "test_worker.moc"
