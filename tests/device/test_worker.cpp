#include "scriptedtransport.h"
#include "workerharness.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>

using okukipo::sim::VirtualDevice;

namespace {

const QList<bool> OneOperation = {false, true};
const QString UsbError = QStringLiteral("There was a generic USB connection error. Please try reconnecting your device.");

QString errorLine(const QString &text)
{
    return QStringLiteral("Error: ") + text + QLatin1Char('\n');
}

// The altitude whose standard pressure is `pascals`.
double altitudeOf(double pascals)
{
    return (1.0 - std::pow(pascals / 101325.0, 1.0 / 5.255882740020752)) / 2.2557924e-05;
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

    // Runs a slot and compares its console lines.
    void expect(const char *slot, const QStringList &lines)
    {
        h().clearRecords();
        h().call(slot);
        QCOMPARE(console(), lines);
    }

private slots:
    void init() { harness = std::make_unique<WorkerHarness>(); }
    void cleanup() { harness.reset(); }

    // First, while the process-wide call counter is still 0.
    void liveReadsFollowTheSchedule()
    {
        QCOMPARE(OKUKIPOInterface::liveReadSchedule(0), QList<int>({2, 11, 12, 13, 3, 4, 5, 6, 7, 8, 9, 10, 16, 14, 18, 21}));
        QCOMPARE(OKUKIPOInterface::liveReadSchedule(1), QList<int>());
        QCOMPARE(OKUKIPOInterface::liveReadSchedule(2), QList<int>({2, 11, 12, 21}));
        connected();
        QSignalSpy accelZ(worker(), &OKUKIPOInterface::accelZEventRead);
        QSignalSpy pressure(worker(), &OKUKIPOInterface::pressureEventRead);
        QSignalSpy gps(worker(), &OKUKIPOInterface::gpsLLSolEventRead);
        // A full queue refuses the second round without using up its turn.
        OKUKIPOInterface *w = worker();
        h().onWorker([w] {
            w->readLiveEvents();
            w->readLiveEvents();
            w->processReadEvents();
            w->processReadEvents();
        });
        QCOMPARE(accelZ.count(), 1);
        QCOMPARE(pressure.count(), 1);
        QCOMPARE(worker()->latestGPSPosition()->latitude, gps.first().first().value<OKUEvent_GPSLLSol>().latitude);
    }

    void magnetometerHardIronCalibration()
    {
        MagnetometerCalibration calibration;
        QCOMPARE(calibration.apply({0.3f, -0.2f, 0.0f}), (std::array<float, 3>{-0.0f, 0.0f, 0.0f}));
        // Extremes 0.3 and 0.5 on X: centre 0.4, so 0.5 reads 0.1, negated.
        QCOMPARE(calibration.apply({0.5f, -0.2f, 0.1f})[0], -(0.5f - 0.4f));
    }

    void liveReadFaults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("diagnostic");
        QTest::addColumn<bool>("staysOpen");
        QTest::newRow("unplugged") << 0 << "FAILED TO WRITE. code: 3" << false;
        QTest::newRow("dropped") << 1 << "failed to read event" << false;
        QTest::newRow("not an event") << 2 << "not an event. code: 5" << true;
    }

    void liveReadFaults()
    {
        QFETCH(int, fault);
        QFETCH(QString, diagnostic);
        QFETCH(bool, staysOpen);
        connected();
        QSignalSpy pressure(worker(), &OKUKIPOInterface::pressureEventRead);
        if (fault == 0)
            h().device().unplug();
        else if (fault == 1)
            h().device().dropNextReply(0x03);
        else
            h().device().replaceNextReplyCode(0x03, 0x05);
        h().call("readLiveEvent", Q_ARG(int, 3));
        QCOMPARE(pressure.count(), 0);
        QVERIFY(h().traced().contains(diagnostic));
        QCOMPARE(worker()->isFirmwareOpen(), staysOpen);
        if (!staysOpen)
            h().device().plug();
        h().connectFirmware();
        h().call("readLiveEvent", Q_ARG(int, 3));
        QCOMPARE(pressure.count(), 1);
    }

