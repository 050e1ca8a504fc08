#include "device/okukipodevice.h"
#include "model/events.h"
#include "scriptedtransport.h"

#include <QtEndian>
#include <QtTest>
#include <cstring>

namespace {

using Transport = ScriptedTransport;

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

QByteArray floatBytes(float value)
{
    QByteArray made(4, '\0');
    quint32 bits;
    std::memcpy(&bits, &value, 4);
    qToLittleEndian(bits, made.data());
    return made;
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScriptedSession> session;
    Transport *device = nullptr;
    std::unique_ptr<OKUKIPODevice> kipo;

    // Answers 0xFF with the idle code, the rest from `replies` by request code.
    void answer(std::function<std::vector<HIDReport>(const HIDReport &)> replies)
    {
        device->respond = [replies](const HIDReport &written) -> std::vector<HIDReport> {
            if (written[1] == OKUPacketCode::ReturnToIdle)
                return {Transport::report(OKUPacketCode::Idle)};
            return replies(written);
        };
    }

private slots:
    void init()
    {
        session = std::make_unique<ScriptedSession>();
        device = &session->transport;
        device->devices = {{QStringLiteral("/kipo"), OKUVendorId, OKUFirmwareProductId, 0x0221}};
        kipo = std::make_unique<OKUKIPODevice>();
        QCOMPARE(kipo->connectFirmware(nullptr), int(OKUResultOk));
        session->traced.clear();
    }

    void cleanup()
    {
        kipo.reset();
        session.reset();
    }

    void resultTexts()
    {
        const QStringList texts = {"Ok", "No device", "Incorrect boot version", "Incorrect version",
                                   "Checksum error", "Protocol error", "Generic error", "Unknown error"};
        for (int code = 0; code < texts.size(); ++code)
            QCOMPARE(OKUKIPODevice::resultText(code), texts.at(code));
        QCOMPARE(OKUKIPODevice::resultText(-1), QStringLiteral("Unknown error"));
    }

    void connectsOnlyToTheAcceptedSeries()
    {
        OKUKIPODevice other;
        quint16 found = 0;
        device->devices = {{QStringLiteral("/old"), OKUVendorId, OKUFirmwareProductId, 0x0215}};
        device->enumerations = 0;
        QCOMPARE(other.connectFirmware(&found), int(OKUResultIncorrectVersion));
        QCOMPARE(found, quint16(0x0215));
        // Both the accepted series and any version come from one look at the bus.
        QCOMPARE(device->enumerations, 1);
        QVERIFY(!other.isOpen());
        QCOMPARE(session->traced, QStringList({"Version: 533", "Device found, but wrong version."}));

        session->traced.clear();
        device->devices.clear();
        QCOMPARE(other.connectFirmware(&found), int(OKUResultNoDevice));
        QCOMPARE(session->traced, QStringList({"No device found."}));

        session->traced.clear();
        device->devices = {{QStringLiteral("/kipo"), OKUVendorId, OKUFirmwareProductId, 0x0221}};
        device->failOpen = true;
        QCOMPARE(other.connectFirmware(&found), int(OKUResultGenericError));
        QVERIFY(session->traced.contains("Generic connection error."));
    }

    void packetFraming()
    {
        QVERIFY(kipo->writePacket({0x16, QByteArray("\x01\x02", 2)}, 10));
        const HIDReport &sent = device->written.last();
        QCOMPARE(sent[0], quint8(0));
        QCOMPARE(sent[1], quint8(0x16));
        QCOMPARE(sent[2], quint8(1));
        QCOMPARE(sent[3], quint8(2));
        QVERIFY(std::all_of(sent.begin() + 4, sent.end(), [](quint8 b) { return b == 0; }));

        device->pending.push_back(Transport::report(0x21, "abc"));
        OKUPacket received;
        QVERIFY(kipo->readPacket(received, 10));
        QCOMPARE(received.code, quint8(0x21));
        QCOMPARE(received.data.size(), 63);
        QCOMPARE(received.data.left(4), QByteArray("abc\0", 4));
    }

    void codeOneIsNeverSent()
    {
        device->written.clear();
        QVERIFY(!kipo->writePacket({OKUPacketCode::Idle, {}}, 10));
        QVERIFY(device->written.isEmpty());
        QCOMPARE(session->traced, QStringList({"ERROR - CODE READS 1!"}));
    }

    void requestsAreAcknowledged()
    {
        answer([](const HIDReport &) -> std::vector<HIDReport> { return {Transport::report(OKUPacketCode::Done, "\x07")}; });
        OKUPacket reply;
        QCOMPARE(kipo->request(0x10, {}, 10, &reply, OKUResultProtocolError), int(OKUResultOk));
        QCOMPARE(reply.data.at(0), '\x07');
        answer([](const HIDReport &) -> std::vector<HIDReport> { return {Transport::report(OKUPacketCode::Clash)}; });
        QCOMPARE(kipo->request(0x10, {}, 10, &reply, OKUResultGenericError), int(OKUResultProtocolError));
        QCOMPARE(reply.code, OKUPacketCode::Clash);
        // Silence counts as the caller says: a wrong reply for the worker's own commands.
        answer([](const HIDReport &) -> std::vector<HIDReport> { return {}; });
        QCOMPARE(kipo->request(0x10, {}, 10, nullptr, OKUResultProtocolError), int(OKUResultProtocolError));
        QCOMPARE(kipo->request(0x10, {}, 10, nullptr, OKUResultGenericError), int(OKUResultGenericError));
        device->failWrites = true;
        QCOMPARE(kipo->request(0x10, {}, 10, nullptr, OKUResultProtocolError), int(OKUResultGenericError));
        kipo->close();
        QCOMPARE(kipo->request(0x10, {}, 10, nullptr, OKUResultProtocolError), int(OKUResultNoDevice));
    }

    void readsALiveEvent()
    {
        answer([](const HIDReport &written) -> std::vector<HIDReport> {
            if (written[1] == OKUPacketCode::ReadEvent && written[2] == 2)
                return {Transport::report(OKUPacketCode::Event, QByteArray("\x02\xFF\x00", 3))};
            return {};
        });
        const std::unique_ptr<OKUEvent> event = kipo->readEvent(2);
        auto *accel = dynamic_cast<OKUEvent_AccelZ *>(event.get());
        QVERIFY(accel);
        QCOMPARE(accel->accelZ, -1.0f);
    }

    void aNonEventReplyReturnsTheDeviceToIdle()
    {
        answer([](const HIDReport &) -> std::vector<HIDReport> { return {Transport::report(OKUPacketCode::Done)}; });
        QVERIFY(!kipo->readEvent(3));
        QVERIFY(session->traced.contains("not an event. code: 5"));
        QCOMPARE(device->writtenCodes().last(), OKUPacketCode::ReturnToIdle);
        QVERIFY(kipo->isOpen());
    }

    void aSilentDeviceIsClosedAfterALiveRead()
    {
        QVERIFY(!kipo->readEvent(2));
        QVERIFY(session->traced.contains("failed to read event"));
        QVERIFY(!kipo->isOpen());

        QVERIFY(kipo->open());
        device->failWrites = true;
        session->traced.clear();
        QVERIFY(!kipo->readEvent(7));
        QCOMPARE(session->traced, QStringList({"FAILED TO WRITE. code: 7"}));
        QVERIFY(!kipo->isOpen());
    }

    void readsSettingsInTwoChunks()
    {
        const QByteArray record = bytes(99);
        answer([record](const HIDReport &written) -> std::vector<HIDReport> {
            if (written[1] != OKUPacketCode::ReadSettings)
                return {};
            return {Transport::report(0x21, chunk(0, record.left(60))), Transport::report(0x21, chunk(1, record.mid(60)))};
        });
        QCOMPARE(kipo->readSettings(), int(OKUResultOk));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(kipo->settingsBuffer().data()), 99), record);
        QCOMPARE(session->traced, QStringList({"enter settings", "done txing", "exit settings"}));
    }

    void settingsChunkCounts_data()
    {
        QTest::addColumn<int>("secondCount");
        QTest::addColumn<QString>("line");
        QTest::newRow("one too many") << 40 << "Incorrect byte count1";
        QTest::newRow("a full chunk for the last 39") << 60 << "Incorrect byte count1";
        QTest::newRow("beyond a chunk") << 61 << "Incorrect byte count2";
        QTest::newRow("beyond the packet") << 255 << "Incorrect byte count2";
    }

    void settingsChunkCounts()
    {
        QFETCH(int, secondCount);
        QFETCH(QString, line);
        const auto before = kipo->settingsBuffer();
        answer([secondCount](const HIDReport &written) -> std::vector<HIDReport> {
            if (written[1] != OKUPacketCode::ReadSettings)
                return {};
            return {Transport::report(0x21, chunk(0, bytes(60))),
                    Transport::report(0x21, chunk(1, bytes(60, 'x'), secondCount))};
        });
        QCOMPARE(kipo->readSettings(), int(OKUResultProtocolError));
        QVERIFY(session->traced.contains(line));
        // Nothing past the first chunk was taken over.
        QVERIFY(std::equal(before.begin() + 60, before.end(), kipo->settingsBuffer().begin() + 60));
    }

    void settingsClashLeavesTheDeviceIdle()
    {
        answer([](const HIDReport &written) -> std::vector<HIDReport> {
            if (written[1] == OKUPacketCode::ReadSettings)
                return {Transport::report(OKUPacketCode::Clash)};
            return {};
        });
        QCOMPARE(kipo->readSettings(), int(OKUResultGenericError));
        QVERIFY(session->traced.contains("error - checksum or firmware clash"));
        QCOMPARE(device->writtenCodes().last(), OKUPacketCode::ReturnToIdle);
    }

    void settingsWrongCodeAndSilence()
    {
        answer([](const HIDReport &written) -> std::vector<HIDReport> {
            if (written[1] == OKUPacketCode::ReadSettings)
                return {Transport::report(OKUPacketCode::Event)};
            return {};
        });
        QCOMPARE(kipo->readSettings(), int(OKUResultProtocolError));
        QVERIFY(session->traced.contains("Wrong code: 2"));

        answer([](const HIDReport &) -> std::vector<HIDReport> { return {}; });
        QCOMPARE(kipo->readSettings(), int(OKUResultGenericError));
        kipo->close();
        QCOMPARE(kipo->readSettings(), int(OKUResultNoDevice));
    }

    // An all-zero record: checksum = 0 + 1 + ... + 96 = 4656 = 0x1230.
    void writesSettingsWithTheirChecksum()
    {
        kipo->setSettingsRecord(OKUKIPOSettings::fromDeviceBytes(QByteArray(99, '\0')));
        answer([](const HIDReport &written) -> std::vector<HIDReport> {
            if (written[1] == 0x21 && written[4] == 39)
                return {Transport::report(OKUPacketCode::Done)};
            return {};
        });
        device->written.clear();
        QCOMPARE(kipo->writeSettings(), int(OKUResultOk));
        QCOMPARE(device->writtenCodes(), QVector<quint8>({0x07, 0x21, 0x21}));
        const QByteArray first = Transport::dataOf(device->written.at(1));
        const QByteArray second = Transport::dataOf(device->written.at(2));
        QCOMPARE(first.left(3), QByteArray("\x00\x00\x3C", 3));
        QCOMPARE(first.mid(3, 60), QByteArray(60, '\0'));
        QCOMPARE(second.left(3), QByteArray("\x01\x00\x27", 3));
        QCOMPARE(second.mid(3, 37), QByteArray(37, '\0'));
        QCOMPARE(second.mid(40, 2), QByteArray("\x30\x12", 2));
        QCOMPARE(session->traced, QStringList({"bytes: 60", "wrote packet: 0", "bytes: 39", "wrote packet: 1", "successful write"}));
    }

    void settingsWriteRefused_data()
    {
        QTest::addColumn<int>("reply");
        QTest::addColumn<int>("result");
        QTest::newRow("clash") << int(OKUPacketCode::Clash) << int(OKUResultGenericError);
        QTest::newRow("other") << int(OKUPacketCode::Event) << int(OKUResultProtocolError);
        QTest::newRow("silence") << -1 << int(OKUResultProtocolError);
    }

    void settingsWriteRefused()
    {
        QFETCH(int, reply);
        QFETCH(int, result);
        answer([reply](const HIDReport &written) -> std::vector<HIDReport> {
            if (reply >= 0 && written[1] == 0x21 && written[4] == 39)
                return {Transport::report(quint8(reply))};
            return {};
        });
        QCOMPARE(kipo->writeSettings(), result);
        QVERIFY(session->traced.contains("error"));
    }

    void exitFirmwareClosesTheDevice()
    {
        answer([](const HIDReport &) -> std::vector<HIDReport> { return {Transport::report(OKUPacketCode::Event)}; });
        QCOMPARE(kipo->exitFirmware(), int(OKUResultProtocolError));
        QVERIFY(kipo->isOpen());
        answer([](const HIDReport &) -> std::vector<HIDReport> { return {}; });
        QCOMPARE(kipo->exitFirmware(), int(OKUResultGenericError));
        answer([](const HIDReport &) -> std::vector<HIDReport> { return {Transport::report(OKUPacketCode::Done)}; });
        QCOMPARE(kipo->exitFirmware(), int(OKUResultOk));
        QVERIFY(!kipo->isOpen());
        QCOMPARE(kipo->exitFirmware(), int(OKUResultNoDevice));
    }

    void readsFlashInChunks()
    {
        const QByteArray image = bytes(150);
        answer([image](const HIDReport &written) -> std::vector<HIDReport> {
            if (written[1] != OKUPacketCode::ReadFlash)
                return {};
            // A padded last chunk: only the 30 asked-for bytes count.
            return {Transport::report(0x21, chunk(0, image.left(60))), Transport::report(0x21, chunk(1, image.mid(60, 60))),
                    Transport::report(0x21, chunk(2, image.mid(120) + QByteArray(30, 'p')))};
        });
        QByteArray flash;
        QVector<quint32> progress;
        QCOMPARE(kipo->readFlash(flash, 150, [&progress](quint32 total, quint32 received) {
            progress << total << received;
            return false;
        }),
                 int(OKUResultOk));
        QCOMPARE(flash, image);
        QCOMPARE(progress, QVector<quint32>({150, 60, 150, 120, 150, 150}));
        const QByteArray request = Transport::dataOf(device->written.first()).left(8);
        QCOMPARE(request, QByteArray("\x00\x00\x00\x00\x96\x00\x00\x00", 8));
    }

    void flashReadStopsWhenAsked()
    {
        answer([](const HIDReport &written) -> std::vector<HIDReport> {
            if (written[1] != OKUPacketCode::ReadFlash)
                return {};
            return {Transport::report(0x21, chunk(0, bytes(60))), Transport::report(0x21, chunk(1, bytes(60)))};
        });
        QByteArray flash;
        QCOMPARE(kipo->readFlash(flash, 120, [](quint32, quint32) { return true; }), int(OKUResultOk));
        QCOMPARE(flash, bytes(60));
        QCOMPARE(device->writtenCodes().last(), OKUPacketCode::ReturnToIdle);
    }

    void flashReadFaults_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("result");
        QTest::newRow("wrong code") << int(OKUPacketCode::Done) << 60 << int(OKUResultProtocolError);
        QTest::newRow("count beyond a chunk") << 0x21 << 61 << int(OKUResultProtocolError);
        QTest::newRow("count beyond the packet") << 0x21 << 255 << int(OKUResultProtocolError);
        QTest::newRow("silence") << -1 << 0 << int(OKUResultGenericError);
    }

    void flashReadFaults()
    {
        QFETCH(int, code);
        QFETCH(int, count);
        QFETCH(int, result);
        answer([code, count](const HIDReport &written) -> std::vector<HIDReport> {
            if (written[1] != OKUPacketCode::ReadFlash || code < 0)
                return {};
            return {Transport::report(quint8(code), chunk(0, bytes(60), count))};
        });
        QByteArray flash;
        QCOMPARE(kipo->readFlash(flash, 120, {}), result);
        QVERIFY(flash.isEmpty());
    }

    void returnToIdleSkipsStaleReplies()
    {
        device->pending.push_back(Transport::report(0x21));
        device->respond = [](const HIDReport &) -> std::vector<HIDReport> {
            return {Transport::report(0x21), Transport::report(OKUPacketCode::Idle)};
        };
        QCOMPARE(kipo->returnToIdle(), int(OKUResultOk));
        device->respond = nullptr;
        QCOMPARE(kipo->returnToIdle(), int(OKUResultGenericError));
    }

    void emulationStepPacket()
    {
        QByteArray reply(1, char(3));
        reply += floatBytes(120.5f) + floatBytes(-4.25f) + floatBytes(9.0f);
        reply += QByteArray("\x00\x02\x00\x01", 4);
        reply += floatBytes(1.0f) + floatBytes(0.0f) + floatBytes(0.5f) + floatBytes(-0.5f);
        answer([reply](const HIDReport &) -> std::vector<HIDReport> { return {Transport::report(OKUPacketCode::Done, reply)}; });

        OKUEmulationInput input;
        input.pressure = 101325;
        input.gpsAltitudeMm = -2;
        input.gpsValid = 1;
        input.accel = {256, -256, 1};
        input.gyro = {14, -14, 0};
        OKUEmulationResult result;
        QCOMPARE(kipo->emulationStep(input, result), int(OKUResultOk));
        const QByteArray sent = Transport::dataOf(device->written.last()).left(21);
        QCOMPARE(device->written.last()[1], quint8(0x20));
        QCOMPARE(sent, QByteArray("\xCD\x8B\x01\x00"   // 101325
                                  "\xFE\xFF\xFF\xFF"   // -2 mm
                                  "\x01"
                                  "\x00\x01\x00\xFF\x01\x00" // 256, -256, 1
                                  "\x0E\x00\xF2\xFF\x00\x00", 21));
        QCOMPARE(result.state, quint8(3));
        QCOMPARE(result.altitude, 120.5f);
        QCOMPARE(result.velocity, -4.25f);
        QCOMPARE(result.acceleration, 9.0f);
        QCOMPARE(result.lines, (std::array<quint8, 4>{0, 2, 0, 1}));
        QCOMPARE(result.w, 1.0f);
        QCOMPARE(result.y, 0.5f);
        QCOMPARE(result.z, -0.5f);

        answer([](const HIDReport &) -> std::vector<HIDReport> { return {Transport::report(OKUPacketCode::Clash)}; });
        QCOMPARE(kipo->emulationStep(input, result), int(OKUResultProtocolError));
        answer([](const HIDReport &) -> std::vector<HIDReport> { return {}; });
        QCOMPARE(kipo->emulationStep(input, result), int(OKUResultGenericError));
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"
