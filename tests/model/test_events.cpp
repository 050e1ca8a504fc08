#include "model/eventfields.h"
#include "model/events.h"

#include <QtTest>
#include <memory>

namespace {

// "ClassName field=value ..." without the live time stamp, values as JSON.
QByteArray summary(const OKUEvent *event)
{
    if (!event)
        return "none";
    const EventDescription description = describeEvent(*event);
    QByteArray text = description.className;
    for (const EventField &field : description.fields) {
        if (qstrcmp(field.name, "time") != 0 && qstrcmp(field.name, "referenceVoltage") != 0)
            text += ' ' + QByteArray(field.name) + '=' + jsonValue(field.value);
    }
    return text;
}

QByteArray floatText(float value)
{
    return jsonValue(value);
}

} // namespace

class TestEvents : public QObject
{
    Q_OBJECT

private slots:
    void decodesEveryCode_data();
    void decodesEveryCode();
    void stampsLiveRecordsWithTimeSinceFirstDecode();
    void flashPayloadLengths_data();
    void flashPayloadLengths();
    void recordsCopyByValueThroughVariants();
    void jsonStringsEscapeAndKeepEveryCharacter();
};

void TestEvents::decodesEveryCode_data()
{
    QTest::addColumn<QByteArray>("encodedHex");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray noAlerts = "[false, false, false, false]";
    QTest::newRow("empty") << QByteArray("") << QByteArray("none");
    QTest::newRow("end marker") << QByteArray("00") << QByteArray("none");
    QTest::newRow("delta 5 ms") << QByteArray("85") << QByteArray("OKUEvent_DeltaTime deltaMs=5");
    QTest::newRow("delta 0xFF live") << QByteArray("ff") << QByteArray("OKUEvent_DeltaTime deltaMs=127");
    QTest::newRow("text abc") << QByteArray("0103616263") << QByteArray("OKUEvent_Text text=\"abc\"");
    QTest::newRow("text length only") << QByteArray("0103") << QByteArray("none");
    QTest::newRow("text longer than payload") << QByteArray("01096162") << QByteArray("OKUEvent_Text text=\"ab\"");
    QTest::newRow("accelZ -1 g") << QByteArray("02ff00") << QByteArray("OKUEvent_AccelZ accelZ=-1");
    QTest::newRow("accelZ short payload") << QByteArray("02ff") << QByteArray("OKUEvent_AccelZ accelZ=0");
    QTest::newRow("pressure 100000 Pa") << QByteArray("030186a0") << QByteArray("OKUEvent_Pressure pressure=100000");
    QTest::newRow("computer battery")
        << QByteArray("04ffff") << "OKUEvent_ComputerBattery voltage=" + floatText(65535 * 0.00020294188f);
    QTest::newRow("ejection battery")
        << QByteArray("050001") << "OKUEvent_EjectionBattery voltage=" + floatText(0.00020294188f);
    QTest::newRow("temperature -0.5") << QByteArray("06ffce") << "OKUEvent_Temperature temperature=" + floatText(-50 * 0.01f);
    QTest::newRow("line A flags") << QByteArray("07c000") << QByteArray("OKUEvent_LineA flag15=true flag14=true voltage=0");
    QTest::newRow("line B full voltage")
        << QByteArray("083fff") << "OKUEvent_LineB flag15=false flag14=false voltage=" + floatText(16383 * 0.00020141601f);
    QTest::newRow("line C") << QByteArray("098000") << QByteArray("OKUEvent_LineC flag15=true flag14=false voltage=0");
    QTest::newRow("line D") << QByteArray("0a4000") << QByteArray("OKUEvent_LineD flag15=false flag14=true voltage=0");
    QTest::newRow("accelXY") << QByteArray("0b0100ff80") << QByteArray("OKUEvent_AccelXY accelX=1 accelY=-0.5");
    QTest::newRow("accelXY missing Y") << QByteArray("0b0100ff") << QByteArray("OKUEvent_AccelXY accelX=1 accelY=0");
    QTest::newRow("gyro")
        << QByteArray("0c0001fffe0000") << "OKUEvent_GyroXYZ x=" + floatText(0.07f) + " y=" + floatText(-2 * 0.07f) + " z=0";
    QTest::newRow("mag") << QByteArray("0d000a00000000") << "OKUEvent_MagXYZ x=" + floatText(10 * 1e-6f) + " y=0 z=0";
    QTest::newRow("gps 3D, 10 satellites")
        << QByteArray("0e1dcd6500fb9a8180000186a02a")
        << "OKUEvent_GPSLLSol latitude=" + jsonValue(double(500000000) * 1.0000000116860974e-7)
               + " longitude=" + jsonValue(double(-73760384) * 1.0000000116860974e-7)
               + " altitude=" + floatText(float(double(100000) * 0.0010000000474974513))
               + " satellites=10 solution3D=true";
    QTest::newRow("rssi -90") << QByteArray("0fffa6") << QByteArray("OKUEvent_RSSI rssi=-90");
    QTest::newRow("status 0x3000 state 2")
        << QByteArray("103000")
        << "OKUEvent_Status state=2 lineAlert=" + noAlerts + " lineContinuity=" + noAlerts + " lineOther=" + noAlerts;
    QTest::newRow("status 0x7000 state 0")
        << QByteArray("107000")
        << "OKUEvent_Status state=0 lineAlert=" + noAlerts + " lineContinuity=" + noAlerts + " lineOther=" + noAlerts;
    QTest::newRow("status 0x6000 state 4")
        << QByteArray("106000")
        << "OKUEvent_Status state=4 lineAlert=" + noAlerts + " lineContinuity=" + noAlerts + " lineOther=" + noAlerts;
    QTest::newRow("status line bits")
        << QByteArray("105181")
        << QByteArray("OKUEvent_Status state=3 lineAlert=[true, false, false, false]"
                      " lineContinuity=[true, false, false, false] lineOther=[false, false, false, true]");
    QTest::newRow("status high bits")
        << QByteArray("101818")
        << QByteArray("OKUEvent_Status state=1 lineAlert=[false, false, false, true]"
                      " lineContinuity=[false, false, false, true] lineOther=[true, false, false, false]");
    QTest::newRow("ident flash") << QByteArray("11414243444546") << QByteArray("OKUEvent_Ident text=\"ABCDEF\"");
    QTest::newRow("ident live keeps padding") << QByteArray("11410000") << QByteArray("OKUEvent_Ident text=\"A\\u0000\\u0000\"");
    QTest::newRow("gps time")
        << QByteArray("12000f42400800c5")
        << QByteArray("OKUEvent_GPSTime timeOfWeek=1000000 week=2048 timeValid=true flag6=true leapSeconds=5");
    QTest::newRow("gps time flags off")
        << QByteArray("12000000010001" "12")
        << QByteArray("OKUEvent_GPSTime timeOfWeek=1 week=1 timeValid=false flag6=false leapSeconds=18");
    QTest::newRow("flight marker") << QByteArray("13") << QByteArray("none");
    QTest::newRow("skipped code") << QByteArray("1400000000") << QByteArray("none");
    QTest::newRow("orientation")
        << QByteArray("154000c00000007fff")
        << "OKUEvent_Orientation x=0.5 y=-0.5 z=0 w=" + floatText(32767 * 3.0517578e-5f);
    QTest::newRow("unknown code") << QByteArray("16") << QByteArray("none");
    QTest::newRow("last unknown code") << QByteArray("7f0102") << QByteArray("none");
}

