#include "flightfilebytes.h"
#include "model/events.h"
#include "model/flight.h"
#include "model/settings.h"
#include "model/trace.h"

#include <QtTest>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

// The records a flight is made of: events and the settings in force.
class TestEvents : public QObject
{
    Q_OBJECT

private slots:
    void decodesTheDeviceBytes_data()
    {
        QTest::addColumn<QByteArray>("encodedHex");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray noFlags = "[false, false, false, false]";
        QTest::newRow("delta 0xFF live") << QByteArray("ff") << QByteArray("OKUEvent_DeltaTime deltaMs=127");
        QTest::newRow("text abc") << QByteArray("0103616263") << QByteArray("OKUEvent_Text text=\"abc\"");
        QTest::newRow("text length only") << QByteArray("0103") << QByteArray("none");
        QTest::newRow("text longer than payload") << QByteArray("01096162") << QByteArray("OKUEvent_Text text=\"ab\"");
        QTest::newRow("accelZ -1 g") << QByteArray("02ff00") << QByteArray("OKUEvent_AccelZ accelZ=-1");
        QTest::newRow("pressure 100000 Pa") << QByteArray("030186a0") << QByteArray("OKUEvent_Pressure pressure=100000");
        QTest::newRow("temperature -0.5") << QByteArray("06ffce") << "OKUEvent_Temperature temperature=" + jsonValue(-50 * 0.01f);
        QTest::newRow("line A flags") << QByteArray("07c000") << QByteArray("OKUEvent_LineA flag15=true flag14=true voltage=0");
        QTest::newRow("accelXY, Y missing") << QByteArray("0b0100ff") << QByteArray("OKUEvent_AccelXY accelX=1 accelY=0");
        QTest::newRow("gyro") << QByteArray("0c0001fffe0000") << "OKUEvent_GyroXYZ x=" + jsonValue(0.07f) + " y=" + jsonValue(-0.14f) + " z=0";
        QTest::newRow("gps 3D, 26 satellites")
            << QByteArray("0e1dcd6500fb9a8180000186a03a")
            << "OKUEvent_GPSLLSol latitude=" + jsonValue(double(500000000) * 1.0000000116860974e-7)
                   + " longitude=" + jsonValue(double(-73760384) * 1.0000000116860974e-7)
                   + " altitude=" + jsonValue(float(double(100000) * 0.0010000000474974513)) + " satellites=26 solution3D=true";
        QTest::newRow("status 0x3000 state 2")
            << QByteArray("103000") << "OKUEvent_Status state=2 lineAlert=" + noFlags + " lineContinuity=" + noFlags + " lineOther=" + noFlags;
        // Alerts run from the low bit upwards, the other two groups downwards.
        const QByteArray first = "[true, false, false, false]", last = "[false, false, false, true]";
        QTest::newRow("status line bits") << QByteArray("105181")
                                          << "OKUEvent_Status state=3 lineAlert=" + first + " lineContinuity=" + first + " lineOther=" + last;
        QTest::newRow("status high bits") << QByteArray("106818")
                                          << "OKUEvent_Status state=4 lineAlert=" + last + " lineContinuity=" + last + " lineOther=" + first;
        QTest::newRow("orientation")
            << QByteArray("154000c00000007fff") << "OKUEvent_Orientation x=0.5 y=-0.5 z=0 w=" + jsonValue(32767 / 32768.0f);
        QTest::newRow("unknown code") << QByteArray("7f0102") << QByteArray("none");
    }
    void decodesTheDeviceBytes()
    {
        QFETCH(QByteArray, encodedHex);
        QFETCH(QByteArray, expected);
        const std::unique_ptr<OKUEvent> event(decodeEvent(QByteArray::fromHex(encodedHex)));
        QCOMPARE(eventSummary(event.get()), expected);
        if (event)
            QCOMPARE(event->referenceVoltage, 3.3f);
    }

