#include "model/flashparser.h"
#include "model/trace.h"

#include <QtTest>

namespace {

// The default settings record, written out byte by byte from the record's
// layout (firmware 528, lines A and B on apogee and altitude after apogee,
// PIN 1234), with its checksum worked out: sum of byte[i] + i over bytes
// 0 to 96 = 8633 = 0x21B9.
QByteArray settingsRecord()
{
    return QByteArray::fromHex("1002" "00" "00" "00" "05060000" "14141414" "64009600c800c800" "f401960064006400"
                               "0000000000000000" "3c" "4b49504f0000" "92" "0a010100"
                               "01010101010101010101010101010101" "01010000000205050505050000000001" "00"
                               "f0d8f0d8f0d8f0d8" "02030405" "00" "d204" "b921");
}

QByteArray flightStart()
{
    return QByteArray(1, '\x13') + settingsRecord();
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

using Flights = std::vector<std::shared_ptr<OKUKIPOFlight>>;

template<typename Event>
const Event *eventAt(const Flights &flights, size_t flight, size_t index)
{
    if (flight >= flights.size() || index >= flights[flight]->events.size())
        return nullptr;
    return dynamic_cast<const Event *>(flights[flight]->events[index]);
}

} // namespace

class TestFlashParser : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        trace.clear();
        okukipo::setTraceHandler([this](const QString &line) { trace.append(line); });
    }
    void cleanup() { okukipo::setTraceHandler({}); }

    void handWrittenImageParsesToItsFlightsAndEvents()
    {
        QCOMPARE(settingsRecord().size(), 99);
        const QByteArray image = flightStart()
                                 + hex("020100")       // vertical acceleration 1.0 g at 0 s
                                 + hex("e499")         // 100 ms + 25 ms
                                 + hex("030186a0")     // pressure 100000 Pa at 0.125 s
                                 + hex("8a")           // 10 ms
                                 + hex("0e" "0bebc200" "fa0a1f00" "000186a0" "29") // GPS at 0.135 s
                                 + hex("103080")       // status, dropped as the last record
                                 + hex("ffff")
                                 + flightStart()
                                 + hex("07c000")       // line A at 0 s: the clock restarts
                                 + hex("85")
                                 + hex("0bff000100")   // lateral acceleration, dropped
                                 + hex("16")           // unknown code ends the flight
                                 + hex("130000");      // a marker with no room for settings

        const Flights flights = parseFlights(image);
        QCOMPARE(flights.size(), size_t(2));
        QCOMPARE(flights[0]->events.size(), size_t(3));
        QVERIFY(flights[0]->settings.valid);
        QCOMPARE(flights[0]->settings.deviceBytes(), settingsRecord());

        const auto *accel = eventAt<OKUEvent_AccelZ>(flights, 0, 0);
        QVERIFY(accel);
        QCOMPARE(accel->accelZ, 1.0f);
        QCOMPARE(accel->time, 0.0f);
        const auto *pressure = eventAt<OKUEvent_Pressure>(flights, 0, 1);
        QVERIFY(pressure);
        QCOMPARE(pressure->pressure, 100000.0f);
        QCOMPARE(pressure->time, 0.1f + 0.025f);
        const auto *gps = eventAt<OKUEvent_GPSLLSol>(flights, 0, 2);
        QVERIFY(gps);
        QCOMPARE(gps->latitude, 200000000 * 1.0000000116860974e-7);
        QCOMPARE(gps->longitude, -100000000 * 1.0000000116860974e-7);
        QCOMPARE(gps->altitude, 100.0f);
        QCOMPARE(gps->satellites, 9);
        QVERIFY(gps->solution3D);
        QCOMPARE(gps->time, 0.1f + 0.025f + 0.01f);

        QCOMPARE(flights[1]->events.size(), size_t(1));
        const auto *line = eventAt<OKUEvent_LineA>(flights, 1, 0);
        QVERIFY(line);
        QVERIFY(line->flag15 && line->flag14);
        QCOMPARE(line->time, 0.0f);
    }

    void reportsWhatItFindsOnTheTrace()
    {
        parseFlights(flightStart() + hex("ff"));
        const QStringList expected = {"flight marker found.", "Calculated checksum: \t8633", "Retrieved checksum: \t8633",
                                      "data: ", "16", "2", "0", "0", "0", "5", "6", "0", "0", "20",
                                      "LINE A: 5", "LINE B: 6", "LINE C: 0", "LINE D: 0"};
        QCOMPARE(trace, expected);
    }

    void emptyOrErasedImagesHoldNoFlights()
    {
        QVERIFY(parseFlights(QByteArray()).empty());
        QVERIFY(parseFlights(QByteArray(4096, '\xff')).empty());
    }

    void markerWithBadChecksumIsSkipped()
    {
        QByteArray corrupt = flightStart() + hex("020100020100ff");
        corrupt[1 + 20] = char(corrupt[1 + 20] + 1);
        QVERIFY(parseFlights(corrupt).empty());
        QVERIFY(trace.contains("Retrieved checksum: \t8633"));
        QVERIFY(!trace.contains("data: "));

        // A marker byte inside damaged data does not hide the real flight after it.
        const Flights flights = parseFlights(hex("13aa13") + corrupt + flightStart() + hex("020100020100ff"));
        QCOMPARE(flights.size(), size_t(1));
        QCOMPARE(flights[0]->events.size(), size_t(1));
    }

    void markerWithoutRoomForSettingsEndsParsing()
    {
        QVERIFY(parseFlights(flightStart().left(99)).empty());
        QVERIFY(parseFlights(hex("13")).empty());
    }

    void settingsFollowedByErasedMemoryIsAFlightWithoutEvents()
    {
        const Flights flights = parseFlights(flightStart() + hex("ff"));
        QCOMPARE(flights.size(), size_t(1));
        QVERIFY(flights[0]->events.empty());
        QVERIFY(flights[0]->settings.valid);
        // The image may also end right after the record.
        QCOMPARE(parseFlights(flightStart()).size(), size_t(1));
    }

    void lastEventOfAFlightIsDropped()
    {
        const Flights flights = parseFlights(flightStart() + hex("020100" "020200" "020300" "ff"));
        QCOMPARE(flights.size(), size_t(1));
        QCOMPARE(flights[0]->events.size(), size_t(2));
        QCOMPARE(eventAt<OKUEvent_AccelZ>(flights, 0, 1)->accelZ, 2.0f);
    }

    void recordsWithoutAnEventEndTheFlight_data()
    {
        QTest::addColumn<QByteArray>("ending");
        QTest::newRow("text has no flash payload") << hex("01");
        QTest::newRow("reserved record with its 4 bytes") << hex("1401020304");
        QTest::newRow("unknown code") << hex("16");
        QTest::newRow("highest unknown code") << hex("7f");
        QTest::newRow("end byte") << hex("00");
    }
    void recordsWithoutAnEventEndTheFlight()
    {
        QFETCH(QByteArray, ending);
        const QByteArray rest = hex("020500" "ff");
        const Flights flights = parseFlights(flightStart() + hex("020100" "020200") + ending + rest);
        QCOMPARE(flights.size(), size_t(1));
        QCOMPARE(flights[0]->events.size(), size_t(1));
        QCOMPARE(eventAt<OKUEvent_AccelZ>(flights, 0, 0)->accelZ, 1.0f);
    }

    void markerAsARecordStartsTheNextFlight()
    {
        const Flights flights = parseFlights(flightStart() + hex("020100" "e4" "020200") + flightStart()
                                             + hex("8a" "020300" "020400" "020500"));
        QCOMPARE(flights.size(), size_t(2));
        QCOMPARE(flights[0]->events.size(), size_t(1));
        QCOMPARE(flights[1]->events.size(), size_t(2));
        const auto *first = eventAt<OKUEvent_AccelZ>(flights, 1, 0);
        QCOMPARE(first->accelZ, 3.0f);
        QCOMPARE(first->time, 0.01f);
    }

    void recordCutOffByTheEndOfTheImageEndsTheFlight()
    {
        const Flights flights = parseFlights(flightStart() + hex("020100" "020200" "020300" "0e0102"));
        QCOMPARE(flights.size(), size_t(1));
        QCOMPARE(flights[0]->events.size(), size_t(2));
    }

    // A record that fills the image to its very last byte is complete and
    // counts; only then is the flight's last event dropped.
    void recordEndingAtTheLastByteIsKept()
    {
        const Flights flights = parseFlights(flightStart() + hex("020100" "020200" "020300"));
        QCOMPARE(flights.size(), size_t(1));
        QCOMPARE(flights[0]->events.size(), size_t(2));
        QCOMPARE(eventAt<OKUEvent_AccelZ>(flights, 0, 1)->accelZ, 2.0f);
    }

    void longPausesAddUp()
    {
        QByteArray image = flightStart();
        for (int i = 0; i < 100; ++i)
            image += hex("fe"); // 126 ms each
        image += hex("020100" "020200" "ff");
        const Flights flights = parseFlights(image);
        QCOMPARE(flights[0]->events.size(), size_t(1));
        QVERIFY(qAbs(flights[0]->events[0]->time - 12.6f) < 1e-3f);
    }

private:
    QStringList trace;
};

QTEST_GUILESS_MAIN(TestFlashParser)
#include "test_flashparser.moc"