void TestEvents::decodesEveryCode()
{
    QFETCH(QByteArray, encodedHex);
    QFETCH(QByteArray, expected);
    const std::unique_ptr<OKUEvent> event(decodeEvent(QByteArray::fromHex(encodedHex)));
    QCOMPARE(summary(event.get()), expected);
    if (event)
        QCOMPARE(event->referenceVoltage, 3.3f);
}

void TestEvents::stampsLiveRecordsWithTimeSinceFirstDecode()
{
    QElapsedTimer timer;
    timer.start();
    const std::unique_ptr<OKUEvent> first(decodeEvent(QByteArray::fromHex("02ff00")));
    std::unique_ptr<OKUEvent> later;
    // The stamp has millisecond steps; wait until it must have moved on.
    QTRY_VERIFY((later.reset(decodeEvent(QByteArray::fromHex("02ff00"))), later->time > first->time));
    // Both stamps are whole milliseconds: allow one for the rounding.
    QVERIFY(later->time - first->time <= float(timer.elapsed() + 2) * 0.001f);

    const std::unique_ptr<OKUEvent> delta(decodeEvent(QByteArray::fromHex("85")));
    QCOMPARE(delta->time, 0.0f);
}

void TestEvents::flashPayloadLengths_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("length");
    const QVector<QPair<int, int>> table = {
        {0x00, 0}, {0x01, 0}, {0x02, 2}, {0x03, 3}, {0x04, 2}, {0x05, 2}, {0x06, 2}, {0x07, 2},
        {0x08, 2}, {0x09, 2}, {0x0A, 2}, {0x0B, 4}, {0x0C, 6}, {0x0D, 6}, {0x0E, 13}, {0x0F, 2},
        {0x10, 2}, {0x11, 6}, {0x12, 7}, {0x13, -1}, {0x14, 4}, {0x15, 8}, {0x16, -1}, {0x7F, -1},
        {0x80, 0}, {0xFE, 0}, {0xFF, -1},
    };
    for (const auto &entry : table)
        QTest::newRow(QByteArray::number(entry.first, 16).constData()) << entry.first << entry.second;
}

void TestEvents::flashPayloadLengths()
{
    QFETCH(int, code);
    QFETCH(int, length);
    QCOMPARE(flashPayloadLength(quint8(code)), length);
}

void TestEvents::recordsCopyByValueThroughVariants()
{
    registerEventMetaTypes();
    OKUEvent_Status status;
    status.time = 2.5f;
    status.lineContinuity[2] = true;
    const QVariant carried = QVariant::fromValue(status);
    const auto copy = carried.value<OKUEvent_Status>();
    QCOMPARE(copy.time, 2.5f);
    QVERIFY(copy.lineContinuity[2]);
    QVERIFY(QMetaType::type("OKUEvent_GPSLLSol") != QMetaType::UnknownType);
}

void TestEvents::jsonStringsEscapeAndKeepEveryCharacter()
{
    // Quote, backslash and control characters escaped; everything else as UTF-8,
    // also characters that take two UTF-16 units.
    const QString text = QStringLiteral("a\"b\\c\n\x01 ") + QString::fromUtf8("\xc3\xa9 \xf0\x9f\x9a\x80");
    QCOMPARE(jsonString(text), QByteArray("\"a\\\"b\\\\c\\u000a\\u0001 \xc3\xa9 \xf0\x9f\x9a\x80\""));
    QCOMPARE(jsonString(QString()), QByteArray("\"\""));
}

QTEST_GUILESS_MAIN(TestEvents)
#include "test_events.moc"
