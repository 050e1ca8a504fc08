#include "device/sim/flightmodel.h"
#include "device/sim/virtualflightcomputer.h"
#include "model/trace.h"

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

};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "test_sim_device.moc"
