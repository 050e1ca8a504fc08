#include "device/emulation.h"
#include "device/transferprogress.h"
#include "emulationdata.h"
#include "scriptedtransport.h"
#include "workerharness.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

using okukipo::sim::VirtualDevice;

namespace {

const QList<bool> OneOperation = {false, true};
const QStringList SettingsRead = {"Reading settings... ", "Success.\n"};

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

// A fault the virtual device is to commit.
using Fault = std::function<void(VirtualDevice &)>;
Q_DECLARE_METATYPE(Fault)

// The worker on its own thread against the virtual flight computer, and on
// the test's thread against a device answering from a script; then the
// download progress and the emulation formats alone.
class TestWorker : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WorkerHarness> h;
    QTemporaryDir directory;

    OKUKIPOInterface *worker() { return h->worker; }
    QStringList &console() { return h->console.lines; }

    void connected()
    {
        h->connectFirmware();
        QVERIFY(worker()->isFirmwareOpen());
        h->clearRecords();
    }

    // Runs a slot and compares its console lines.
    void expect(const char *slot, const QStringList &lines)
    {
        h->clearRecords();
        h->call(slot);
        QCOMPARE(console(), lines);
    }

    QString path(const QString &name) const { return directory.filePath(name); }

    QString write(const QString &name, const QByteArray &contents)
    {
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(contents);
        return path(name);
    }

    QList<QByteArray> lines(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().split('\n') : QList<QByteArray>();
    }

    void emulate(const QString &input, const QString &output = QStringLiteral("results.csv"))
    {
        h->call("emulateLaunch", Q_ARG(QString, path(input)), Q_ARG(QString, path(output)), Q_ARG(bool, false));
    }

private slots:
    void init() { h = std::make_unique<WorkerHarness>(); }
    void cleanup() { h.reset(); }

    // First, while the process-wide magnetometer calibration has seen nothing.
    void readingsAreHandedOnCalibratedAndInOrder()
    {
        h.reset();
        ScriptedSession session;
        session.transport.devices = {{QStringLiteral("/kipo"), OKUVendorId, OKUFirmwareProductId, 0x0221}};
        const auto nextReading = [&session](const char *hex) {
            session.transport.answer(OKUPacketCode::ReadEvent,
                                     {ScriptedTransport::report(OKUPacketCode::Event, QByteArray::fromHex(hex))});
        };
        ConsoleRecorder console;
        OKUKIPOInterface worker(&console);
        worker.attemptConnection();
        // The device sends the orientation as x, y, z, then w: 0.5, -0.25, 0.125, 0.75 in 1/32768.
        nextReading("154000e00010006000");
        worker.readLiveEvent(21);
        const OKUQuaternion turned = worker.orientation();
        QCOMPARE(QVector<float>({turned.w, turned.x, turned.y, turned.z}), QVector<float>({0.75f, 0.5f, -0.25f, 0.125f}));
        // Hard-iron calibration takes off the centre of the extremes seen so
        // far, then X changes its sign.  Counts, each 1e-6: (1000, 2000,
        // -3000) is its own centre; after (3000, -2000, 1000) the centres are
        // (2000, 0, -1000), also for (2000, 0, 0).
        QSignalSpy read(&worker, &OKUKIPOInterface::magXYZEventRead);
        const char *readings[] = {"0d03e807d0f448", "0d0bb8f83003e8", "0d07d000000000"};
        const QVector<int> expected[] = {{0, 0, 0}, {-1000, -2000, 2000}, {0, 0, 1000}}; // in 1e-6
        for (int i = 0; i < 3; ++i) {
            nextReading(readings[i]);
            worker.readLiveEvent(13);
            QCOMPARE(read.count(), i + 1);
            const auto m = read.last().first().value<OKUEvent_MagXYZ>();
            QCOMPARE(QVector<int>({qRound(m.x * 1e6f), qRound(m.y * 1e6f), qRound(m.z * 1e6f)}), expected[i]);
        }
    }

