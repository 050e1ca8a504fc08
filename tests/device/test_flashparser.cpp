#include "model/eventfields.h"
#include "model/flashparser.h"
#include "model/trace.h"

#include <QtTest>

namespace {

// A marker and the default settings record, whose bytes the settings test pins.
QByteArray flightStart()
{
    return QByteArray(1, '\x13') + OKUKIPOSettings().deviceBytes();
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// "value@time" of a vertical acceleration, "Class@time" of other records.
QString summary(const OKUKIPOFlight &flight)
{
    QStringList found;
    for (const OKUEvent *event : flight.events) {
        const auto *accel = dynamic_cast<const OKUEvent_AccelZ *>(event);
        found << (accel ? QString::number(double(accel->accelZ)) : QString(describeEvent(*event).className))
                     + QStringLiteral("@%1").arg(double(event->time), 0, 'f', 3);
    }
    return found.join(' ');
}

} // namespace

class TestFlashParser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { okukipo::setTraceHandler([](const QString &) {}); }

    void flights_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QStringList>("expected"); // one entry per flight
        QByteArray pauses;
        for (int i = 0; i < 100; ++i)
            pauses += hex("fe"); // 126 ms each
        QByteArray corrupt = flightStart() + hex("020100020100ff");
        corrupt[1 + 20] = char(corrupt[1 + 20] + 1);
        const QString one = "1@0.000";
        QTest::newRow("two flights")
            << flightStart() + hex("020100" "e499" "030186a0" "8a" "0e0bebc200fa0a1f00000186a029" "103080" "ffff")
                   + flightStart() + hex("07c000" "85" "0bff000100" "16" "130000")
            << QStringList{"1@0.000 OKUEvent_Pressure@0.125 OKUEvent_GPSLLSol@0.135", "OKUEvent_LineA@0.000"};
        QTest::newRow("last event dropped") << flightStart() + hex("020100e4020200" "8a020300ff") << QStringList{"1@0.000 2@0.100"};
        QTest::newRow("record ending at the last byte") << flightStart() + hex("020100020200020300") << QStringList{one + " 2@0.000"};
        QTest::newRow("record cut off") << flightStart() + hex("020100020200020300" "0e0102") << QStringList{one + " 2@0.000"};
        QTest::newRow("text has no flash payload") << flightStart() + hex("020100020200" "01" "020500ff") << QStringList{one};
        QTest::newRow("reserved record") << flightStart() + hex("020100020200" "1401020304" "020500ff") << QStringList{one};
        QTest::newRow("unknown code") << flightStart() + hex("020100020200" "7f" "020500ff") << QStringList{one};
        QTest::newRow("long pauses add up") << flightStart() + pauses + hex("020100020200ff") << QStringList{"1@12.600"};
        QTest::newRow("no events") << flightStart() + hex("ff") << QStringList{""};
        QTest::newRow("marker inside damaged data") << hex("13aa13") + flightStart() + hex("020100020100ff") << QStringList{one};
        QTest::newRow("marker where a record belongs")
            << flightStart() + hex("020100" "e4" "020200") + flightStart() + hex("8a" "020300" "020400" "020500")
            << QStringList{one, "3@0.010 4@0.010"};
        QTest::newRow("bad checksum") << corrupt << QStringList();
        QTest::newRow("no room for the settings") << flightStart().left(99) << QStringList();
        QTest::newRow("erased") << QByteArray(4096, '\xff') << QStringList();
    }
    void flights()
    {
        QFETCH(QByteArray, image);
        QFETCH(QStringList, expected);
        QStringList found;
        for (const auto &flight : parseFlights(image)) {
            QCOMPARE(flight->settings.deviceBytes(), OKUKIPOSettings().deviceBytes());
            QVERIFY(flight->settings.valid);
            found << summary(*flight);
        }
        QCOMPARE(found, expected);
    }
};

QTEST_GUILESS_MAIN(TestFlashParser)
#include "test_flashparser.moc"
