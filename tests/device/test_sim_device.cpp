#include "decodedevent.h"
#include "device/sim/flightmodel.h"
#include "device/sim/virtualflightcomputer.h"
#include "model/flashparser.h"
#include "model/trace.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>
#include <cmath>
#include <thread>

using okukipo::sim::VirtualDevice;

namespace {

struct Packet {
    quint8 code = 0;
    QByteArray data; // always 63 bytes
};

// The host's side of one open connection, at packet level.
class Host
{
public:
    explicit Host(VirtualFlightComputer &computer, const QString &path = VirtualDevice::FirmwarePath)
        : connection(computer.open(path))
    {
    }

    bool send(quint8 code, const QByteArray &data = {})
    {
        HIDReport report{};
        report[1] = code;
        std::copy_n(data.constData(), std::min(data.size(), 63), report.begin() + 2);
        return connection && connection->writeReport(report, 5000);
    }

    // A packet with code 0 when nothing arrived in time.
    Packet receive(int timeoutMs = 1000)
    {
        HIDReport report{};
        if (!connection || !connection->readReport(report, timeoutMs))
            return {};
        return {report[1], QByteArray(reinterpret_cast<const char *>(report.data()) + 2, 63)};
    }

    Packet exchange(quint8 code, const QByteArray &data = {})
    {
        send(code, data);
        return receive();
    }

    // Reads data chunks until `length` payload bytes arrived.
    QByteArray receiveChunks(int length, QVector<int> *counts = nullptr)
    {
        QByteArray payload;
        while (payload.size() < length) {
            const Packet chunk = receive();
            if (chunk.code != 0x21)
                break;
            const int count = std::min<int>(quint8(chunk.data[2]), 60);
            if (counts)
                counts->append(count);
            payload += chunk.data.mid(3, count);
        }
        return payload;
    }

    void writeSettings(const QByteArray &record)
    {
        send(0x07);
        for (int index = 0, offset = 0; offset < record.size(); ++index, offset += 60) {
            const QByteArray part = record.mid(offset, 60);
            QByteArray chunk;
            chunk.append(char(index)).append('\0').append(char(part.size())).append(part);
            send(0x21, chunk);
        }
    }