    void otherThreadsNeverWaitForARunningOperation()
    {
        connected();
        h().device().delayNextReply(0x15, 3000);
        QSignalSpy cleared(worker(), &OKUKIPOInterface::flightDataCleared);
        QMetaObject::invokeMethod(worker(), "clearFlightData", Qt::QueuedConnection);
        QTRY_COMPARE(console().size(), 1);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(worker()->isFirmwareOpen());
        QCOMPARE(worker()->firmwareVersionNumber(), quint16(0x0221));
        worker()->setConnectionEnabled(true);
        worker()->setAutoStart(true);
        worker()->attemptConnection();
        worker()->reportFirmwareState();
        worker()->closeRemovedDevice(QStringLiteral("/dev/hidraw9"));
        worker()->_toBootloader();
        worker()->closeDevices();
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed < 50, qPrintable(QString::number(elapsed)));
        QCOMPARE(cleared.count(), 0);
        // What touches the device ran on the worker's thread, after the operation.
        QVERIFY(cleared.wait(10000));
        h().sync();
        QCOMPARE(console().mid(1), QStringList({"Flight memory cleared!", "Exiting firmware...",
                                                "Awaiting bootloader initialization.\n"}));
        QCOMPARE(h().device().mode(), VirtualDevice::Mode::Bootloader);
    }

    void connectsToTheFirmware()
    {
        QSignalSpy initialized(worker(), &OKUKIPOInterface::firmwareInitialized);
        QSignalSpy disconnected(worker(), &OKUKIPOInterface::firmwareDisconnected);
        h().connectFirmware();
        QCOMPARE(console(), QStringList({"Firmware initialized.\nOKU KIPO (firmware version: 2.21) is now connected."}));
        QCOMPARE(initialized.count(), 1);
        QCOMPARE(worker()->firmwareVersionNumber(), quint16(0x0221));

        // Closed by the window (outdated firmware): it shows the state at once.
        worker()->closeDevices();
        h().sync();
        QVERIFY(!worker()->isFirmwareOpen());
        QCOMPARE(disconnected.count(), 1);
        h().device().unplug();
        h().connectFirmware();
        QCOMPARE(disconnected.count(), 2);
        worker()->setConnectionEnabled(false);
        h().clearRecords();
        h().connectFirmware();
        QVERIFY(h().traced().isEmpty());
        QCOMPARE(disconnected.count(), 2);
    }

    void anUnopenableDeviceIsExplained()
    {
        harness.reset();
        ScriptedSession session;
        session.transport.devices = {{QStringLiteral("/dev/hidraw3"), OKUVendorId, OKUFirmwareProductId, 0x0221}};
        session.transport.failOpen = true;
        session.transport.advice = QStringLiteral("Install the udev rule.");
        ConsoleRecorder recorder;
        OKUKIPOWorkerThread thread(&recorder);
        QMetaObject::invokeMethod(thread.worker(), "attemptConnection", Qt::BlockingQueuedConnection);
        QTRY_COMPARE(recorder.lines, QStringList({UsbError, "Install the udev rule."}));
    }

    void startsTheFirmwareFromTheBootloader()
    {
        worker()->setAutoStart(false);
        h().device().plug(VirtualDevice::Mode::Bootloader);
        h().connectFirmware();
        QCOMPARE(console(), QStringList({"Connected to OKU KIPO bootloader."}));
        worker()->setAutoStart(true);
        expect("attemptConnection", {"Awaiting firmware initialization..."});
        QSignalSpy initialized(worker(), &OKUKIPOInterface::firmwareInitialized);
        h().connectFirmware();
        QCOMPARE(initialized.count(), 1);
    }

    void aWrongFirmwareVersionIsReportedOnce()
    {
        h().device().setFirmwareVersion(0x0215);
        h().device().plug();
        QSignalSpy initialized(worker(), &OKUKIPOInterface::firmwareInitialized);
        h().connectFirmware();
        QCOMPARE(console(), QStringList({"OKU KIPO connected, but with incorrect firmware version.",
                                         "This software is intended for devices with firmware version: 2.2x",
                                         "The connected device is version: 2.15"}));
        QCOMPARE(initialized.count(), 1);
        expect("attemptConnection", {});
        // Unplugged and plugged in again, it is said again.
        worker()->closeRemovedDevice(VirtualDevice::FirmwarePath);
        h().connectFirmware();
        QCOMPARE(initialized.count(), 2);
    }

    void exitsToTheBootloader()
    {
        connected();
        expect("_toBootloader", {"Exiting firmware...", "Awaiting bootloader initialization.\n"});
        QVERIFY(controls().isEmpty());
        QCOMPARE(h().device().mode(), VirtualDevice::Mode::Bootloader);
        worker()->setAutoStart(false);
        h().connectFirmware();
        h().clearRecords();
        worker()->closeRemovedDevice(VirtualDevice::BootloaderPath);
        h().sync();
        QCOMPARE(console(), QStringList({"Bootloader disconnected."}));
    }

    void settingsFaults_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QStringList>("lines");
        const QStringList reading = {"Reading settings... ", "Error reading settings.\n"};
        const QStringList writing = {"Writting settings... ", "Error writting settings.\n"};
        QTest::newRow("read clash") << QByteArray("readDeviceSettings") << 0 << reading + QStringList(errorLine("Generic error"));
        QTest::newRow("read count") << QByteArray("readDeviceSettings") << 1 << reading + QStringList(errorLine("Protocol error"));
        QTest::newRow("write clash") << QByteArray("writeDeviceSettings") << 0 << writing + QStringList(errorLine("Generic error"));
        QTest::newRow("calibration read") << QByteArray("calibratePressure") << 0
                                          << QStringList({"Error calibrating pressure - couldnt read settings."});
    }

    void settingsFaults()
    {
        QFETCH(QByteArray, slot);
        QFETCH(int, fault);
        QFETCH(QStringList, lines);
        connected();
        switch (fault) {
        case 0: h().device().clashNextChecksum(); break;
        case 1: h().device().corruptNextChunkByteCount(0x06, 1, 40); break;
        }
        QSignalSpy read(worker(), &OKUKIPOInterface::settingsRead);
        if (slot == "writeDeviceSettings")
            h().call(slot, Q_ARG(OKUKIPOSettings, h().device().settings()));
        else if (slot == "calibratePressure")
            h().call(slot, Q_ARG(double, 100.0));
        else
            h().call(slot);
        QCOMPARE(console(), lines);
        QCOMPARE(controls(), OneOperation);
        QCOMPARE(read.count(), 0);
        expect("readDeviceSettings", {"Reading settings... ", "Success.\n"});
    }

    void readsWritesAndResetsTheSettings()
    {
        connected();
        QSignalSpy read(worker(), &OKUKIPOInterface::settingsRead);
        expect("readDeviceSettings", {"Reading settings... ", "Success.\n"});
        QCOMPARE(controls(), OneOperation);
        QCOMPARE(read.first().first().value<OKUKIPOSettings>().deviceBytes(), h().device().settings().deviceBytes());
        QVERIFY(read.first().first().value<OKUKIPOSettings>().valid);

        // Bytes 0 to 4 of a write are the device's own, whatever the record
        // holds: it may come from another device or predate a calibration.
        const QByteArray onDevice = QByteArray("\x21\x02\x11\x03\x04") + h().device().settings().deviceBytes().mid(5);
        h().device().setSettings(OKUKIPOSettings::fromDeviceBytes(onDevice));
        OKUKIPOSettings edited = OKUKIPOSettings::fromDeviceBytes(QByteArray("\x00\x01\xFB\x1E\x28") + onDevice.mid(5));
        edited.RFChannel = 42;
        h().clearRecords();
        h().call("writeDeviceSettings", Q_ARG(OKUKIPOSettings, edited));
        QCOMPARE(console(), QStringList({"Writting settings... ", "Success.\n"}));
        QCOMPARE(h().device().settings().RFChannel, quint8(42));
        QCOMPARE(h().device().settings().deviceBytes().left(5), onDevice.left(5));

        expect("resetDeviceSettings", {"Resetting settings... ", "Success.\n", "Reading settings... ", "Success.\n"});
        QCOMPARE(controls(), QList<bool>({false, false, true, true}));
        QCOMPARE(read.last().first().value<OKUKIPOSettings>().RFChannel, quint8(0));
    }

    void calibratesThePressureOffset_data()
    {
        QTest::addColumn<double>("aboveReading"); // Pa
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("warned");
        QTest::newRow("in range") << 60.0 << 60 << false;
        QTest::newRow("too high") << 200.0 << 127 << true;
        QTest::newRow("too low") << -200.0 << -127 << true;
    }

    void calibratesThePressureOffset()
    {
        QFETCH(double, aboveReading);
        QFETCH(int, offset);
        QFETCH(bool, warned);
        connected();
        const OKUKIPOSettings before = h().device().settings();
        QSignalSpy pressure(worker(), &OKUKIPOInterface::pressureEventRead);
        h().call("readLiveEvent", Q_ARG(int, 3));
        const float measured = pressure.first().first().value<OKUEvent_Pressure>().pressure;
        h().call("calibratePressure", Q_ARG(double, altitudeOf(measured + aboveReading)));
        const QStringList written = {"Calibrated pressure. Writing settings...", "Writting settings... ", "Success.\n"};
        QCOMPARE(console(), warned ? QStringList("Warning! Target pressure out of range. MSL Pressure altitude readings "
                                                 "will not be accurate.") + written
                                   : written);
        QCOMPARE(controls(), OneOperation);
        // The sensor is noisy by a few pascals between two readings.
        QVERIFY2(qAbs(h().device().settings().pressureOffset - offset) <= (warned ? 0 : 15),
                 qPrintable(QString::number(h().device().settings().pressureOffset)));
        // A record read before the calibration does not bring the old offset back.
        const qint8 calibrated = h().device().settings().pressureOffset;
        h().call("writeDeviceSettings", Q_ARG(OKUKIPOSettings, before));
        QCOMPARE(h().device().settings().pressureOffset, calibrated);
    }

    void downloadsEveryFlight()
    {
        connected();
        const QByteArray image = h().device().flashImage();
        QSignalSpy progress(worker(), &OKUKIPOInterface::flightDownloadProgress);
        QSignalSpy downloaded(worker(), &OKUKIPOInterface::flightDownloaded);
        h().call("downloadFlights");
        const int percent = int(std::ceil(image.size() * 100.0 / 4128768));
        QCOMPARE(console(), QStringList({QStringLiteral("Memory used: %1%").arg(percent), "Parsing flights...",
                                         "3 flight(s) downloaded."}));
        QCOMPARE(controls(), OneOperation);
        QCOMPARE(progress.count(), (image.size() + 59) / 60);
        QCOMPARE(progress.last(), QVariantList({image.size(), image.size()}));
        QCOMPARE(downloaded.count(), 3);

        h().device().setFlashImage({});
        expect("downloadFlights", {"Memory used: 0%", "Parsing flights...", "0 flight(s) downloaded."});
    }

    void aCancelledDownloadStopsAfterOneChunk()
    {
        connected();
        worker()->setDownloadCancel(true);
        QSignalSpy progress(worker(), &OKUKIPOInterface::flightDownloadProgress);
        h().call("downloadFlights");
        QCOMPARE(progress.count(), 1);
        QCOMPARE(console().last(), QStringLiteral("0 flight(s) downloaded."));
        expect("readDeviceSettings", {"Reading settings... ", "Success.\n"});
    }

    void downloadFaults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("size unplugged") << 0 << QStringList({"Can't get total data size: Generic error"});
        QTest::newRow("size code") << 1 << QStringList({"Can't get total data size: Protocol error"});
        // Whole flights before the bad chunk are kept.
        QTest::newRow("bad chunk count") << 2 << QStringList({"Error downloading flights.\n", errorLine("Protocol error"),
                                                              "Parsing flights...", "1 flight(s) downloaded."});
        QTest::newRow("unplugged") << 3 << QStringList({"Error downloading flights.\n", errorLine("Generic error"),
                                                        "Parsing flights...", "0 flight(s) downloaded."});
    }

    void downloadFaults()
    {
        QFETCH(int, fault);
        QFETCH(QStringList, lines);
        connected();
        const QByteArray image = h().device().flashImage();
        switch (fault) {
        case 0: h().device().unplugAfterReports(0); break;
        case 1: h().device().replaceNextReplyCode(0x18, 0x09); break;
        case 2: h().device().corruptNextChunkByteCount(0x16, image.indexOf(char(0x13), 1) / 60 + 2, 200); break;
        case 3: h().device().unplugAfterReports(2); break;
        }
        h().call("downloadFlights");
        QCOMPARE(console().mid(fault < 2 ? 0 : 1), lines);
        QCOMPARE(controls(), OneOperation);
        // A transfer that failed part-way left the device idle, not streaming.
        if (h().device().isPlugged())
            expect("readDeviceSettings", {"Reading settings... ", "Success.\n"});
    }

    void clearsTheMemory()
    {
        connected();
        QSignalSpy cleared(worker(), &OKUKIPOInterface::flightDataCleared);
        expect("clearFlightData", {"Clearing flight memory (this may up to a minute)...", "Flight memory cleared!"});
        QCOMPARE(cleared.count(), 1);
        QVERIFY(h().device().flashImage().isEmpty());
        h().device().replaceNextReplyCode(0x15, 0x09);
        expect("clearFlightData", {"Clearing flight memory (this may up to a minute)...",
                                   "Failed to clear flight memory: Protocol error"});
        QCOMPARE(cleared.count(), 1);
    }

};

QTEST_GUILESS_MAIN(TestWorker)
#include "test_worker.moc"