    // Next, while the process-wide call counter is still 0: a full round.
    void aFullQueueRefusesTheNextRound()
    {
        connected();
        QSignalSpy accelZ(worker(), &OKUKIPOInterface::accelZEventRead);
        QSignalSpy pressure(worker(), &OKUKIPOInterface::pressureEventRead);
        QSignalSpy gps(worker(), &OKUKIPOInterface::gpsLLSolEventRead);
        OKUKIPOInterface *w = worker();
        h->onWorker([w] {
            w->readLiveEvents();
            w->readLiveEvents();
            w->processReadEvents();
            w->processReadEvents();
        });
        QCOMPARE(accelZ.count(), 1);
        QCOMPARE(pressure.count(), 1);
        QCOMPARE(worker()->latestGPSPosition()->latitude, gps.first().first().value<OKUEvent_GPSLLSol>().latitude);
    }

    void liveReadFaults_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("diagnostic");
        QTest::addColumn<bool>("staysOpen");
        QTest::newRow("dropped") << Fault([](VirtualDevice &d) { d.dropNextReply(0x03); }) << "failed to read event" << false;
        QTest::newRow("not an event") << Fault([](VirtualDevice &d) { d.replaceNextReplyCode(0x03, 0x05); })
                                      << "not an event. code: 5" << true;
    }

    void liveReadFaults()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, diagnostic);
        QFETCH(bool, staysOpen);
        connected();
        QSignalSpy pressure(worker(), &OKUKIPOInterface::pressureEventRead);
        fault(h->device());
        h->call("readLiveEvent", Q_ARG(int, 3));
        QCOMPARE(pressure.count(), 0);
        QVERIFY(h->traced().contains(diagnostic));
        QCOMPARE(worker()->isFirmwareOpen(), staysOpen);
        if (!staysOpen)
            h->device().plug();
        h->connectFirmware();
        h->call("readLiveEvent", Q_ARG(int, 3));
        QCOMPARE(pressure.count(), 1);
    }

    void otherThreadsNeverWaitForARunningOperation()
    {
        connected();
        h->device().delayNextReply(0x15, 3000);
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
        h->sync();
        QCOMPARE(console(), QStringList({"Clearing flight memory (this may up to a minute)...", "Flight memory cleared!",
                                         "Exiting firmware...", "Awaiting bootloader initialization.\n"}));
        QVERIFY(h->device().flashImage().isEmpty());
        QCOMPARE(h->device().mode(), VirtualDevice::Mode::Bootloader);
    }

    // Connecting, a close by the window, an unplug, a wrong firmware version
    // (said once per attachment), to the bootloader and back; nothing at all
    // while connections are off (a firmware update).
    void connectionLifeCycle()
    {
        QSignalSpy initialized(worker(), &OKUKIPOInterface::firmwareInitialized);
        QSignalSpy disconnected(worker(), &OKUKIPOInterface::firmwareDisconnected);
        expect("attemptConnection", {"Firmware initialized.\nOKU KIPO (firmware version: 2.21) is now connected."});
        // Closed by the window (outdated firmware): it shows the state at once.
        worker()->closeDevices();
        h->sync();
        QVERIFY(!worker()->isFirmwareOpen());
        QCOMPARE(disconnected.count(), 1);
        h->device().unplug();
        h->connectFirmware();
        QCOMPARE(disconnected.count(), 2);
        h->device().setFirmwareVersion(0x0215);
        h->device().plug();
        const QStringList wrongVersion = {"OKU KIPO connected, but with incorrect firmware version.",
                                          "This software is intended for devices with firmware version: 2.2x",
                                          "The connected device is version: 2.15"};
        expect("attemptConnection", wrongVersion);
        expect("attemptConnection", {});
        worker()->closeRemovedDevice(VirtualDevice::FirmwarePath);
        expect("attemptConnection", wrongVersion);
        QCOMPARE(initialized.count(), 3);
        h->device().setFirmwareVersion(0x0221);
        h->connectFirmware();
        expect("_toBootloader", {"Exiting firmware...", "Awaiting bootloader initialization.\n"});
        QVERIFY(h->console.controls.isEmpty());
        QCOMPARE(h->device().mode(), VirtualDevice::Mode::Bootloader);
        worker()->setAutoStart(false);
        expect("attemptConnection", {"Connected to OKU KIPO bootloader."});
        h->clearRecords();
        worker()->closeRemovedDevice(VirtualDevice::BootloaderPath);
        h->call("attemptConnection");
        QCOMPARE(console(), QStringList({"Bootloader disconnected.", "Connected to OKU KIPO bootloader."}));
        worker()->setAutoStart(true);
        expect("attemptConnection", {"Awaiting firmware initialization..."});
        h->connectFirmware();
        QCOMPARE(initialized.count(), 5);
        worker()->setConnectionEnabled(false);
        worker()->closeDevices();
        h->clearRecords();
        h->connectFirmware();
        QVERIFY(h->traced().isEmpty());
        QCOMPARE(initialized.count(), 5);
    }

    // A fault during an operation: the console says what failed, the
    // controls come back, no settings are handed on, and the device is left
    // idle for the next command (not streaming the rest of a transfer).
    void operationFaults_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QStringList>("lines"); // the last ones written
        const QByteArray download("downloadFlights");
        const Fault clash = &VirtualDevice::clashNextChecksum;
        QTest::newRow("read clash") << QByteArray("readDeviceSettings") << clash
                                    << QStringList({"Reading settings... ", "Error reading settings.\n", errorLine("Generic error")});
        QTest::newRow("write clash") << QByteArray("writeDeviceSettings") << clash
                                     << QStringList({"Writting settings... ", "Error writting settings.\n",
                                                     errorLine("Generic error")});
        QTest::newRow("calibration read") << QByteArray("calibratePressure") << clash
                                          << QStringList({"Error calibrating pressure - couldnt read settings."});
        QTest::newRow("size code") << download << Fault([](VirtualDevice &d) { d.replaceNextReplyCode(0x18, 0x09); })
                                   << QStringList("Can't get total data size: Protocol error");
        // In the second flight: the whole first flight is kept.
        const Fault chunkCount = [](VirtualDevice &d) {
            d.corruptNextChunkByteCount(0x16, d.flashImage().indexOf(char(0x13), 1) / 60 + 2, 200);
        };
        QTest::newRow("bad chunk count") << download << chunkCount
                                         << QStringList({"Error downloading flights.\n", errorLine("Protocol error"),
                                                         "Parsing flights...", "1 flight(s) downloaded."});
        QTest::newRow("unplugged") << download << Fault([](VirtualDevice &d) { d.unplugAfterReports(2); })
                                   << QStringList({"Error downloading flights.\n", errorLine("Generic error"),
                                                   "Parsing flights...", "0 flight(s) downloaded."});
        QTest::newRow("clear refused") << QByteArray("clearFlightData")
                                       << Fault([](VirtualDevice &d) { d.replaceNextReplyCode(0x15, 0x09); })
                                       << QStringList({"Clearing flight memory (this may up to a minute)...",
                                                       "Failed to clear flight memory: Protocol error"});
    }

    void operationFaults()
    {
        QFETCH(QByteArray, slot);
        QFETCH(Fault, fault);
        QFETCH(QStringList, lines);
        connected();
        VirtualDevice &device = h->device();
        fault(device);
        QSignalSpy read(worker(), &OKUKIPOInterface::settingsRead);
        QSignalSpy cleared(worker(), &OKUKIPOInterface::flightDataCleared);
        if (slot == "writeDeviceSettings")
            h->call(slot, Q_ARG(OKUKIPOSettings, device.settings()));
        else if (slot == "calibratePressure")
            h->call(slot, Q_ARG(double, 100.0));
        else
            h->call(slot);
        QCOMPARE(console().mid(console().size() - lines.size()), lines);
        QCOMPARE(h->console.controls, OneOperation);
        QCOMPARE(read.count() + cleared.count(), 0);
        if (device.isPlugged())
            expect("readDeviceSettings", SettingsRead);
    }

    void readsWritesAndResetsTheSettings()
    {
        connected();
        QSignalSpy read(worker(), &OKUKIPOInterface::settingsRead);
        expect("readDeviceSettings", SettingsRead);
        QCOMPARE(h->console.controls, OneOperation);
        QCOMPARE(read.first().first().value<OKUKIPOSettings>().deviceBytes(), h->device().settings().deviceBytes());
        QVERIFY(read.first().first().value<OKUKIPOSettings>().valid);

        // Bytes 0 to 4 of a write are the device's own, whatever the record
        // holds: it may come from another device or predate a calibration.
        const QByteArray onDevice = QByteArray("\x21\x02\x11\x03\x04") + h->device().settings().deviceBytes().mid(5);
        h->device().setSettings(OKUKIPOSettings::fromDeviceBytes(onDevice));
        OKUKIPOSettings edited = OKUKIPOSettings::fromDeviceBytes(QByteArray("\x00\x01\xFB\x1E\x28") + onDevice.mid(5));
        edited.RFChannel = 42;
        h->clearRecords();
        h->call("writeDeviceSettings", Q_ARG(OKUKIPOSettings, edited));
        QCOMPARE(console(), QStringList({"Writting settings... ", "Success.\n"}));
        QCOMPARE(h->device().settings().RFChannel, quint8(42));
        QCOMPARE(h->device().settings().deviceBytes().left(5), onDevice.left(5));

        expect("resetDeviceSettings", QStringList({"Resetting settings... ", "Success.\n"}) + SettingsRead);
        QCOMPARE(h->console.controls, QList<bool>({false, false, true, true}));
        QCOMPARE(read.last().first().value<OKUKIPOSettings>().RFChannel, quint8(0));
    }

    void calibratesThePressureOffset_data()
    {
        QTest::addColumn<double>("aboveReading"); // Pa
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("warned");
        QTest::newRow("in range") << 60.0 << 60 << false;
        QTest::newRow("too low") << -200.0 << -127 << true;
    }

    void calibratesThePressureOffset()
    {
        QFETCH(double, aboveReading);
        QFETCH(int, offset);
        QFETCH(bool, warned);
        connected();
        QSignalSpy pressure(worker(), &OKUKIPOInterface::pressureEventRead);
        h->call("readLiveEvent", Q_ARG(int, 3));
        const float measured = pressure.first().first().value<OKUEvent_Pressure>().pressure;
        h->call("calibratePressure", Q_ARG(double, altitudeOf(measured + aboveReading)));
        const QStringList written = {"Calibrated pressure. Writing settings...", "Writting settings... ", "Success.\n"};
        QCOMPARE(console(), warned ? QStringList("Warning! Target pressure out of range. MSL Pressure altitude readings "
                                                 "will not be accurate.") + written
                                   : written);
        QCOMPARE(h->console.controls, OneOperation);
        // The sensor is noisy by a few pascals between two readings.
        QVERIFY2(qAbs(h->device().settings().pressureOffset - offset) <= (warned ? 0 : 15),
                 qPrintable(QString::number(h->device().settings().pressureOffset)));
    }

    void downloadsEveryFlight()
    {
        connected();
        const QByteArray image = h->device().flashImage();
        h->device().delayNextReply(OKUPacketCode::ReadFlash, 1500);
        QSignalSpy progress(worker(), &OKUKIPOInterface::flightDownloadProgress);
        QSignalSpy downloaded(worker(), &OKUKIPOInterface::flightDownloaded);
        TransferProgress transfer;
        QObject::connect(worker(), &OKUKIPOInterface::flightDownloadProgress, &h->console,
                         [&transfer](int total, int read) { transfer.update(total, read); });
        transfer.start();
        h->call("downloadFlights");
        // The rate counts from the request on, also while the device is slow to answer.
        const double rate = transfer.kilobytesPerSecond();
        QVERIFY2(transfer.isComplete() && rate > 0.0 && rate <= image.size() / 1500.0, qPrintable(transfer.text()));
        const int percent = int(std::ceil(image.size() * 100.0 / 4128768));
        QCOMPARE(console(), QStringList({QStringLiteral("Memory used: %1%").arg(percent), "Parsing flights...",
                                         "3 flight(s) downloaded."}));
        QCOMPARE(h->console.controls, OneOperation);
        QCOMPARE(progress.count(), (image.size() + 59) / 60);
        QCOMPARE(progress.last(), QVariantList({image.size(), image.size()}));
        QCOMPARE(downloaded.count(), 3);

        // Cancelled, it stops after one chunk and leaves the device idle.
        worker()->setDownloadCancel(true);
        h->call("downloadFlights");
        QCOMPARE(progress.count(), (image.size() + 59) / 60 + 1);
        QCOMPARE(console().last(), QStringLiteral("0 flight(s) downloaded."));
        expect("readDeviceSettings", SettingsRead);
        worker()->setDownloadCancel(false);
        h->device().setFlashImage({});
        expect("downloadFlights", {"Memory used: 0%", "Parsing flights...", "0 flight(s) downloaded."});
    }

    void progressText()
    {
        const auto text = [](qint64 total, qint64 read, qint64 elapsedMs) {
            TransferProgress progress;
            progress.update(total, read, elapsedMs);
            return progress.text();
        };
        QCOMPARE(text(120000, 0, 300), QStringLiteral("0.0 of 120.0 kB"));
        // 70 kB at 15 kB/s are 4.67 s.
        QCOMPARE(text(100000, 30000, 2000), QStringLiteral("30.0 of 100.0 kB, 15.0 kB/s, 5 s left"));
        // A full flash memory: 4087480 bytes left at 4.1288 bytes/ms are 989.99 s.
        QCOMPARE(text(4128768, 41288, 10000), QStringLiteral("41.3 of 4128.8 kB, 4.1 kB/s, 16 min 30 s left"));
        QCOMPARE(text(6000, 6000, 1500), QStringLiteral("6.0 of 6.0 kB, 4.0 kB/s, 0 s left"));
    }

    // Emulations of the device's flight logic, and their conversions and line formats alone.
    void emulatesAFlight()
    {
        const int samples = 700;
        connected();
        QSignalSpy complete(h->worker, &OKUKIPOInterface::emulationComplete);
        write("flight.csv", emulationData(samples));
        emulate("flight.csv");
        QCOMPARE(complete.count(), 1);
        // One line a second of the flight.
        QCOMPARE(h->console.lines.size(), 2 + samples / 100);
        QCOMPARE(h->console.lines.last(), QStringLiteral("Emulation complete!"));
        QCOMPARE(h->console.controls, OneOperation);
        QCOMPARE(h->device().emulationSteps(), samples);
        const QList<QByteArray> results = lines("results.csv");
        QCOMPARE(results.size(), samples + 1);
        QCOMPARE(results.first(), QByteArray(EmulationResultHeader));
        QCOMPARE(h->console.lines.at(7), QStringLiteral("Emulation time: 6 s"));
        QVERIFY(results.at(1).startsWith("0,pad,"));
        // The device's logic saw the launch and the climb.
        QVERIFY(results.last().split(',').at(1) != "pad");
        QVERIFY(results.last().split(',').at(2).toDouble() > 50);
    }

    // Nothing is emulated, the input stays whole, and the controls come back.
    void nothingToEmulate_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("refused"); // the request the device refuses, if any
        QTest::addColumn<QString>("line");
        const QString itself("Failed to write to output file: it is the input file!");
        const QString failed("Emulation failed - the data might not be formatted correctly!");
        QTest::newRow("no input") << "none.csv" << "results.csv" << 0 << "Failed to read input file!";
        QTest::newRow("unwritable") << "flight.csv" << "." << 0 << "Failed to write to output file!";
        // Opening the output would empty the input.
        QTest::newRow("the input") << "flight.csv" << "./flight.csv" << 0 << itself;
        QTest::newRow("a link to the input") << "flight.csv" << "link.csv" << 0 << itself;
        QTest::newRow("begin refused") << "flight.csv" << "results.csv" << 0x19 << failed;
        QTest::newRow("step refused") << "flight.csv" << "results.csv" << 0x20 << failed;
        QTest::newRow("only a header") << "header.csv" << "results.csv" << 0 << "Emulation complete!";
    }

    void nothingToEmulate()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(int, refused);
        QFETCH(QString, line);
        connected();
        QFile::link(write("flight.csv", emulationData(10)), path("link.csv"));
        write("header.csv", emulationData(0));
        if (refused)
            h->device().replaceNextReplyCode(quint8(refused), 0x09);
        QSignalSpy complete(h->worker, &OKUKIPOInterface::emulationComplete);
        emulate(input, output);
        QCOMPARE(h->console.lines, QStringList({"Emulating flight on device...", line}));
        QCOMPARE(h->console.controls, OneOperation);
        QCOMPARE(complete.count(), 1);
        QCOMPARE(lines("flight.csv").size(), 11);
    }

    void inputAndResultLines()
    {
        EmulationSample sample;
        QVERIFY(parseEmulationLine("0.02,100.5,98.25,1,9.80665,-1,2,0.07,-1,14.5\r\n", sample));
        QCOMPARE(sample.accel, (std::array<double, 3>{9.80665, -1, 2}));
        QCOMPARE(sample.gyro, (std::array<double, 3>{0.07, -1, 14.5}));
        QVERIFY(!parseEmulationLine("0.02,100.5,98.25,1,0,0,0,0,0\n", sample));

        const OKUEmulationResult boost{1, 12.5f, 3.25f, 0.19f, {0, 2, 1, 0}, 1};
        QCOMPARE(emulationResultLine(0.01, boost), QByteArray("0.01,boost,12.5,3.25,10,0,100,100,0,1,0,0,0,0"));
        QCOMPARE(emulationStateName(7), QStringLiteral("unknown: 7"));
        const OKUEmulationResult upsideDown{0, 0, 0, 0, {}, 0, 1};
        QVERIFY(emulationResultLine(0, upsideDown).endsWith(",0,1,0,0,180"));
        // Rounding past 1 must not make the angle undefined.
        const OKUEmulationResult rounded{0, 0, 0, 0, {}, 1.0000001f};
        QVERIFY(emulationResultLine(0, rounded).endsWith(",0"));
    }

    void convertsToDeviceCounts_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<quint32>("pressure");
        QTest::addColumn<qint32>("gpsMm");
        QTest::addColumn<qint16>("accel");
        QTest::addColumn<qint16>("gyro");
        // Counts: trunc(value * 256 / 9.80665), trunc(value / 0.07).
        QTest::newRow("sea level") << QByteArray("0,0,-1.5,1,1,0,0,1,0,0") << 101325u << -1500 << qint16(26) << qint16(14);
        // 2000 m/s^2 are 52191 counts, kept to 16 bits.
        QTest::newRow("wrapped") << QByteArray("0,0,0,1,2000,0,0,0,0,0") << 101325u << 0 << qint16(52191 - 65536) << qint16(0);
        // 101325 * (1 - 2.2557924e-05 * 30000)^5.255882740020752 = 267.9 Pa.
        QTest::newRow("above 30000 m") << QByteArray("0,45000,0,1,0,0,0,0,0,0") << 267u << 0 << qint16(0) << qint16(0);
        QTest::newRow("text") << QByteArray("t,x,5,y,0,0,0,0,0,0") << 101325u << 5000 << qint16(0) << qint16(0);
        QTest::newRow("not a number") << QByteArray("nan,nan,nan,1,nan,0,0,nan,0,0") << 101325u << 0 << qint16(0) << qint16(0);
        QTest::newRow("endless") << QByteArray("0,-inf,inf,1,inf,0,0,-inf,0,0") << 4294967295u << 2147483647
                                 << qint16(32767) << qint16(-32768);
        QTest::newRow("beyond a double") << QByteArray("0,1e999,-1e999,1,-1e999,0,0,1e999,0,0") << 267u
                                         << qint32(-2147483647 - 1) << qint16(-32768) << qint16(32767);
        QTest::newRow("beyond the millimetres") << QByteArray("0,0,3e6,1,0,0,0,0,0,0") << 101325u << 2147483647
                                                << qint16(0) << qint16(0);
    }

    void convertsToDeviceCounts()
    {
        QFETCH(QByteArray, line);
        EmulationSample sample;
        QVERIFY(parseEmulationLine(line, sample));
        const OKUEmulationInput input = emulationInput(sample);
        QTEST(input.pressure, "pressure");
        QTEST(input.gpsAltitudeMm, "gpsMm");
        QTEST(input.accel[0], "accel");
        QTEST(input.gyro[0], "gyro");
    }
};

QTEST_GUILESS_MAIN(TestWorker)
#include "test_worker.moc"