    std::unique_ptr<HIDConnection> connection;
};

QByteArray littleEndian32(quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    return QByteArray(bytes, 4);
}

QByteArray flashRequest(quint32 length, quint32 offset = 0)
{
    return littleEndian32(offset) + littleEndian32(length);
}

float floatAt(const QByteArray &data, int offset)
{
    return qFromLittleEndian<float>(data.constData() + offset);
}

template<typename Event>
std::unique_ptr<Event> liveEvent(Host &host, quint8 code)
{
    const Packet reply = host.exchange(0x03, QByteArray(1, char(code)));
    if (reply.code != 0x02)
        return nullptr;
    return decoded<Event>(reply.data);
}

QByteArray emulationStep(double altitude, double accelG)
{
    const quint32 pressure = quint32(okukipo::sim::FlightLogic::standardPressure(altitude));
    QByteArray data = littleEndian32(pressure) + littleEndian32(quint32(qint32(altitude * 1000))) + QByteArray(1, '\1');
    for (qint16 value : {qint16(0), qint16(0), qint16(std::lround(accelG * 256)), qint16(0), qint16(0), qint16(0)}) {
        char bytes[2];
        qToLittleEndian(value, bytes);
        data.append(bytes, 2);
    }
    return data;
}

} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { okukipo::setTraceHandler([](const QString &) {}); }

    void enumeratesAsTheFirmware()
    {
        VirtualFlightComputer computer;
        const QVector<HIDDeviceInfo> found = computer.enumerate();
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].vendorId, quint16(0x03DB));
        QCOMPARE(found[0].productId, quint16(0x0004));
        QCOMPARE(found[0].versionNumber, quint16(0x0221));
        QVERIFY(computer.open(found[0].path));
        QVERIFY(!computer.open(VirtualDevice::BootloaderPath));
        QVERIFY(!computer.open(QStringLiteral("/dev/hidraw0")));

        computer.device().setFirmwareVersion(0x0215);
        QCOMPARE(computer.enumerate()[0].versionNumber, quint16(0x0215));
    }

    void answersLiveReadsWithPlausibleValues()
    {
        VirtualFlightComputer computer;
        Host host(computer);
        const auto accelZ = liveEvent<OKUEvent_AccelZ>(host, 0x02);
        const auto accelXY = liveEvent<OKUEvent_AccelXY>(host, 0x0B);
        QVERIFY(accelZ && accelXY);
        const double gravity = std::sqrt(accelZ->accelZ * accelZ->accelZ + accelXY->accelX * accelXY->accelX
                                         + accelXY->accelY * accelXY->accelY);
        QVERIFY(qAbs(gravity - 1.0) < 0.1);
        const auto pressure = liveEvent<OKUEvent_Pressure>(host, 0x03);
        QVERIFY(pressure && pressure->pressure > 85000 && pressure->pressure < 90000); // 1191 m up
        const auto gps = liveEvent<OKUEvent_GPSLLSol>(host, 0x0E);
        QVERIFY(gps && qAbs(gps->latitude - 40.8807) < 0.001 && gps->solution3D && gps->satellites >= 8);
        const auto time = liveEvent<OKUEvent_GPSTime>(host, 0x12);
        QVERIFY(time && time->timeValid && time->week > 2300);
        QVERIFY(liveEvent<OKUEvent_Temperature>(host, 0x06));
        QVERIFY(liveEvent<OKUEvent_ComputerBattery>(host, 0x04));
        QVERIFY(liveEvent<OKUEvent_EjectionBattery>(host, 0x05));
        QVERIFY(liveEvent<OKUEvent_GyroXYZ>(host, 0x0C));
        QVERIFY(liveEvent<OKUEvent_MagXYZ>(host, 0x0D));
        QVERIFY(liveEvent<OKUEvent_RSSI>(host, 0x0F));
        QVERIFY(liveEvent<OKUEvent_LineD>(host, 0x0A));
        const auto text = liveEvent<OKUEvent_Text>(host, 0x01);
        QVERIFY(text && QByteArray::fromStdString(text->text).startsWith("OKU KIPO"));
        const auto ident = liveEvent<OKUEvent_Ident>(host, 0x11);
        QVERIFY(ident && QByteArray::fromStdString(ident->text).startsWith("KIPO22"));
        const auto orientation = liveEvent<OKUEvent_Orientation>(host, 0x15);
        QVERIFY(orientation);
        const float norm = orientation->w * orientation->w + orientation->x * orientation->x
                           + orientation->y * orientation->y + orientation->z * orientation->z;
        QVERIFY(qAbs(norm - 1.0f) < 0.01f);
        const auto status = liveEvent<OKUEvent_Status>(host, 0x10);
        QVERIFY(status && status->state == 0 && status->lineContinuity[0] && status->lineContinuity[1]
                && !status->lineContinuity[2] && !status->lineAlert[0]);

        // No live reading of these types.
        QCOMPARE(host.exchange(0x03, QByteArray(1, '\x14')).code, quint8(0x09));
        QCOMPARE(host.exchange(0x03, QByteArray(1, '\x30')).code, quint8(0x09));
    }

    void orientationTurnsSlowly()
    {
        const auto start = okukipo::sim::LiveSensors::attitudeAt(0);
        const auto later = okukipo::sim::LiveSensors::attitudeAt(1000);
        const double degrees = 2.0 * std::acos(std::min(1.0, std::abs((start.conjugated() * later).w))) * 180.0 / M_PI;
        QVERIFY(degrees > 1.0 && degrees < 20.0);
    }

    void settingsReadInTwoChunks()
    {
        VirtualFlightComputer computer;
        Host host(computer);
        QVERIFY(host.send(0x06));
        const Packet first = host.receive();
        const Packet second = host.receive();
        QCOMPARE(first.code, quint8(0x21));
        QCOMPARE(second.code, quint8(0x21));
        QCOMPARE(first.data.left(3).toHex(), QByteArray("00003c"));
        QCOMPARE(second.data.left(3).toHex(), QByteArray("010027"));
        QCOMPARE(first.data.mid(3, 60) + second.data.mid(3, 39), okukipo::sim::factorySettings().deviceBytes());
        QCOMPARE(host.receive(50).code, quint8(0));
    }

    void settingsWriteChecksTheChecksum()
    {
        VirtualFlightComputer computer;
        Host host(computer);
        OKUKIPOSettings changed = okukipo::sim::factorySettings();
        changed.lineMode[2] = OKUKIPOSettings::Time;
        changed.updateChecksum();
        host.writeSettings(changed.deviceBytes());
        QCOMPARE(host.receive().code, quint8(0x05));
        QCOMPARE(computer.device().settings().deviceBytes(), changed.deviceBytes());

        OKUKIPOSettings broken = changed;
        broken.lineMode[3] = OKUKIPOSettings::Time; // checksum left stale
        host.writeSettings(broken.deviceBytes());
        QCOMPARE(host.receive().code, quint8(0x09));
        QCOMPARE(computer.device().settings().deviceBytes(), changed.deviceBytes());

        QCOMPARE(host.exchange(0x14).code, quint8(0x05));
        QCOMPARE(computer.device().settings().deviceBytes(), okukipo::sim::factorySettings().deviceBytes());
    }

    void flashIsServedAndCleared()
    {
        VirtualFlightComputer computer;
        Host host(computer);
        const QByteArray image = computer.device().flashImage();
        QCOMPARE(parseFlights(image).size(), size_t(3));

        const Packet used = host.exchange(0x18);
        QCOMPARE(used.code, quint8(0x05));
        QCOMPARE(qFromLittleEndian<quint32>(used.data.constData()), quint32(image.size()));

        QVector<int> counts;
        host.send(0x16, flashRequest(quint32(image.size())));
        QCOMPARE(host.receiveChunks(image.size(), &counts), image);
        QCOMPARE(counts.size(), (image.size() + 59) / 60);
        QCOMPARE(host.receive(50).code, quint8(0));

        // Past the used part the memory reads erased.
        host.send(0x16, flashRequest(100, quint32(image.size() - 10)));
        QCOMPARE(host.receiveChunks(100), image.right(10) + QByteArray(90, '\xff'));

        QCOMPARE(host.exchange(0x15).code, quint8(0x05));
        QCOMPARE(qFromLittleEndian<quint32>(host.exchange(0x18).data.constData()), 0u);
        QVERIFY(computer.device().flashImage().isEmpty());
    }

    void returnToIdleEndsATransfer()
    {
        VirtualFlightComputer computer;
        Host host(computer);
        host.send(0x16, flashRequest(6000));
        QCOMPARE(host.receive().code, quint8(0x21));
        host.connection->flushInput();
        QCOMPARE(host.exchange(0xFF).code, quint8(0x01));
        QCOMPARE(host.receive(50).code, quint8(0));
    }

    void firmwareExitAndStartReenumerate()
    {
        VirtualFlightComputer computer;
        QSignalSpy removed(&computer, &HIDTransport::deviceRemoved);
        QSignalSpy arrived(&computer, &HIDTransport::deviceArrived);
        Host firmware(computer);
        QCOMPARE(firmware.exchange(0x0A).code, quint8(0x05));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed[0][0].toString(), VirtualDevice::FirmwarePath);
        QCOMPARE(arrived.count(), 1);
        QCOMPARE(arrived[0][0].toString(), VirtualDevice::BootloaderPath);
        QVERIFY(!firmware.send(0x18));

        const QVector<HIDDeviceInfo> found = computer.enumerate();
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].productId, quint16(0x0003));
        QCOMPARE(found[0].versionNumber, quint16(0x0200));

        Host bootloader(computer, VirtualDevice::BootloaderPath);
        QVERIFY(bootloader.send(0x18)); // ignored by the bootloader
        QCOMPARE(bootloader.receive(50).code, quint8(0));
        QVERIFY(bootloader.send(0x03));
        QCOMPARE(computer.device().mode(), VirtualDevice::Mode::Firmware);
        QCOMPARE(removed.count(), 2);
        QCOMPARE(arrived.last()[0].toString(), VirtualDevice::FirmwarePath);
        QCOMPARE(Host(computer).exchange(0xFF).code, quint8(0x01));
    }

    void unplugFailsEveryExchange()
    {
        VirtualFlightComputer computer;
        QSignalSpy removed(&computer, &HIDTransport::deviceRemoved);
        QSignalSpy arrived(&computer, &HIDTransport::deviceArrived);
        Host host(computer);
        computer.device().unplug();
        QCOMPARE(removed.count(), 1);
        QVERIFY(computer.enumerate().isEmpty());
        QVERIFY(!host.send(0x18));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(host.receive(2000).code, quint8(0));
        QVERIFY(timer.elapsed() < 1000); // a vanished device fails at once

        computer.device().plug(VirtualDevice::Mode::Bootloader);
        QCOMPARE(arrived.count(), 1);
        QCOMPARE(arrived[0][0].toString(), VirtualDevice::BootloaderPath);
        QVERIFY(!host.send(0x18)); // an old handle stays dead
    }

    void readsWaitForTheirTimeOut()
    {
        VirtualFlightComputer computer;
        Host host(computer);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(host.receive(120).code, quint8(0));
        QVERIFY(timer.elapsed() >= 115);
    }

    void readerOnAnotherThreadWakesForAReply()
    {
        VirtualFlightComputer computer;
        Host reader(computer);
        Host writer(computer);
        Packet received;
        std::thread thread([&] { received = reader.receive(5000); });
        QTest::qWait(50);
        writer.send(0xFF);
        thread.join();
        QCOMPARE(received.code, quint8(0x01));
    }

    void droppedReplyNeverComes()
    {
        VirtualFlightComputer computer;
        computer.device().dropNextReply(0x18);
        Host host(computer);
        host.send(0x18);
        QCOMPARE(host.receive(100).code, quint8(0));
        QCOMPARE(host.exchange(0x18).code, quint8(0x05)); // used up
        QCOMPARE(computer.device().reportsReceived(), 2);
    }

    void delayedReplyComesLate()
    {
        VirtualFlightComputer computer;
        computer.device().delayNextReply(0x06, 300);
        Host host(computer);
        host.send(0x06);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(host.receive(100).code, quint8(0));
        const Packet late = host.receive(1000);
        QCOMPARE(late.code, quint8(0x21));
        QVERIFY(timer.elapsed() >= 250);
    }

    void wrongReplyCode()
    {
        VirtualFlightComputer computer;
        computer.device().replaceNextReplyCode(0x03, 0x05);
        computer.device().replaceNextReplyCode(0x16, 0x02);
        Host host(computer);
        QCOMPARE(host.exchange(0x03, QByteArray(1, '\x02')).code, quint8(0x05));
        QCOMPARE(host.exchange(0x03, QByteArray(1, '\x02')).code, quint8(0x02));
        host.send(0x16, flashRequest(120));
        QCOMPARE(host.receive().code, quint8(0x02));
        QCOMPARE(host.receive().code, quint8(0x21));
    }

    void badChunkByteCount()
    {
        VirtualFlightComputer computer;
        computer.device().corruptNextChunkByteCount(0x06, 1, 40);
        Host host(computer);
        host.send(0x06);
        QCOMPARE(quint8(host.receive().data[2]), quint8(60));
        const Packet second = host.receive();
        QCOMPARE(quint8(second.data[2]), quint8(40));
        QCOMPARE(second.data.mid(3, 39), okukipo::sim::factorySettings().deviceBytes().mid(60));
    }

    void checksumClash()
    {
        VirtualFlightComputer computer;
        Host host(computer);
        computer.device().clashNextChecksum();
        host.send(0x06);
        QCOMPARE(host.receive().code, quint8(0x09));
        QCOMPARE(host.receive(50).code, quint8(0));

        computer.device().clashNextChecksum();
        OKUKIPOSettings changed = okukipo::sim::factorySettings();
        changed.remotePIN = 4321;
        changed.updateChecksum();
        host.writeSettings(changed.deviceBytes());
        QCOMPARE(host.receive().code, quint8(0x09));
        QCOMPARE(quint16(computer.device().settings().remotePIN), quint16(okukipo::sim::factorySettings().remotePIN));
    }

    void unplugAfterReports()
    {
        VirtualFlightComputer computer;
        QSignalSpy removed(&computer, &HIDTransport::deviceRemoved);
        Host host(computer);
        computer.device().unplugAfterReports(3);
        host.send(0x16, flashRequest(6000));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(host.receive().code, quint8(0x21));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(host.receive(100).code, quint8(0));
        QVERIFY(computer.enumerate().isEmpty());
    }

    void fireLineRaisesItsAlertForItsOnTime()
    {
        VirtualFlightComputer computer;
        OKUKIPOSettings settings = okukipo::sim::factorySettings();
        settings.lineOnTime[1] = 3; // 0.3 s
        settings.updateChecksum();
        computer.device().setSettings(settings);
        Host host(computer);
        QCOMPARE(host.exchange(0x11, QByteArray(1, '\1')).code, quint8(0x05));
        const auto status = liveEvent<OKUEvent_Status>(host, 0x10);
        QVERIFY(status && status->lineAlert[1] && !status->lineAlert[0]);
        const auto line = liveEvent<OKUEvent_LineB>(host, 0x08);
        QVERIFY(line && line->flag15);
        QTRY_VERIFY_WITH_TIMEOUT(!liveEvent<OKUEvent_Status>(host, 0x10)->lineAlert[1], 2000);
        QCOMPARE(host.exchange(0x11, QByteArray(1, '\4')).code, quint8(0x09));
    }

    void almanacCommands()
    {
        VirtualFlightComputer computer;
        Host host(computer);
        const Packet empty = host.exchange(0x0B);
        QCOMPARE(empty.code, quint8(0x0C));
        QCOMPARE(empty.data.left(32), QByteArray(32, '\xff'));
        QCOMPARE(host.exchange(0x0D, QByteArray(1, '\5')).code, quint8(0x09));

        QCOMPARE(host.exchange(0x0F).code, quint8(0x05));
        const Packet list = host.exchange(0x0B);
        QCOMPARE(quint8(list.data[0]), quint8(2));
        QCOMPARE(quint8(list.data[9]), quint8(29));
        QCOMPARE(quint8(list.data[10]), quint8(0xff));
        const Packet almanac = host.exchange(0x0D, QByteArray(1, '\5'));
        QCOMPARE(almanac.code, quint8(0x0E));
        QCOMPARE(quint8(almanac.data[0]), quint8(5));
        QVERIFY(qFromLittleEndian<quint16>(almanac.data.constData() + 1) > 2300);

        const Packet uploaded = host.exchange(0x10);
        QCOMPARE(uploaded.code, quint8(0x05));
        QCOMPARE(quint8(uploaded.data[0]), quint8(10));
        QCOMPARE(host.exchange(0x13).code, quint8(0x05));
        QCOMPARE(quint8(host.exchange(0x10).data[0]), quint8(0));
    }

    void emulationRunsTheFlightLogic()
    {
        VirtualFlightComputer computer;
        Host host(computer);
        QCOMPARE(host.exchange(0x19, littleEndian32(101325)).code, quint8(0x05));

        QVector<int> states{0};
        bool lineAFired = false;
        double highest = 0.0;
        double altitude = 0.0;
        double velocity = 0.0;
        for (int step = 0; step < 3000; ++step) {
            const double t = step * 0.01;
            double accel = 0.0;
            if (t >= 0.5 && t < 1.5)
                accel = 80.0;
            else if (t >= 1.5)
                accel = velocity > -15.0 ? -9.80665 : 0.0;
            velocity += accel * 0.01;
            altitude += velocity * 0.01;
            const Packet reply = host.exchange(0x20, emulationStep(altitude, 1.0 + accel / 9.80665));
            QCOMPARE(reply.code, quint8(0x05));
            if (reply.data[0] != states.last())
                states.append(reply.data[0]);
            highest = std::max<double>(highest, floatAt(reply.data, 1));
            lineAFired = lineAFired || reply.data[13] != 0;
            const float w = floatAt(reply.data, 17);
            QVERIFY(qAbs(w - 1.0f) < 0.01f); // flying straight up
        }
        QCOMPARE(states, (QVector<int>{0, 1, 2, 3, 4, 5}));
        QVERIFY(qAbs(highest - (40.0 + 80.0 * 80.0 / (2 * 9.80665))) < 5.0);
        QVERIFY(lineAFired);
        QCOMPARE(computer.device().emulationSteps(), 3000);
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "test_sim_device.moc"
