#include "decodedevent.h"
#include "device/sim/flightmodel.h"
#include "device/sim/virtualflightcomputer.h"
#include "model/trace.h"

#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>

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

    template <typename Event> std::unique_ptr<Event> liveEvent(quint8 code)
    {
        const Packet reply = exchange(0x03, QByteArray(1, char(code)));
        return reply.code == 0x02 ? decoded<Event>(reply.data) : nullptr;
    }

    std::unique_ptr<HIDConnection> connection;
};

} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { okukipo::setTraceHandler([](const QString &) {}); }

    // As hardware does, the device streams a transfer to its end and hears
    // nothing else meanwhile but the stop code.
    void onlyTheStopCodeEndsATransfer()
    {
        VirtualFlightComputer computer;
        Host host(computer);
        QByteArray request(8, '\0');
        qToLittleEndian<quint32>(6000, request.data() + 4);
        host.send(0x16, request);
        QCOMPARE(host.receive().code, quint8(0x21));
        QCOMPARE(host.exchange(0x18).code, quint8(0x21));
        host.connection->flushInput();
        QCOMPARE(host.exchange(0xFF).code, quint8(0x01));
        QCOMPARE(host.receive(50).code, quint8(0));
        QCOMPARE(host.exchange(0x18).code, quint8(0x05));
    }

    void firmwareExitAndStartReenumerate()
    {
        VirtualFlightComputer computer;
        QSignalSpy removed(&computer, &HIDTransport::deviceRemoved);
        QSignalSpy arrived(&computer, &HIDTransport::deviceArrived);
        Host firmware(computer);
        QCOMPARE(firmware.exchange(0x0A).code, quint8(0x05));
        QCOMPARE(removed.last().first().toString(), VirtualDevice::FirmwarePath);
        QCOMPARE(arrived.last().first().toString(), VirtualDevice::BootloaderPath);
        QVERIFY(!firmware.send(0x18));
        QCOMPARE(computer.enumerate().first().productId, quint16(0x0003));

        Host bootloader(computer, VirtualDevice::BootloaderPath);
        QVERIFY(bootloader.send(0x18)); // ignored by the bootloader
        QCOMPARE(bootloader.receive(50).code, quint8(0));
        QVERIFY(bootloader.send(0x03));
        QCOMPARE(computer.device().mode(), VirtualDevice::Mode::Firmware);
        QCOMPARE(arrived.last().first().toString(), VirtualDevice::FirmwarePath);
        QCOMPARE(Host(computer).exchange(0xFF).code, quint8(0x01));
    }

    void settingsWriteChecksTheChecksum()
    {
        VirtualFlightComputer computer;
        Host host(computer);
        OKUKIPOSettings changed = okukipo::sim::factorySettings();
        changed.lineMode[2] = OKUKIPOSettings::Time; // checksum left stale
        const QByteArray record = changed.deviceBytes();
        host.send(0x07);
        host.send(0x21, QByteArray("\x00\x00\x3C", 3) + record.left(60));
        host.send(0x21, QByteArray("\x01\x00\x27", 3) + record.mid(60));
        QCOMPARE(host.receive().code, quint8(0x09));
        QCOMPARE(computer.device().settings().deviceBytes(), okukipo::sim::factorySettings().deviceBytes());
    }

    void fireLineRaisesItsAlertForItsOnTime()
    {
        VirtualFlightComputer computer;
        OKUKIPOSettings settings = okukipo::sim::factorySettings();
        settings.lineOnTime[1] = 3; // 0.3 s
        computer.device().setSettings(settings);
        Host host(computer);
        QCOMPARE(host.exchange(0x11, QByteArray(1, '\1')).code, quint8(0x05));
        const auto status = host.liveEvent<OKUEvent_Status>(0x10);
        QVERIFY(status && status->lineAlert[1] && !status->lineAlert[0]);
        QVERIFY(host.liveEvent<OKUEvent_LineB>(0x08)->flag15);
        QTRY_VERIFY_WITH_TIMEOUT(!host.liveEvent<OKUEvent_Status>(0x10)->lineAlert[1], 2000);
        QCOMPARE(host.exchange(0x11, QByteArray(1, '\4')).code, quint8(0x09));
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "test_sim_device.moc"
