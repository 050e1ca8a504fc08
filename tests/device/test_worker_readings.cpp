#include "device/okukipointerface.h"
#include "scriptedtransport.h"
#include "workerharness.h"

#include <QSignalSpy>
#include <QtTest>

// What the worker makes of single live readings, with a device that answers
// from a script.  Its own process: the magnetometer's calibration is process-wide.
class TestWorkerReadings : public QObject
{
    Q_OBJECT

    ScriptedSession session;
    QByteArray reading; // the next event's bytes, code first

private slots:
    void initTestCase()
    {
        session.transport.devices = {{QStringLiteral("/kipo"), OKUVendorId, OKUFirmwareProductId, 0x0221}};
        session.transport.respond = [this](const HIDReport &written) -> std::vector<HIDReport> {
            if (written[1] == OKUPacketCode::ReturnToIdle)
                return {ScriptedTransport::report(OKUPacketCode::Idle)};
            if (written[1] == OKUPacketCode::ReadEvent && quint8(reading.at(0)) == written[2])
                return {ScriptedTransport::report(OKUPacketCode::Event, reading)};
            return {};
        };
    }

    void readingsAreHandedOnCalibratedAndInOrder()
    {
        ConsoleRecorder console;
        OKUKIPOInterface worker(&console);
        worker.attemptConnection();
        // The device sends the orientation as x, y, z, then w: 0.5, -0.25, 0.125, 0.75 in 1/32768.
        reading = QByteArray::fromHex("154000e00010006000");
        worker.readLiveEvent(21);
        const OKUQuaternion turned = worker.orientation();
        QCOMPARE(QVector<float>({turned.w, turned.x, turned.y, turned.z}), QVector<float>({0.75f, 0.5f, -0.25f, 0.125f}));
        // Hard-iron calibration takes off the centre of the extremes seen so
        // far, then X changes its sign.  Counts, each 1e-6: (1000, 2000,
        // -3000) is its own centre; after (3000, -2000, 1000) the centres are
        // (2000, 0, -1000), also for (2000, 0, 0).
        QSignalSpy read(&worker, &OKUKIPOInterface::magXYZEventRead);
        const char *readings[] = {"0d03e807d0f448", "0d0bb8f83003e8", "0d07d000000000"};
        const float expected[][3] = {{0, 0, 0}, {-1000e-6f, -2000e-6f, 2000e-6f}, {0, 0, 1000e-6f}};
        for (int i = 0; i < 3; ++i) {
            reading = QByteArray::fromHex(readings[i]);
            worker.readLiveEvent(13);
            QCOMPARE(read.count(), i + 1);
            const auto m = read.last().first().value<OKUEvent_MagXYZ>();
            for (const auto &[axis, value] : {std::make_pair(0, m.x), std::make_pair(1, m.y), std::make_pair(2, m.z)})
                QVERIFY2(qAbs(value - expected[i][axis]) < 1e-9f, qPrintable(QStringLiteral("%1 %2").arg(i).arg(axis)));
        }
    }
};

QTEST_GUILESS_MAIN(TestWorkerReadings)
#include "test_worker_readings.moc"