    // One stored record, alone in a flight file that ends after it: old
    // class versions, and records cut short.  Temperature, ejection battery,
    // GPS position and the OKUEvent part keep what they read; the other
    // classes lose the record.
    void loadsStoredRecords_data()
    {
        QTest::addColumn<int>("classId");
        QTest::addColumn<int>("version");
        QTest::addColumn<QByteArray>("fields");
        QTest::addColumn<QByteArray>("base");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray base = eventBase(0.5f);
        const auto add = [&base](const char *name, int id, int version, const QByteArray &fields,
                                 const QByteArray &expected, const QByteArray &stored = QByteArray()) {
            QTest::newRow(name) << id << version << fields << (stored.isNull() ? base : stored) << expected;
        };
        const auto f32 = [](float value) { return ArchiveBytes().f32(value).bytes(); };
        // (8 - 0.505859375) * 2.0237154960632324 = 15.16601...
        add("AccelZ 2 at 8 g", AccelZId, 2, f32(8.0f), "OKUEvent_AccelZ accelZ=" + jsonValue((8.0f - 0.505859375f) * 2.0237154960632324f));
        add("AccelZ 2 below 8 g", AccelZId, 2, f32(7.99f), "OKUEvent_AccelZ accelZ=" + jsonValue(7.99f));
        add("Temperature kept", TemperatureId, 1, {}, "OKUEvent_Temperature temperature=0");
        add("EjectionBattery kept", EjectionBatteryId, 1, {}, "OKUEvent_EjectionBattery voltage=0");
        add("GPSLLSol kept", GPSLLSolId, 4, ArchiveBytes().f64(47.5).f64(-8.25).bytes(),
            "OKUEvent_GPSLLSol latitude=47.5 longitude=-8.25 altitude=0 satellites=0 solution3D=false");
        add("OKUEvent part kept", TemperatureId, 1, {}, "OKUEvent_Temperature temperature=0", base.left(5));
        add("ComputerBattery lost", ComputerBatteryId, 1, {}, "none");
        add("AccelZ lost", AccelZId, 3, {}, "none");
        add("GPSTime lost", GPSTimeId, 2, ArchiveBytes().u32(7).bytes(), "none");
        add("AccelZ lost with its OKUEvent part", AccelZId, 3, {}, "none", base.left(5));
    }
    void loadsStoredRecords()
    {
        QFETCH(int, classId);
        QFETCH(int, version);
        QFETCH(QByteArray, fields);
        QFETCH(QByteArray, base);
        QFETCH(QByteArray, expected);
        okukipo::setTraceHandler([](const QString &) {});
        OKUKIPOFlight flight;
        flight.readFromBytes(flightFile(3, storedEvents({{qint16(classId), quint32(version), fields, base}})));
        okukipo::setTraceHandler({});
        QCOMPARE(flight.loadOutcome(), OKUKIPOFlight::LoadOutcome::Partial);
        QCOMPARE(eventSummary(flight.events.empty() ? nullptr : flight.events.front()), expected);
        if (!flight.events.empty())
            QCOMPARE(flight.events.front()->referenceVoltage, 3.3f);
    }

    // Records share memory blocks: a block must stay while any of its records
    // does, whichever thread made or frees them, and go back with the last.
    void recordMemoryFollowsItsRecords()
    {
        if (okukipo::bulkmemory::heapOnly)
            QSKIP("records come from the heap under AddressSanitizer");
        // More than a block holds, made on a thread that ends before they are freed.
        std::vector<OKUEvent_Pressure *> records;
        std::thread([&records] {
            for (int i = 0; i < 200000; ++i)
                records.push_back(new OKUEvent_Pressure);
        }).join();
        for (OKUEvent_Pressure *record : records)
            record->pressure = 101325.0f;
        const auto mapped = [](const OKUEvent *record) {
            const auto address = reinterpret_cast<std::uintptr_t>(record);
            const auto page = reinterpret_cast<void *>(address & ~std::uintptr_t(sysconf(_SC_PAGESIZE) - 1));
            unsigned char resident = 0;
            return mincore(page, 1, &resident) == 0 || errno != ENOMEM;
        };
        OKUEvent_Pressure *first = records.front();
        OKUEvent_Pressure *last = records.back();
        records.pop_back();
        for (OKUEvent_Pressure *record : records)
            delete record;
        QVERIFY(!mapped(first));
        QVERIFY(mapped(last));
        QCOMPARE(last->pressure, 101325.0f);
        delete last;
        QVERIFY(!mapped(last));
    }

    void recordBytesAndChecksum()
    {
        // The default record's bytes are pinned by the flight file's golden bytes.
        const OKUKIPOSettings defaults;
        QVERIFY(defaults.hasValidChecksum() && !defaults.valid);
        OKUKIPOSettings settings;
        std::memset(reinterpret_cast<char *>(&settings), 0xFF, OKUKIPOSettings::checksumOffset);
        // sum of (255 + i) for i = 0..96 = 97 * 255 + 4656 = 29391 = 0x72CF
        settings.updateChecksum();
        QCOMPARE(settings.deviceBytes().mid(97, 2).toHex(), QByteArray("cf72"));
        settings.valid = true;
        const OKUKIPOSettings copy = OKUKIPOSettings::fromDeviceBytes(settings.deviceBytes());
        QVERIFY(copy.hasValidChecksum() && !copy.valid);
        QCOMPARE(OKUKIPOSettings::fromDeviceBytes(QByteArray::fromHex("1102")).deviceBytes(),
                 QByteArray::fromHex("1102") + defaults.deviceBytes().mid(2));
    }

    // The device stores the cosine of the angle times 10000, rounded half up.
    void maxAngle_data()
    {
        QTest::addColumn<int>("degrees");
        QTest::addColumn<int>("stored");
        QTest::newRow("45") << 45 << 7071;
        QTest::newRow("90") << 90 << 0;
        QTest::newRow("120 rounds half up") << 120 << -5000;
        QTest::newRow("180 no limit") << 180 << -10000;
    }
    void maxAngle()
    {
        QFETCH(int, degrees);
        QFETCH(int, stored);
        QCOMPARE(int(OKUKIPOSettings::encodeMaxAngle(float(degrees))), stored);
        QCOMPARE(OKUKIPOSettings::decodeMaxAngle(qint16(stored)), degrees);
        // cos(44.5 degrees) * 10000 = 7132.4 decodes to 44.5, shown as 45.
        QCOMPARE(OKUKIPOSettings::decodeMaxAngle(7132), 45);
        QCOMPARE(OKUKIPOSettings::decodeMaxAngle(-32768), 180);
    }
};

QTEST_GUILESS_MAIN(TestEvents)
#include "test_events.moc"
