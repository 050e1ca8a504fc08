#include "device/hidapitransport.h"
#include "device/okukipodevice.h"
#include "device/sim/virtualflightcomputer.h"
#include "model/events.h"
#include "scriptedtransport.h"

#include <QtEndian>
#include <QtTest>

namespace {

using Transport = ScriptedTransport;
using Replies = std::vector<HIDReport>;

QByteArray chunk(quint16 index, const QByteArray &payload, int announced = -1)
{
    QByteArray data(2, '\0');
    qToLittleEndian(index, data.data());
    data.append(char(announced < 0 ? payload.size() : announced));
    return data + payload;
}

QByteArray bytes(int count, char first = 1)
{
    QByteArray made;
    for (int i = 0; i < count; ++i)
        made.append(char(first + i));
    return made;
}

QByteArray raw(const HIDReport &report, int length = HIDReportSize)
{
    return QByteArray(reinterpret_cast<const char *>(report.data()), length);
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScriptedSession> session;
    Transport *device = nullptr;
    std::unique_ptr<OKUKIPODevice> kipo;

private slots:
    void init()
    {
        session = std::make_unique<ScriptedSession>();
        device = &session->transport;
        device->devices = {{QStringLiteral("/kipo"), OKUVendorId, OKUFirmwareProductId, 0x0221}};
        kipo = std::make_unique<OKUKIPODevice>();
        QCOMPARE(kipo->connectFirmware(nullptr), int(OKUResultOk));
    }

    void cleanup()
    {
        kipo.reset();
        session.reset();
    }

    void findsTheFirmwareSeries()
    {
        device->devices = {{"/old", OKUVendorId, OKUFirmwareProductId, 0x0215},
                           {"/new", OKUVendorId, OKUFirmwareProductId, 0x022F},
                           {"/mouse", 0x046D, OKUFirmwareProductId, 0x0221},
                           {"/boot", OKUVendorId, OKUBootloaderProductId, 0x0200}};
        const auto series = HIDDevice::findDevices(OKUFirmwareProductId, 0x0220, 0xFFF0);
        QCOMPARE(series.size(), 1);
        QCOMPARE(series.first().path, QStringLiteral("/new"));
    }

    // hidapi takes the report ID as the first byte written and leaves it
    // out of what it reads for a device without numbered reports.
    void hidapiFraming()
    {
        HIDReport report;
        for (int i = 0; i < HIDReportSize; ++i)
            report[size_t(i)] = quint8(i + 7);
        QCOMPARE(raw(hidapiframing::outputBuffer(report)), QByteArray(1, '\0') + bytes(64, 8));
        const unsigned char read[64] = {0x21, 0x01, 0x02};
        QCOMPARE(raw(hidapiframing::inputReport(read, 64), 4), QByteArray("\x00\x21\x01\x02", 4));
        QCOMPARE(raw(hidapiframing::inputReport(read, 2), 4), QByteArray("\x00\x21\x01\x00", 4));
    }

    void packetFraming()
    {
        QVERIFY(kipo->writePacket({0x16, QByteArray("\x01\x02", 2)}, 10));
        QCOMPARE(raw(device->written.last()), QByteArray("\x00\x16\x01\x02", 4) + QByteArray(61, '\0'));
        device->pending.push_back(Transport::report(0x21, "abc"));
        OKUPacket received;
        QVERIFY(kipo->readPacket(received, 10));
        QCOMPARE(received.code, quint8(0x21));
        QCOMPARE(received.data, QByteArray("abc") + QByteArray(60, '\0'));
        // Code 1 is the device's idle answer, never a request.
        QVERIFY(!kipo->writePacket({OKUPacketCode::Idle, {}}, 10));
        QCOMPARE(device->written.size(), 1);
    }

    void settingsChunkCounts_data()
    {
        QTest::addColumn<int>("secondCount");
        QTest::addColumn<int>("result");
        QTest::newRow("right") << 39 << int(OKUResultOk);
        QTest::newRow("one too many") << 40 << int(OKUResultProtocolError);
        QTest::newRow("a full chunk for the last 39") << 60 << int(OKUResultProtocolError);
        QTest::newRow("beyond the packet") << 255 << int(OKUResultProtocolError);
    }

    void settingsChunkCounts()
    {
        QFETCH(int, secondCount);
        QFETCH(int, result);
        const auto before = kipo->settingsBuffer();
        device->answer(OKUPacketCode::ReadSettings, {Transport::report(0x21, chunk(0, bytes(60))),
                                                     Transport::report(0x21, chunk(1, bytes(60, 'x'), secondCount))});
        QCOMPARE(kipo->readSettings(), result);
        const QByteArray buffer(reinterpret_cast<const char *>(kipo->settingsBuffer().data()), 99);
        QCOMPARE(buffer.mid(60), result == OKUResultOk ? bytes(39, 'x')
                                                       : QByteArray(reinterpret_cast<const char *>(before.data()) + 60, 39));
    }

    void writesSettingsWithTheirChecksum()
    {
        kipo->setSettingsRecord(OKUKIPOSettings::fromDeviceBytes(QByteArray(99, '\0')));
        device->respond = [](const HIDReport &written) {
            return written[1] == 0x21 && written[4] == 39 ? Replies{Transport::report(OKUPacketCode::Done)} : Replies();
        };
        QCOMPARE(kipo->writeSettings(), int(OKUResultOk));
        QCOMPARE(device->written.size(), 3);
        QCOMPARE(Transport::dataOf(device->written.at(1)).left(63), chunk(0, QByteArray(60, '\0')));
        QCOMPARE(Transport::dataOf(device->written.at(2)).left(42), chunk(1, QByteArray(37, '\0') + "\x30\x12"));
        device->answer(OKUPacketCode::BeginSettingsWrite, {Transport::report(OKUPacketCode::Clash)});
        QCOMPARE(kipo->writeSettings(), int(OKUResultGenericError));
        device->answer(OKUPacketCode::BeginSettingsWrite, {});
        QCOMPARE(kipo->writeSettings(), int(OKUResultProtocolError));
    }

    void readsFlashInChunks()
    {
        const QByteArray image = bytes(150);
        // A padded last chunk: only the 30 asked-for bytes count.
        device->answer(OKUPacketCode::ReadFlash, {Transport::report(0x21, chunk(0, image.left(60))),
                                                  Transport::report(0x21, chunk(1, image.mid(60, 60))),
                                                  Transport::report(0x21, chunk(2, image.mid(120) + QByteArray(30, 'p')))});
        QByteArray flash;
        QVector<quint32> progress;
        QCOMPARE(kipo->readFlash(flash, 150, [&progress](quint32 total, quint32 received) {
            progress << total << received;
            return false;
        }), int(OKUResultOk));
        QCOMPARE(flash, image);
        QCOMPARE(progress, QVector<quint32>({150, 60, 150, 120, 150, 150}));
        QCOMPARE(Transport::dataOf(device->written.first()).left(8), QByteArray("\x00\x00\x00\x00\x96\x00\x00\x00", 8));
        QCOMPARE(device->written.last()[1], OKUPacketCode::ReadFlash);
        // Stopped after a chunk, or at a bad one, the device is returned to
        // idle: it would go on streaming chunks into the next command.
        QCOMPARE(kipo->readFlash(flash, 150, [](quint32, quint32) { return true; }), int(OKUResultOk));
        QCOMPARE(flash, image.left(60));
        QCOMPARE(device->written.last()[1], OKUPacketCode::ReturnToIdle);
        device->answer(OKUPacketCode::ReadFlash, {Transport::report(0x21, chunk(0, image.left(60), 61))});
        QCOMPARE(kipo->readFlash(flash, 150, {}), int(OKUResultProtocolError));
        QCOMPARE(device->written.last()[1], OKUPacketCode::ReturnToIdle);
    }

    void emulationStepPacket()
    {
        // State 3; altitude 120.5, velocity -4.25, acceleration 9; lines 0, 2, 0, 1; w, x, y, z 1, 0, 0.5, -0.5
        // (little-endian IEEE 754 singles).
        const QByteArray reply = QByteArray::fromHex("03" "0000f142" "000088c0" "00001041" "00020001"
                                                     "0000803f" "00000000" "0000003f" "000000bf");
        device->answer(OKUPacketCode::EmulationStep, {Transport::report(OKUPacketCode::Done, reply)});
        OKUEmulationResult result;
        // 101325 Pa, -2 mm, valid, acceleration 256, -256, 1, rotation 14, -14, 0.
        QCOMPARE(kipo->emulationStep({101325, -2, 1, {256, -256, 1}, {14, -14, 0}}, result), int(OKUResultOk));
        QCOMPARE(Transport::dataOf(device->written.last()).left(21),
                 QByteArray::fromHex("cd8b0100" "feffffff" "01" "0001" "00ff" "0100" "0e00" "f2ff" "0000"));
        QCOMPARE(result.state, quint8(3));
        QCOMPARE((std::array<float, 3>{result.altitude, result.velocity, result.acceleration}),
                 (std::array<float, 3>{120.5f, -4.25f, 9.0f}));
        QCOMPARE(result.lines, (std::array<quint8, 4>{0, 2, 0, 1}));
        QCOMPARE(result.z, -0.5f);
    }
    // As hardware does, the virtual device streams a transfer to its end and
    // hears nothing else meanwhile but the stop code.
    void theVirtualDeviceStreamsUntilTheStopCode()
    {
        VirtualFlightComputer computer;
        HIDTransport::setCurrent(&computer);
        OKUKIPODevice virtualKipo;
        QCOMPARE(virtualKipo.connectFirmware(nullptr), int(OKUResultOk));
        // 6000 bytes from address 0.
        QVERIFY(virtualKipo.writePacket({OKUPacketCode::ReadFlash, QByteArray::fromHex("00000000" "70170000")}, 100));
        OKUPacket reply;
        QCOMPARE(virtualKipo.request(OKUPacketCode::ReadMemoryUsed, {}, 1000, &reply, 5), int(OKUResultProtocolError));
        QCOMPARE(reply.code, OKUPacketCode::DataChunk);
        QCOMPARE(virtualKipo.returnToIdle(), int(OKUResultOk));
        QCOMPARE(virtualKipo.request(OKUPacketCode::ReadMemoryUsed, {}, 1000, &reply, 5), int(OKUResultOk));
        HIDTransport::setCurrent(device);
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"
